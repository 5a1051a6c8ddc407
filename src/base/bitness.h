// The build's bitness, the one place it shows: as the argument of the "no JVM
// found" message and in the registry view of runtime lookups.
#pragma once

namespace wl {

inline constexpr bool kIs64Bit = sizeof(void*) == 8;
inline constexpr char16_t kBitness[] = {kIs64Bit ? u'6' : u'3', kIs64Bit ? u'4' : u'2', 0};

}  // namespace wl
