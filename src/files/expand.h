// Variable expansion in configuration values and option lines: the launcher's
// built-in variables (directories, separator, JVM home) and any environment
// variable as ${NAME}. Purely textual: no escapes, no nesting syntax, and an
// unknown variable stays as written.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace wl {

// --- Portable decisions ---

// The values the built-in variables stand for, in the text's width.
template <class S>
struct ExpansionValues {
    S launcherDir;      // with its trailing backslash
    S launcherTempDir;  // empty while there is no per-run directory
    S jvmHome;          // empty until a runtime has been selected
    S systemTempDir;    // the base temporary directory
};
using WideExpansionValues = ExpansionValues<std::u16string>;
using NarrowExpansionValues = ExpansionValues<std::string>;

// Replaces every occurrence of variable by value, left to right, searching on
// behind each inserted value (so the value is never expanded again by this
// call), and logs each replacement with the whole resulting text. Returns the
// number of replacements.
std::size_t replaceAllInPlace(std::u16string& text, const std::u16string& variable, const std::u16string& value);
std::size_t replaceAllInPlace(std::string& text, const std::string& variable, const std::string& value);

// The whole expansion: the 21 built-in variables in their fixed order, then
// for each environment entry "NAME=VALUE" in block order ${NAME} and its
// upper-cased form. Entries without "=", and those beginning with "=" (the
// per-drive current directories), are skipped. A text grows to at most 65536
// characters and takes at most 1024 replacements (replaceAllInPlace alike);
// beyond either limit the rest stays as written and an error line says so.
void expandWithValues(std::u16string& text, const WideExpansionValues& values,
                      const std::vector<std::u16string>& environment);
void expandWithValues(std::string& text, const NarrowExpansionValues& values,
                      const std::vector<std::string>& environment);

// --- Windows side ---

// Expands a wide text in place. With narrowForms the launcher directory and
// the system temporary directory are substituted in their narrow forms
// widened with the code page of the file functions, so the result survives a
// later narrow conversion.
// Determines the base temporary directory on every call, so it can end the
// launch when none is usable (message 1015).
void expandVariables(std::u16string& text, bool narrowForms);
// The same on a narrow text, always with narrow values: through the wide form
// with narrowForms, then narrowed again (characters the code page cannot hold
// become "?"); on the bytes only when the text has no exact wide form.
void expandVariablesNarrow(std::string& text);

}  // namespace wl
