// Converts a stroke font in the Hershey ".jhf" text form into the viewer's
// ".fnt" segment format (format number 0, proportional), or into C++ text
// lines for the font compiled into the library.
//
//   fontconvert [--scale S] [--cpp NAME] input.jhf output
//
// A .jhf record is: a 5-character glyph number, a 3-character pair count,
// then that many coordinate pairs, each coordinate a character whose offset
// from 'R' is the value; the first pair holds the left and right bearings
// and " R" lifts the pen.  Records may be wrapped over several lines.  The
// records are taken in order as the codes 32, 33, ... (at most 96); code
// 127 (DEL) is written without strokes since it is no printable character.
//
// Hershey y grows downwards with the baseline at 9; the output has y
// upwards from the baseline, scaled by S (default 36, which maps the
// Hershey range -16..16 to -252..900) and x shifted so that the left
// bearing is 0.
//
// The shipped fonts come from the Debian package hershey-fonts-data
// (/usr/share/hershey-fonts/):
//   fontconvert futural.jhf fonts/sanserif.fnt
//   fontconvert timesr.jhf fonts/serif.fnt
//   fontconvert --cpp kBuiltinStrokeFont futural.jhf render/BuiltinFont.cpp
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Segment {
    int x1, y1, x2, y2;
};

constexpr int kBaseline = 9;
constexpr int kFirstCode = 32;
constexpr int kMaxGlyphs = 96;

bool readGlyphs(const std::string& text, std::vector<std::vector<Segment>>& glyphs, double scale,
                std::string& error) {
    // Line breaks inside a record carry no meaning: drop them all.
    std::string s;
    s.reserve(text.size());
    for (char c : text)
        if (c != '\n' && c != '\r') s.push_back(c);

    size_t i = 0;
    while (i < s.size() && glyphs.size() < kMaxGlyphs) {
        if (s.size() - i < 8) {
            error = "truncated record header";
            return false;
        }
        int pairs = std::atoi(s.substr(i + 5, 3).c_str());
        i += 8;
        if (pairs < 1 || s.size() - i < static_cast<size_t>(pairs) * 2) {
            error = "bad pair count in record " + std::to_string(glyphs.size() + 1);
            return false;
        }
        const int left = s[i] - 'R';
        i += 2;
        std::vector<Segment> segs;
        bool penDown = false;
        int px = 0, py = 0;
        for (int k = 1; k < pairs; ++k, i += 2) {
            if (s[i] == ' ' && s[i + 1] == 'R') {
                penDown = false;
                continue;
            }
            int x = static_cast<int>(std::lround((s[i] - 'R' - left) * scale));
            int y = static_cast<int>(std::lround((kBaseline - (s[i + 1] - 'R')) * scale));
            if (penDown) segs.push_back({px, py, x, y});
            px = x;
            py = y;
            penDown = true;
        }
        if (kFirstCode + static_cast<int>(glyphs.size()) == 127) segs.clear();
        glyphs.push_back(std::move(segs));
    }
    if (glyphs.empty()) {
        error = "no glyphs";
        return false;
    }
    return true;
}

std::vector<std::string> fntLines(const std::vector<std::vector<Segment>>& glyphs) {
    std::vector<std::string> lines;
    lines.push_back("0");
    char buf[64];
    for (size_t g = 0; g < glyphs.size(); ++g) {
        int code = kFirstCode + static_cast<int>(g);
        if (code > 32 && code < 127)
            std::snprintf(buf, sizeof buf, "%d %c", code, code);
        else
            std::snprintf(buf, sizeof buf, "%d", code);
        lines.push_back(buf);
        lines.push_back(std::to_string(glyphs[g].size()));
        for (const Segment& sg : glyphs[g]) {
            std::snprintf(buf, sizeof buf, "%d %d %d %d", sg.x1, sg.y1, sg.x2, sg.y2);
            lines.push_back(buf);
        }
    }
    return lines;
}

std::string cppQuoted(const std::string& line) {
    std::string out = "\"";
    for (char c : line) {
        if (c == '"' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    double scale = 36.0;
    std::string cppName;
    std::vector<std::string> files;
    for (int a = 1; a < argc; ++a) {
        if (!std::strcmp(argv[a], "--scale") && a + 1 < argc) {
            scale = std::atof(argv[++a]);
        } else if (!std::strcmp(argv[a], "--cpp") && a + 1 < argc) {
            cppName = argv[++a];
        } else {
            files.push_back(argv[a]);
        }
    }
    if (files.size() != 2 || !(scale > 0.0) || scale > 1000.0) {
        std::cerr << "usage: fontconvert [--scale S] [--cpp NAME] input.jhf output\n";
        return 2;
    }
    std::ifstream in(files[0], std::ios::binary);
    if (!in) {
        std::cerr << "fontconvert: cannot open " << files[0] << "\n";
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();

    std::vector<std::vector<Segment>> glyphs;
    std::string error;
    if (!readGlyphs(text.str(), glyphs, scale, error)) {
        std::cerr << "fontconvert: " << files[0] << ": " << error << "\n";
        return 1;
    }
    std::vector<std::string> lines = fntLines(glyphs);

    std::ofstream out(files[1], std::ios::binary);
    if (!out) {
        std::cerr << "fontconvert: cannot write " << files[1] << "\n";
        return 1;
    }
    if (cppName.empty()) {
        for (const std::string& l : lines) out << l << "\n";
    } else {
        out << "// Generated by tools/fontconvert from public-domain Hershey stroke data.\n"
            << "extern const char* const " << cppName << "[];\n"
            << "extern const int " << cppName << "Count;\n"
            << "const char* const " << cppName << "[] = {\n";
        // Several short lines per source line keep the file compact.
        std::string row;
        for (const std::string& l : lines) {
            std::string q = cppQuoted(l) + ",";
            if (!row.empty() && row.size() + q.size() + 1 > 110) {
                out << "    " << row << "\n";
                row.clear();
            }
            if (!row.empty()) row += " ";
            row += q;
        }
        if (!row.empty()) out << "    " << row << "\n";
        out << "};\n"
            << "const int " << cppName << "Count = static_cast<int>(sizeof(" << cppName << ") / sizeof("
            << cppName << "[0]));\n";
    }
    out.close();
    if (!out) {
        std::cerr << "fontconvert: write failed for " << files[1] << "\n";
        return 1;
    }
    return 0;
}
