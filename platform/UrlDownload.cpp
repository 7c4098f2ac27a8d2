#include "platform/UrlDownload.h"

#include <curl/curl.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/LowLevelFile.h"

namespace platform {

namespace {

// A download never grows without bound or waits forever on a silent server.
constexpr curl_off_t kMaxDownloadBytes = curl_off_t(1) << 30;
constexpr long kConnectTimeoutSeconds = 30;
constexpr long kStallSeconds = 60;

bool StartsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix) {
        char a = *text, b = *prefix;
        if (a >= 'A' && a <= 'Z') a = char(a - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

uint64_t Fnv1a(const std::string& text) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

bool MakeDirectories(const std::string& path) {
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/') continue;
        const std::string part = path.substr(0, pos);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

struct Sink {
    int fd = -1;
    bool writeFailed = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const size_t n = size * count;
    size_t done = 0;
    while (done < n) {
        const ssize_t w = FileWrite(sink->fd, data + done, n - done);
        if (w <= 0) {
            sink->writeFailed = true;
            return 0;  // makes curl stop with a write error
        }
        done += size_t(w);
    }
    return n;
}

}  // namespace

bool IsUrlSource(const char* path) {
    return path && (StartsWithNoCase(path, "http:") || StartsWithNoCase(path, "file:"));
}

std::string CanonicalUrl(const std::string& url) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : url) {
        if (c <= 0x20 || c >= 0x7F) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}

std::string UrlCacheDirectory() {
    std::string base;
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        base = std::string(home) + "/.cache";
    } else {
        return std::string();
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/torva-krv-viewer";
}

std::string UrlCacheFile(const std::string& url) {
    const std::string dir = UrlCacheDirectory();
    if (dir.empty()) return std::string();
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.kvf", static_cast<unsigned long long>(Fnv1a(url)));
    return dir + "/" + name;
}

bool DownloadUrl(const std::string& url, std::string& cacheFile, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (!IsUrlSource(url.c_str())) return fail("not an http: or file: URL");
    const std::string target = UrlCacheFile(url);
    if (target.empty()) return fail("no cache directory");
    if (!MakeDirectories(UrlCacheDirectory())) return fail("cannot create the cache directory");

    static std::once_flag once;
    static bool curlReady = false;
    std::call_once(once, [] { curlReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    if (!curlReady) return fail("the URL library did not start");

    std::string temp = target + ".XXXXXX";
    Sink sink;
    sink.fd = ::mkstemp(temp.data());
    if (sink.fd < 0) return fail("cannot create the cache file");
    ::fcntl(sink.fd, F_SETFD, FD_CLOEXEC);

    CURL* curl = curl_easy_init();
    CURLcode rc = CURLE_FAILED_INIT;
    if (curl) {
        const std::string canonical = CanonicalUrl(url);
        curl_easy_setopt(curl, CURLOPT_URL, canonical.c_str());
        curl_easy_setopt(curl, CURLOPT_USERAGENT, kUrlAgent);
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,file");
        // A server must not be able to redirect the viewer into local files.
        curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);  // an error page is no scene
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, kMaxDownloadBytes);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
        rc = curl_easy_perform(curl);
        curl_easy_cleanup(curl);
    }
    bool ok = rc == CURLE_OK && !sink.writeFailed;
    std::string why = ok ? std::string() : (sink.writeFailed ? "cannot write the cache file" : curl_easy_strerror(rc));
    if (ok && ::fsync(sink.fd) != 0 && errno != EINVAL) {
        ok = false;
        why = "cannot write the cache file";
    }
    if (::close(sink.fd) != 0 && ok) {
        ok = false;
        why = "cannot write the cache file";
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        why = "cannot commit the cache file";
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return fail(why);
    }
    cacheFile = target;
    return true;
}

}  // namespace platform
