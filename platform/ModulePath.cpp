#include "platform/ModulePath.h"

#include <climits>
#include <unistd.h>

namespace platform {

std::string ModulePath() {
    char buffer[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0) return {};
    return std::string(buffer, static_cast<size_t>(n));
}

std::string ModuleDirectory() {
    std::string path = ModulePath();
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return path.substr(0, slash + 1);
}

}  // namespace platform
