// printf-style formatting of wide text with the Windows wide conventions, the
// same on every platform so that log lines and messages can be checked natively:
//   %s wide string (const char16_t*), %S narrow string (const char*, widened
//   byte for byte), %hs narrow, %ls wide, %c wide character, %C narrow
//   character, %d %i %u %x %X %o with h, l, ll, I32, I64 and z sizes,
//   %p pointer (upper-case hex, zero-padded to the pointer width), %f %e %g,
//   flags - + space # 0, width and precision (also as *), and %%.
// A null string argument prints "(null)".
#pragma once

#include <cstdarg>
#include <string>

namespace wl {

std::u16string formatWide(const char16_t* format, ...);
std::u16string formatWideV(const char16_t* format, va_list args);

}  // namespace wl
