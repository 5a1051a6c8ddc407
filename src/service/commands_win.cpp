#include "diag/log.h"
#include "service/service.h"

namespace wl {

int runServiceCommand(const std::u16string& command, const std::vector<std::u16string>&, bool& handled) {
    static const char16_t* const commands[] = {u"install", u"install-and-start", u"install-auto", u"install-demand",
                                               u"uninstall", u"stop", u"start", u"restart", u"status"};
    handled = false;
    for (const char16_t* name : commands)
        if (command == name) handled = true;
    if (!handled) return 0;
    logError(u"service command %s is not available in this build", command.c_str());
    return 1;
}

}  // namespace wl
