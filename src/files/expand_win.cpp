// The Win32 half of the expansion: gathers the values and the environment block.
#include "base/process_state.h"
#include "base/text.h"
#include "base/winapi.h"
#include "files/expand.h"
#include "files/paths.h"
#include "files/tempdir.h"

// Under UNICODE the plain name stands for the wide function; the narrow
// block comes from the plain export itself.
#undef GetEnvironmentStrings

namespace wl {
namespace {

// The entries of the environment block, in block order; fetched anew on every
// call because the environment may have changed.
std::vector<std::u16string> wideEnvironment() {
    std::vector<std::u16string> entries;
    wchar_t* block = GetEnvironmentStringsW();
    if (!block) return entries;
    for (const char16_t* entry = U(block); *entry; entry += cLength(entry) + 1) entries.emplace_back(entry);
    FreeEnvironmentStringsW(block);
    return entries;
}

std::vector<std::string> narrowEnvironment() {
    std::vector<std::string> entries;
    char* block = GetEnvironmentStrings();
    if (!block) return entries;
    for (const char* entry = block; *entry; entry += cLength(entry) + 1) entries.emplace_back(entry);
    FreeEnvironmentStringsA(block);
    return entries;
}

}  // namespace

void expandVariables(std::u16string& text, bool narrowForms) {
    WideExpansionValues values;
    values.launcherDir = resolvePath(u"", narrowForms);
    // The narrow values are widened with the code page of the file functions,
    // as every narrow path is, so that a later narrow conversion gives their
    // bytes back.
    values.launcherTempDir = fromNarrowPath(launcherTempDir);
    values.jvmHome = fromNarrowPath(jvmHome);
    // Determined on every call, whether or not the text holds the variable.
    values.systemTempDir = narrowForms ? fromNarrowPath(baseTempDir()) : baseTempDirWide(true);
    expandWithValues(text, values, wideEnvironment());
}

void expandVariablesNarrow(std::string& text) {
    // Expanded in the wide form, with the narrow values widened: the names of
    // ${NAME} are also looked for upper-cased, which, done on bytes, would
    // change the second byte of a double-byte character.
    if (std::optional<std::u16string> wide = exactWideForm(text, fileApiCodec())) {
        expandVariables(*wide, true);
        text = toNarrowPath(*wide);
        return;
    }
    NarrowExpansionValues values;
    values.launcherDir = launcherDirNarrow();
    values.launcherTempDir = launcherTempDir;
    values.jvmHome = jvmHome;
    values.systemTempDir = baseTempDir();
    expandWithValues(text, values, narrowEnvironment());
}

}  // namespace wl
