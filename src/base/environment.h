// The process environment, read and written one way. Windows only.
//
// The rule for reading, here and nowhere else: a variable that is not set
// gives nothing; a variable that is set gives its value, which may be empty.
// Where an empty value counts as no value, nonEmptyEnvironmentVariable says so.
#pragma once

#include <optional>
#include <string>

namespace wl {

std::optional<std::string> environmentVariable(const char* name);
std::optional<std::u16string> environmentVariable(const char16_t* name);
std::optional<std::string> nonEmptyEnvironmentVariable(const char* name);
std::optional<std::u16string> nonEmptyEnvironmentVariable(const char16_t* name);

// Whether the C runtime's own copy of the environment holds the variable.
bool runtimeEnvironmentHas(const char* name);

// Sets the variable, or removes it when there is no value, in the process
// environment and in the C runtime's copy, so that the JVM in this process
// and every child see the same. False when the process environment refused
// it; the last error is then that of the refusal.
bool setEnvironmentEverywhere(const std::u16string& name, const std::optional<std::u16string>& value);

}  // namespace wl
