#pragma once
// Downloads of remote scenes: an "http:" or "file:" URL is fetched into a
// cache file with the extension "kvf" under the user's cache directory
// ($XDG_CACHE_HOME, else ~/.cache) and read from there.  The cache file
// appears only when the whole download succeeded.
#include <string>

namespace platform {

// Agent name of every request.
inline constexpr const char* kUrlAgent = "TORVA KRV Viewer";

// The path starts with "http:" or "file:" (letter case ignored).
bool IsUrlSource(const char* path);
// The URL with blanks, control characters and bytes above 127 escaped.
std::string CanonicalUrl(const std::string& url);
// Directory of the cache files (not created here); empty when neither
// XDG_CACHE_HOME nor HOME gives one.
std::string UrlCacheDirectory();
// The cache file of a URL (named after the URL as given).
std::string UrlCacheFile(const std::string& url);
// Fetches url into its cache file.  True with cacheFile set when every byte
// arrived and the file is complete; false (nothing written, an earlier
// cache file untouched) otherwise.  error, when given, tells why.
bool DownloadUrl(const std::string& url, std::string& cacheFile, std::string* error = nullptr);

}  // namespace platform
