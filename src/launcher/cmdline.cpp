#include "launcher/cmdline.h"

namespace wl {

Dispatch classifyArguments(std::vector<std::u16string> arguments) {
    Dispatch d;
    if (!arguments.empty() && arguments.back() == kRestartMarker) {
        arguments.pop_back();
        d.role = Role::Worker;
        d.arguments = std::move(arguments);
        return d;
    }
    if (!arguments.empty() && !arguments.front().empty() &&
        (arguments.front()[0] == u'/' || arguments.front()[0] == u'-')) {
        std::u16string name = arguments.front().substr(1);
        if (!name.empty() && name[0] == u'-') name.erase(0, 1);
        arguments.erase(arguments.begin());
        d.role = Role::Command;
        d.command = std::move(name);
    }
    d.arguments = std::move(arguments);
    return d;
}

}  // namespace wl
