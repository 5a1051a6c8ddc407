// The command line: the one tokenizer, and the choice of role.
#pragma once

#include <string>
#include <vector>

namespace wl {

// Appends the tokens of a text: tokens are separated by single spaces (tabs do
// not separate); a double or single quote opens a run up to the next quote of
// the same kind, which may contain spaces; there is no escape character.
void splitCommandLine(const std::u16string& text, std::vector<std::u16string>& tokens);

// The marker that the service process puts last on its worker's command line.
inline constexpr char16_t kRestartMarker[] = u"__qar_restart";

enum class Role {
    Worker,      // marker last: run the application
    Command,     // "/name", "-name" or "--name"
    Dispatcher,  // nothing recognisable: hand over to the service dispatcher
};

struct Dispatch {
    Role role = Role::Dispatcher;
    std::u16string command;                // for Role::Command, without its prefix
    std::vector<std::u16string> arguments;  // what follows the program path (and the command)
};

// Decides the role from the arguments that follow the program path.
Dispatch classifyArguments(std::vector<std::u16string> arguments);

}  // namespace wl
