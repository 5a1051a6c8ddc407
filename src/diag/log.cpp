#include "diag/log.h"

#include <cstdarg>

#include "base/format.h"
#include "base/text.h"

namespace wl {

void logMessage(const char16_t* format, ...) {
    if (!logLineWanted()) return;
    va_list args;
    va_start(args, format);
    std::u16string text = formatWideV(format, args);
    va_end(args);
    writeLogLine(false, text);
}

void logError(const char16_t* format, ...) {
    if (!logLineWanted()) return;
    va_list args;
    va_start(args, format);
    std::u16string text = formatWideV(format, args);
    va_end(args);
    writeLogLine(true, text);
}

bool logSwitchedOn(const char* vennicValue, const char* quarloValue) {
    // The value is read into a 6000-byte buffer; only "yes" itself counts.
    auto yes = [](const char* v) {
        if (!v) return false;
        std::string value(v);
        if (value.size() > 5999) value.resize(5999);
        return value == "yes";
    };
    return yes(vennicValue) || yes(quarloValue);
}

std::u16string logDirectoryPrefix(const std::u16string& tempDir) {
    if (tempDir.empty()) return u"c:\\";
    if (tempDir.back() == u'\\' || tempDir.back() == u'/') return tempDir;
    return tempDir + u"\\";
}

std::u16string chooseLogFileName(const std::u16string& prefix,
                                 const std::function<bool(const std::u16string&)>& exists) {
    std::u16string name;
    for (int n = 1; n <= 1000; ++n) {
        name = formatWide(u"%sqar_nlog_%d.log", prefix.c_str(), n);
        if (!exists(name)) break;
    }
    return name;
}

int32_t elapsedMillis(uint64_t startMillis, uint64_t nowMillis) {
    return int32_t(uint32_t(nowMillis) - uint32_t(startMillis));
}

std::u16string logLinePrefix(int32_t elapsed) {
    return formatWide(u"[%d:%d] ", elapsed / 1000, elapsed % 1000);
}

std::string logFileBytes(const std::u16string& text) {
    std::string utf8 = toUtf8(text);
    std::string out;
    out.reserve(utf8.size() + 8);
    for (char c : utf8) {
        if (c == '\n') out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

std::u16string headerTime(int weekday, int month, int day, int hour, int minute, int second, int year) {
    static const char16_t* const days[] = {u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat"};
    static const char16_t* const months[] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                             u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
    return formatWide(u"%s %s %02d %02d:%02d:%02d %d", days[(weekday % 7 + 7) % 7],
                      months[((month - 1) % 12 + 12) % 12], day, hour, minute, second, year);
}

}  // namespace wl
