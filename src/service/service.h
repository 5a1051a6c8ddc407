// The Windows service side: the control commands and the service process.
#pragma once

#include <string>
#include <vector>

namespace wl {

// Runs a service control command ("install", "stop", ...) and returns its exit
// code. Returns false in handled when the name is not a service command.
int runServiceCommand(const std::u16string& command, const std::vector<std::u16string>& arguments, bool& handled);

// The configured service (serviceName) as the service control manager knows it.
struct ServiceFacts;
ServiceFacts inspectConfiguredService();

// Hands the main thread to the service control dispatcher. Returns when the
// dispatcher returns or could not be started (the failure is logged).
void runServiceDispatcher();

}  // namespace wl
