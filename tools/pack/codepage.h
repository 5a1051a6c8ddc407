// Conversion between UTF-8 and the Windows code page of the launcher's narrow
// settings.
#pragma once

#include <string>
#include <string_view>

namespace pack {

bool codePageSupported(int codePage);
// False when a character has no counterpart in the code page.
bool utf8ToCodePage(std::string_view utf8, int codePage, std::string& out);
// False when a byte is not defined in the code page.
bool codePageToUtf8(std::string_view bytes, int codePage, std::string& out);

}  // namespace pack
