// Conversion between UTF-8 and the Windows code page of the launcher's narrow
// settings.
#pragma once

#include <string>
#include <string_view>

#include "base/text.h"

namespace pack {

bool codePageSupported(int codePage);
// False when a character has no counterpart in the code page.
bool utf8ToCodePage(std::string_view utf8, int codePage, std::string& out);
// False when a byte is not defined in the code page.
bool codePageToUtf8(std::string_view bytes, int codePage, std::string& out);

// The code page as the launcher's narrow codec, for the portable checks the
// launcher makes on narrow texts. The packer runs on one thread: the codec
// converts in the code page of the latest call.
const wl::NarrowCodec& codePageCodec(int codePage);

}  // namespace pack
