// UTF-8 and UTF-16 for the test doubles' records, configuration and relay files.
#pragma once

#include <windows.h>

#include <string>

namespace testing_text {

inline std::string utf8(const wchar_t* text, size_t size) {
    if (size == 0) return {};
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, int(size), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, int(size), out.data(), bytes, nullptr, nullptr);
    return out;
}

inline std::string utf8(const std::wstring& text) { return utf8(text.data(), text.size()); }

inline std::string utf8(const std::u16string& text) {
    return utf8(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

// Bytes in the code page (UTF-8 unless another is named) as UTF-16.
inline std::u16string widen(const std::string& text, UINT codePage = CP_UTF8) {
    if (text.empty()) return {};
    int size = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
    std::u16string out(size_t(size), u'\0');
    MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), reinterpret_cast<wchar_t*>(out.data()), size);
    return out;
}

}  // namespace testing_text
