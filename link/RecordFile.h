#pragma once
// Line records of the state, camera and scene files: sections opened by
// "++ NAME" and closed by "-- NAME", value lines "\tkey = value".  Reading
// goes one byte at a time through a file descriptor, because scene files
// interleave these lines with token streams read from the same descriptor:
// nothing may be read ahead.
#include <cstdio>
#include <string>

namespace recordfile {

// Every reader of these files uses lines of this many bytes (terminator
// included); longer physical lines are read as several lines.
constexpr int kLineSize = 256;
// Longest line a writer produces, LF not counted.  A reader holding 255
// bytes ends the line there and reads the LF as an empty line of its own, so
// a written line stays one byte shorter.  Longer text values are cut (at a
// character boundary) and a value ends at its first line break, so a written
// line always reads back as exactly one line.
constexpr int kMaxWrittenLine = kLineSize - 2;

// Reads one line into buffer (size bytes, terminated).  CR is dropped, LF
// ends the line and is not stored; after size - 1 bytes the line ends and
// the rest of the physical line is the next line.  False only when the end
// of the file comes before any byte of the line.
bool ReadLine(int fd, char* buffer, int size);

// Line kinds of SplitLine.
enum LineKind { kEmptyLine = -1, kValueLine = 0, kOpenLine = 1, kCloseLine = 2 };

// Splits the line at cursor into key and value and moves cursor to the next
// line (after a LF, or to the end of the text).  The key keeps blanks
// inside it and before a "=" ("MANAGED VIEWPORT", "numViewports ").
// hasValue tells whether a value followed "="; hasEquals whether "=" did.
int SplitLine(const char*& cursor, std::string& key, std::string& value, bool* hasValue = nullptr,
              bool* hasEquals = nullptr);

// The key starts with name and the name is followed by a blank, a control
// character, "=", the end, DEL or a byte above 127.  Case-sensitive.
bool KeyMatches(const char* key, const char* name);
inline bool KeyMatches(const std::string& key, const char* name) { return KeyMatches(key.c_str(), name); }
// Equal ignoring ASCII letter case.
bool SameName(const char* a, const char* b);

// Writers: false when the descriptor does not take the whole line.
bool WriteLine(int fd, const char* text);
bool WriteBool(int fd, const char* key, bool value);
bool WriteText(int fd, const char* key, const char* value);
bool WriteInts(int fd, const char* key, const int* values, int count);
bool WriteBytes(int fd, const char* key, const unsigned char* values, int count);
bool WriteFloats(int fd, const char* key, const float* values, int count);
// All of text, retrying short writes.
bool WriteAll(int fd, const std::string& text);

// A file written beside its final name and moved over it only when every
// write succeeded, so that a failed write never destroys the previous file.
// A symbolic link is followed (the file it names is replaced, the link
// stays).  A target that exists and is not a regular file (a device such as
// /dev/full, a pipe) cannot be replaced: it is written directly, and Commit
// reports whether every byte got there.
class ReplacingFile {
public:
    ReplacingFile() = default;
    ~ReplacingFile();  // discards an uncommitted temporary file
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file (owner read and write, others read); the
    // descriptor or -1.
    int Open(const char* path);
    // The same as a buffered binary stream (owned: do not fclose it), or
    // null.  For writers built on stdio (the image, PostScript and VRML
    // writers).
    std::FILE* OpenStream(const char* path);
    int fd() const { return fd_; }
    // Flushes, closes and renames over the final name; false (and the
    // temporary file removed) when any of that fails.
    bool Commit();
    void Discard();

private:
    int fd_ = -1;
    std::FILE* stream_ = nullptr;
    bool direct_ = false;  // writing straight into a non-regular target
    std::string path_;
    std::string temp_;
};

}  // namespace recordfile
