#include "link/RecordFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/LowLevelFile.h"

namespace recordfile {

namespace {

inline bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }
inline bool IsLineEnd(char c) { return c == '\0' || c == '\n'; }

// Appends " %d"/" %g" items to a line without passing the written-line limit:
// a value that would not fit is left out rather than cut in the middle.
void AppendItem(std::string& line, const char* item) {
    if (line.size() + std::strlen(item) <= size_t(kMaxWrittenLine)) line += item;
}

// text up to its first control character other than TAB, cut so that it
// fits in room bytes without splitting a UTF-8 sequence.
std::string LineSafe(const char* text, size_t room) {
    std::string out;
    if (!text) return out;
    for (const char* p = text; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (IsControl(c) && c != '\t') break;
        out += *p;
    }
    if (out.size() > room) {
        size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
        out.resize(cut);
    }
    return out;
}

std::string KeyPrefix(const char* key) {
    return "\t" + LineSafe(key, size_t(kMaxWrittenLine) - 8) + " =";
}

}  // namespace

bool ReadLine(int fd, char* buffer, int size) {
    if (!buffer || size <= 0) return false;
    int held = 0;
    bool gotAny = false;
    while (held < size - 1) {
        char c;
        ssize_t n = platform::FileRead(fd, &c, 1);
        if (n <= 0) break;
        gotAny = true;
        if (c == '\r') continue;
        if (c == '\n') break;
        buffer[held++] = c;
    }
    buffer[held] = '\0';
    return gotAny;
}

int SplitLine(const char*& cursor, std::string& key, std::string& value, bool* hasValue, bool* hasEquals) {
    key.clear();
    value.clear();
    if (hasValue) *hasValue = false;
    if (hasEquals) *hasEquals = false;
    if (!cursor) return kEmptyLine;
    const char* p = cursor;
    while (!IsLineEnd(*p) && (*p == ' ' || IsControl(static_cast<unsigned char>(*p)))) ++p;
    if (IsLineEnd(*p)) {
        cursor = *p == '\n' ? p + 1 : p;
        return kEmptyLine;
    }
    int kind = kValueLine;
    if (p[0] == '+' && p[1] == '+') {
        kind = kOpenLine;
        p += 2;
    } else if (p[0] == '-' && p[1] == '-') {
        kind = kCloseLine;
        p += 2;
    }
    while (*p == ' ' || *p == '\t') ++p;
    const char* keyStart = p;
    while (!IsLineEnd(*p) && *p != '=' &&
           !(IsControl(static_cast<unsigned char>(*p)) && *p != '\t'))
        ++p;
    key.assign(keyStart, size_t(p - keyStart));
    if (*p == '=') {
        if (hasEquals) *hasEquals = true;
        ++p;
        while (*p == ' ' || *p == '\t') ++p;
        const unsigned char c = static_cast<unsigned char>(*p);
        if (!IsLineEnd(*p) && !IsControl(c)) {
            const char* valueStart = p;
            while (!IsLineEnd(*p)) ++p;
            value.assign(valueStart, size_t(p - valueStart));
            if (hasValue) *hasValue = true;
        }
    }
    while (!IsLineEnd(*p)) ++p;
    cursor = *p == '\n' ? p + 1 : p;
    return kind;
}

bool KeyMatches(const char* key, const char* name) {
    if (!key || !name) return false;
    const size_t n = std::strlen(name);
    if (std::strncmp(key, name, n) != 0) return false;
    const unsigned char next = static_cast<unsigned char>(key[n]);
    return next == '\0' || next == ' ' || next == '=' || next < 0x20 || next >= 0x7F;
}

bool SameName(const char* a, const char* b) {
    if (!a || !b) return a == b;
    for (;; ++a, ++b) {
        unsigned char ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
        if (ca >= 'A' && ca <= 'Z') ca = static_cast<unsigned char>(ca - 'A' + 'a');
        if (cb >= 'A' && cb <= 'Z') cb = static_cast<unsigned char>(cb - 'A' + 'a');
        if (ca != cb) return false;
        if (ca == '\0') return true;
    }
}

bool WriteAll(int fd, const std::string& text) {
    if (fd < 0) return false;
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = platform::FileWrite(fd, p, left);
        if (n <= 0) return false;
        p += n;
        left -= size_t(n);
    }
    return true;
}

bool WriteLine(int fd, const char* text) {
    return WriteAll(fd, LineSafe(text, size_t(kMaxWrittenLine)) + "\n");
}

bool WriteBool(int fd, const char* key, bool value) { return WriteText(fd, key, value ? "On" : "Off"); }

bool WriteText(int fd, const char* key, const char* value) {
    std::string line = KeyPrefix(key) + " ";
    line += LineSafe(value, size_t(kMaxWrittenLine) - line.size());
    return WriteAll(fd, line + "\n");
}

bool WriteInts(int fd, const char* key, const int* values, int count) {
    std::string line = KeyPrefix(key);
    char item[32];
    for (int i = 0; values && i < count; ++i) {
        std::snprintf(item, sizeof item, " %d", values[i]);
        AppendItem(line, item);
    }
    return WriteAll(fd, line + "\n");
}

bool WriteBytes(int fd, const char* key, const unsigned char* values, int count) {
    std::string line = KeyPrefix(key);
    char item[32];
    for (int i = 0; values && i < count; ++i) {
        std::snprintf(item, sizeof item, " %d", int(values[i]));
        AppendItem(line, item);
    }
    return WriteAll(fd, line + "\n");
}

bool WriteFloats(int fd, const char* key, const float* values, int count) {
    std::string line = KeyPrefix(key);
    char item[48];
    for (int i = 0; values && i < count; ++i) {
        std::snprintf(item, sizeof item, " %g", double(values[i]));
        AppendItem(line, item);
    }
    return WriteAll(fd, line + "\n");
}

// ---------------------------------------------------------------- ReplacingFile

ReplacingFile::~ReplacingFile() { Discard(); }

int ReplacingFile::Open(const char* path) {
    Discard();
    if (!path || !*path) return -1;
    path_ = path;
    struct stat st {};
    if (::lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
        // Replace the file the link names, not the link.
        if (char* real = ::realpath(path, nullptr)) {
            path_ = real;
            std::free(real);
        }
    }
    if (::stat(path_.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        // Renaming over a device or a pipe would replace the node itself.
        int fd = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) return -1;
        fd_ = fd;
        direct_ = true;
        return fd_;
    }
    std::string pattern = path_ + ".XXXXXX";
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) return -1;
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    // mkstemp creates the file for the owner only; state and scene files are
    // readable by others as well (the umask still applies).
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0644 & ~mask);
    fd_ = fd;
    temp_ = pattern;
    return fd_;
}

std::FILE* ReplacingFile::OpenStream(const char* path) {
    if (Open(path) < 0) return nullptr;
    stream_ = ::fdopen(fd_, "wb");
    if (!stream_) Discard();
    return stream_;
}

bool ReplacingFile::Commit() {
    if (fd_ < 0) return false;
    bool ok = true;
    if (stream_) ok = std::fflush(stream_) == 0 && !std::ferror(stream_);
    if (!direct_) ok = (::fsync(fd_) == 0 || errno == EINVAL || errno == EROFS) && ok;
    ok = (stream_ ? std::fclose(stream_) == 0 : ::close(fd_) == 0) && ok;
    stream_ = nullptr;
    fd_ = -1;
    if (direct_) {
        direct_ = false;
        return ok;
    }
    if (ok) ok = ::rename(temp_.c_str(), path_.c_str()) == 0;
    if (!ok) ::unlink(temp_.c_str());
    temp_.clear();
    return ok;
}

void ReplacingFile::Discard() {
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
        fd_ = -1;
    } else if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = -1;
    direct_ = false;
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

}  // namespace recordfile
