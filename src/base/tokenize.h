// The one tokenizer for command lines and for configured option and argument
// lines.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace wl {

// Appends the tokens of a text: tokens are separated by single spaces (tabs do
// not separate); a double or single quote opens a run up to the next quote of
// the same kind, which may contain spaces; there is no escape character.
void splitCommandLine(const std::u16string& text, std::vector<std::u16string>& tokens);

// One element written so that splitCommandLine reads it back as one token:
// as it is when it is not empty and holds no space and no quote; otherwise in
// double quotes, or in single quotes when it holds a double quote. Nothing
// when it holds both kinds of quote: no token of the splitter can carry that.
std::optional<std::u16string> quoteForSplit(const std::u16string& element);

}  // namespace wl
