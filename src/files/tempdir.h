// Temporary directories: the per-run directory and its clean-up.
#pragma once

#include <string>

namespace wl {

// Empties and removes launcherTempDir when it is set. Errors are ignored.
void removeLauncherTempDir();

// Deletes the files of a directory; with recurse, empties each subdirectory
// one level down before removing it. Deeper nesting stays behind. A path that
// is empty or starts with "." is left alone.
void emptyDirectory(const std::string& path, bool recurse);

}  // namespace wl
