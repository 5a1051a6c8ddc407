// The user's locale as a Java-style code (de, pt_BR, no_NO_NY), taken from the
// Windows user interface language. It selects the language sections of the
// configuration block and the JVM's user.language and user.country.
#pragma once

#include <cstdint>
#include <string>

namespace wl {

// Looks the language identifier up: first exactly, then by its primary
// language (low 10 bits) among the bare language rows; "en" when neither is
// found.
std::string localeCodeFor(uint16_t languageId);

// Writes the locale code of the running user and logs it. Windows only.
std::string detectLocaleCode();

// Sets localeLanguage from the first two characters, and localeCountry from
// the fourth and fifth when the code is exactly five characters long.
void rememberLocaleParts(const std::string& code);

}  // namespace wl
