#include "GuiViewer/src/host/ExpectImpl.h"

#include <cstdio>
#include <string>

#include "platform/MessageSink.h"

namespace qor {

namespace {
int g_failures = 0;
}

bool ExpectImpl::expectFail(const char* expression, const char* sourcePath, int line) {
    ++g_failures;
    const std::string text = std::string("Expectation failed: ") + (expression ? expression : "") + " (" +
                             (sourcePath ? sourcePath : "?") + ", line " + std::to_string(line) + ")";
    std::fprintf(stderr, "%s\n", text.c_str());
    platform::ShowMessage(platform::MessageIcon::Error, text + "\n");
    return false;
}

int ExpectImpl::failureCount() { return g_failures; }

}  // namespace qor
