#pragma once
// Reports internal expectations that failed: one line on standard error and
// a message through the message sink.  The result says whether the caller
// should go on as if the expectation had held; callers go on only where
// they say so.
namespace qor {

class ExpectImpl {
public:
    static bool expectFail(const char* expression, const char* sourcePath, int line);
    // Number of failures reported so far in this process.
    static int failureCount();
};

}  // namespace qor
