#include "instance/instance.h"

namespace wl {

std::string instanceNameFor(const std::string& instanceKey, bool global) {
    std::string name = global ? "Global\\" : "Local\\";
    for (char c : instanceKey) name.push_back(c == '\\' || c == ' ' ? '_' : c);
    return name;
}

std::string numberedInstanceName(const std::string& name, uint32_t number) {
    return name + std::to_string(number);
}

}  // namespace wl
