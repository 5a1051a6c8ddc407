// The reference of every setting and message: name, id, type, default and
// meaning, from the launcher's own list of ids (config/entry_list.h).
#pragma once

#include <string>

namespace pack {

// The plain-text table printed by --list-settings.
std::string settingsReference();

// docs/configuration.md, printed by --list-settings --markdown.
std::string settingsReferenceMarkdown();

}  // namespace pack
