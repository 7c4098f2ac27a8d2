#pragma once
// A PostScript or EPS file being written: buffered, formatted with the C
// number conventions whatever the process locale says (a comma as decimal
// separator would make every coordinate a syntax error), and written beside
// its final name so that a failed write never replaces an earlier good file.
#include <cstddef>
#include <string>

#include "link/RecordFile.h"

class PostScriptFile {
public:
    PostScriptFile() = default;
    PostScriptFile(const PostScriptFile&) = delete;
    PostScriptFile& operator=(const PostScriptFile&) = delete;

    // False when the name is empty or the file cannot be created.
    bool open(const std::string& path);
    bool isOpen() const { return open_; }
    const std::string& path() const { return path_; }

    // printf-formatted text.
    void print(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void write(const void* data, size_t length);

    // True once any write has failed; later writes are dropped.
    bool failed() const { return failed_; }
    // Writes what is buffered and moves the file to its name; false (and no
    // file left behind) when any write failed.
    bool commit();
    // Drops the file; an earlier file of the same name stays.
    void discard();

private:
    void flush();

    recordfile::ReplacingFile file_;
    std::string buffer_;
    std::string path_;
    bool open_ = false;
    bool failed_ = false;
};
