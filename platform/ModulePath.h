#pragma once
#include <string>

namespace platform {
// Directory of the running program, ending in "/"; empty when unknown.
std::string ModuleDirectory();
// Full path of the running program; empty when unknown.
std::string ModulePath();
}  // namespace platform
