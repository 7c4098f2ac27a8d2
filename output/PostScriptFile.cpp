#include "output/PostScriptFile.h"

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <locale.h>

#include "platform/LowLevelFile.h"

namespace {

constexpr size_t kFlushSize = 65536;

locale_t cNumericLocale() {
    static const locale_t loc = ::newlocale(LC_NUMERIC_MASK, "C", locale_t(nullptr));
    return loc;
}

bool writeAll(int fd, const char* p, size_t left) {
    while (left > 0) {
        const ssize_t n = platform::FileWrite(fd, p, left);
        if (n <= 0) return false;
        p += n;
        left -= size_t(n);
    }
    return true;
}

}  // namespace

bool PostScriptFile::open(const std::string& path) {
    discard();
    if (path.empty() || file_.Open(path.c_str()) < 0) return false;
    path_ = path;
    open_ = true;
    failed_ = false;
    buffer_.reserve(kFlushSize + 4096);
    return true;
}

void PostScriptFile::print(const char* format, ...) {
    if (!open_ || failed_) return;
    char text[512];
    const locale_t loc = cNumericLocale();
    const locale_t previous = loc ? ::uselocale(loc) : locale_t(nullptr);
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n >= int(sizeof text)) {
        // Longer than any record we write; format it again at its length.
        std::string big(size_t(n) + 1, '\0');
        va_start(args, format);
        std::vsnprintf(big.data(), big.size(), format, args);
        va_end(args);
        buffer_.append(big.data(), size_t(n));
    } else if (n > 0) {
        buffer_.append(text, size_t(n));
    }
    if (previous) ::uselocale(previous);
    if (n < 0) failed_ = true;
    if (buffer_.size() >= kFlushSize) flush();
}

void PostScriptFile::write(const void* data, size_t length) {
    if (!open_ || failed_ || length == 0) return;
    if (buffer_.size() + length < kFlushSize) {
        buffer_.append(static_cast<const char*>(data), length);
        return;
    }
    flush();
    if (!failed_) failed_ = !writeAll(file_.fd(), static_cast<const char*>(data), length);
}

void PostScriptFile::flush() {
    if (buffer_.empty() || failed_) return;
    failed_ = !writeAll(file_.fd(), buffer_.data(), buffer_.size());
    buffer_.clear();
}

bool PostScriptFile::commit() {
    if (!open_) return false;
    flush();
    open_ = false;
    buffer_.clear();
    if (failed_) {
        file_.Discard();
        return false;
    }
    return file_.Commit();
}

void PostScriptFile::discard() {
    file_.Discard();
    buffer_.clear();
    open_ = false;
}
