// The launcher's own texts by message id, with their "{0}" argument, and the
// fatal exits that show them. Texts and caption come from the ConfigStore;
// diag/message.h displays them and ends the process.
#pragma once

#include <cstdint>
#include <string>

namespace wl {

// --- Portable decisions ---

// Replaces the first "{0}" by the argument. Without an argument, or without a
// placeholder, the text stays as it is.
std::u16string substitutePlaceholder(const std::u16string& text, const std::u16string* argument);

// --- Windows side ---

// Shows the text with message 1000 as the caption (empty while the
// configuration block has not brought it).
void showMessage(const std::u16string& text);
// Message by id with its "{0}" argument.
void showConfiguredMessage(int32_t id, const std::u16string* argument = nullptr);
void showConfiguredMessage(int32_t id, const std::string& narrowArgument);

// Shows the text, then exitLauncher with 1.
[[noreturn]] void fatalError(const std::u16string& text);
[[noreturn]] void fatalConfiguredError(int32_t id, const std::u16string* argument = nullptr);
[[noreturn]] void fatalConfiguredError(int32_t id, const std::string& narrowArgument);

}  // namespace wl
