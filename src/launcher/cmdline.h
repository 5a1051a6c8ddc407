// The command line: the choice of role (the tokenizer is in base/tokenize.h).
#pragma once

#include <string>
#include <vector>

#include "base/tokenize.h"

namespace wl {

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
