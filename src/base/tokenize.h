// The one tokenizer for command lines and for configured option and argument
// lines.
#pragma once

#include <string>
#include <vector>

namespace wl {

// Appends the tokens of a text: tokens are separated by single spaces (tabs do
// not separate); a double or single quote opens a run up to the next quote of
// the same kind, which may contain spaces; there is no escape character.
void splitCommandLine(const std::u16string& text, std::vector<std::u16string>& tokens);

}  // namespace wl
