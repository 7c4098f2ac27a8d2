// The line records of state, camera and scene files: reading with the
// 256-byte rule, splitting, key matching, the writers and replacing files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "link/RecordFile.h"

namespace {

using namespace recordfile;

std::string WriteTemp(const std::string& dir, const std::string& bytes) {
    const std::string path = dir + "/in.txt";
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::vector<std::string> ReadAllLines(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::vector<std::string> lines;
    char buffer[kLineSize];
    while (ReadLine(fd, buffer, sizeof buffer)) lines.push_back(buffer);
    ::close(fd);
    return lines;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(RecordFileRead, LinesDropCarriageReturnsAndSplitAt255Bytes) {
    const std::string dir = testsupport::ScratchDir("record_read");
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"\n", {""}},
        {"abc\r\ndef", {"abc", "def"}},
        {"a\r\rb\n\nc\n", {"ab", "", "c"}},
        {std::string(300, 'x') + "\nend\n", {std::string(255, 'x'), std::string(45, 'x'), "end"}},
        {std::string(255, 'y') + "\n", {std::string(255, 'y'), ""}},
    };
    for (const Case& c : cases) EXPECT_EQ(ReadAllLines(WriteTemp(dir, c.bytes)), c.lines) << c.bytes.size();
}

TEST(RecordFileRead, ReadsNoMoreThanItsLine) {
    // Scene files continue with binary tokens after a text line: the reader
    // must leave the descriptor right after the LF.
    const std::string dir = testsupport::ScratchDir("record_position");
    const int fd = ::open(WriteTemp(dir, "3\nvkoTokenKey").c_str(), O_RDONLY);
    char buffer[kLineSize];
    ASSERT_TRUE(ReadLine(fd, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "3");
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 2);
    ::close(fd);
}

struct SplitCase {
    const char* line;
    int kind;
    const char* key;
    const char* value;
    bool hasValue;
    bool hasEquals;
};

TEST(RecordFileSplit, KindsKeysAndValues) {
    const SplitCase cases[] = {
        {"\tnumViewports = 4", kValueLine, "numViewports ", "4", true, true},
        {"++ MANAGED VIEWPORT", kOpenLine, "MANAGED VIEWPORT", "", false, false},
        {"-- VIEWER", kCloseLine, "VIEWER", "", false, false},
        {"  \t ", kEmptyLine, "", "", false, false},
        {"", kEmptyLine, "", "", false, false},
        {"\tpan =", kValueLine, "pan ", "", false, true},
        {"\tpan = \t", kValueLine, "pan ", "", false, true},
        {"visibility= On", kValueLine, "visibility", "On", true, true},
        {"\tname = my view ;", kValueLine, "name ", "my view ;", true, true},
        {"NEW_VIEW {", kValueLine, "NEW_VIEW {", "", false, false},
        {"++OBJECTS", kOpenLine, "OBJECTS", "", false, false},
        {"key\x01rest = 1", kValueLine, "key", "", false, false},
    };
    for (const SplitCase& c : cases) {
        const char* cursor = c.line;
        std::string key, value;
        bool hasValue = !c.hasValue, hasEquals = !c.hasEquals;
        EXPECT_EQ(SplitLine(cursor, key, value, &hasValue, &hasEquals), c.kind) << c.line;
        EXPECT_EQ(key, c.key) << c.line;
        EXPECT_EQ(value, c.value) << c.line;
        EXPECT_EQ(hasValue, c.hasValue) << c.line;
        EXPECT_EQ(hasEquals, c.hasEquals) << c.line;
    }
}

TEST(RecordFileSplit, CursorMovesLineByLine) {
    const char* text = "++ A\n\n\tk = v\n";
    const char* cursor = text;
    std::string key, value;
    EXPECT_EQ(SplitLine(cursor, key, value), kOpenLine);
    EXPECT_EQ(SplitLine(cursor, key, value), kEmptyLine);
    EXPECT_EQ(SplitLine(cursor, key, value), kValueLine);
    EXPECT_EQ(value, "v");
    EXPECT_EQ(SplitLine(cursor, key, value), kEmptyLine);
    EXPECT_EQ(*cursor, '\0');
}

TEST(RecordFileKeys, MatchNeedsASeparatorAfterTheName) {
    struct Case {
        const char* key;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"numViewports = 4", "numViewports", true}, {"numViewports", "numViewports", true},
        {"numViewportsX", "numViewports", false},   {"numViewports\t", "numViewports", true},
        {"numViewports=4", "numViewports", true},   {"name\x7f", "name", true},
        {"name\xc3\xa9", "name", true},             {"nam", "name", false},
        {"Name", "name", false},                    {"VIEWPORT", "VIEWER", false},
    };
    for (const Case& c : cases) EXPECT_EQ(KeyMatches(c.key, c.name), c.match) << c.key << " / " << c.name;
    EXPECT_FALSE(KeyMatches(nullptr, "x"));
    EXPECT_TRUE(SameName("KRV LOGO", "krv Logo"));
    EXPECT_FALSE(SameName("KRV Logo ", "KRV Logo"));
    EXPECT_FALSE(SameName("a", nullptr));
}

TEST(RecordFileWrite, LineFormsAndLimits) {
    const std::string dir = testsupport::ScratchDir("record_write");
    const std::string path = dir + "/out.txt";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int ints[] = {1, -2, 3};
    const unsigned char bytes[] = {0, 255};
    const float floats[] = {0.5f, 1e-7f, 3.0f};
    EXPECT_TRUE(WriteLine(fd, "++ VIEWER"));
    EXPECT_TRUE(WriteBool(fd, "visibility", true));
    EXPECT_TRUE(WriteBool(fd, "lines", false));
    EXPECT_TRUE(WriteText(fd, "name", "main"));
    EXPECT_TRUE(WriteInts(fd, "viewportOrder", ints, 3));
    EXPECT_TRUE(WriteBytes(fd, "flags", bytes, 2));
    EXPECT_TRUE(WriteFloats(fd, "pan", floats, 3));
    EXPECT_TRUE(WriteInts(fd, "none", ints, 0));
    // A value never spills onto a second line: it ends at a line break and
    // is cut to what a reader takes in one piece.
    EXPECT_TRUE(WriteText(fd, "name", "two\nlines"));
    EXPECT_TRUE(WriteText(fd, "long", std::string(400, 'z').c_str()));
    EXPECT_TRUE(WriteLine(fd, (std::string(300, 'n') + "\xc3\xa9").c_str()));
    ::close(fd);
    const std::string expected = "++ VIEWER\n\tvisibility = On\n\tlines = Off\n\tname = main\n"
                                 "\tviewportOrder = 1 -2 3\n\tflags = 0 255\n\tpan = 0.5 1e-07 3\n\tnone =\n"
                                 "\tname = two\n";
    const std::string text = Slurp(path);
    ASSERT_EQ(text.substr(0, expected.size()), expected);
    const std::vector<std::string> lines = ReadAllLines(path);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[9].size(), size_t(kMaxWrittenLine));
    EXPECT_EQ(lines[10], std::string(size_t(kMaxWrittenLine), 'n'));
    EXPECT_FALSE(WriteLine(-1, "x"));
}

TEST(RecordFileReplace, OldFileSurvivesAnUncommittedWrite) {
    const std::string dir = testsupport::ScratchDir("record_replace");
    const std::string path = dir + "/state";
    std::ofstream(path) << "old\n";
    {
        ReplacingFile file;
        const int fd = file.Open(path.c_str());
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(WriteLine(fd, "half"));
        // Leaving without Commit, as a writer that failed half-way does.
    }
    EXPECT_EQ(Slurp(path), "old\n");
    {
        ReplacingFile file;
        ASSERT_TRUE(WriteLine(file.Open(path.c_str()), "new"));
        EXPECT_TRUE(file.Commit());
    }
    EXPECT_EQ(Slurp(path), "new\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1);
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::others_read,
              std::filesystem::perms::others_read);
    ReplacingFile nowhere;
    EXPECT_LT(nowhere.Open((dir + "/missing/dir/file").c_str()), 0);
    EXPECT_FALSE(nowhere.Commit());
}

TEST(RecordFileReplace, StreamsLinksDevicesAndDirectories) {
    namespace fs = std::filesystem;
    const std::string dir = testsupport::ScratchDir("record_targets");
    const std::string real = dir + "/real", link = dir + "/link";
    std::ofstream(real) << "old\n";
    fs::create_symlink(real, link);
    {
        ReplacingFile file;
        std::FILE* f = file.OpenStream(link.c_str());
        ASSERT_NE(f, nullptr);
        std::fputs("new\n", f);
        EXPECT_TRUE(file.Commit());
    }
    // The file behind the link was replaced; the link is still a link.
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Slurp(real), "new\n");

    // A device is written in place, never renamed over: a full disk is a
    // failed commit and the device node stays.
    {
        ReplacingFile file;
        std::FILE* f = file.OpenStream("/dev/full");
        ASSERT_NE(f, nullptr);
        std::vector<char> block(1 << 16, 'x');
        std::fwrite(block.data(), 1, block.size(), f);
        EXPECT_FALSE(file.Commit());
    }
    EXPECT_TRUE(fs::is_character_file("/dev/full"));

    // A directory in the way: nothing replaces it and no temporary file is left.
    fs::create_directory(dir + "/sub");
    {
        ReplacingFile file;
        std::FILE* f = file.OpenStream((dir + "/sub").c_str());
        ASSERT_NE(f, nullptr);
        std::fputs("x", f);
        EXPECT_FALSE(file.Commit());
    }
    EXPECT_TRUE(fs::is_directory(dir + "/sub"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3);
}

}  // namespace
