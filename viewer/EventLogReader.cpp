#include "viewer/EventLogReader.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// The next blank-separated word as an int within [low, high].
bool readInt(const char*& p, long low, long high, int& out) {
    while (isBlank(*p)) ++p;
    if (!*p) return false;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(p, &end, 10);
    if (end == p || errno == ERANGE || (*end && !isBlank(*end)) || value < low || value > high) return false;
    out = static_cast<int>(value);
    p = end;
    return true;
}

bool readFloat(const char*& p, float limit, float& out) {
    while (isBlank(*p)) ++p;
    if (!*p) return false;
    char* end = nullptr;
    const double value = std::strtod(p, &end);
    if (end == p || (*end && !isBlank(*end)) || !std::isfinite(value) || std::fabs(value) > limit) return false;
    out = static_cast<float>(value);
    p = end;
    return true;
}

}  // namespace

bool EventLogReader::ParseLine(const std::string& line, EventRecord& out) {
    if (line.size() > kMaxLine || line.find('\0') != std::string::npos) return false;
    const char* p = line.c_str();
    EventRecord r;
    const bool ok = readInt(p, EventRecord::Press, EventRecord::Key, r.event) &&
                    readInt(p, 0, kMaxWindowSide, r.width) && readInt(p, 0, kMaxWindowSide, r.height) &&
                    readInt(p, -kMaxCoordinate, kMaxCoordinate, r.x) &&
                    readInt(p, -kMaxCoordinate, kMaxCoordinate, r.y) && readInt(p, INT_MIN, INT_MAX, r.modifiers) &&
                    readInt(p, INT_MIN, INT_MAX, r.key) && readInt(p, INT_MIN, INT_MAX, r.button) &&
                    readFloat(p, kMaxWheel, r.wheel);
    if (!ok) return false;
    r.modifiers &= 0x700;
    r.button &= 7;
    out = r;
    return true;
}

std::string EventLogReader::FormatLine(const EventRecord& e) {
    char line[160];
    std::snprintf(line, sizeof line, "%d %d %d %d %d %d %d %d %g\n", e.event, e.width, e.height, e.x, e.y, e.modifiers,
                  e.key, e.button, e.wheel);
    return line;
}

int EventLogReader::Scale(int value, int current, int recorded) {
    if (recorded <= 0 || current <= 0) return value;
    const long long scaled = static_cast<long long>(value) * current / recorded;
    const long long limit = 16LL * kMaxCoordinate;  // far outside any window, well inside an int
    return static_cast<int>(scaled < -limit ? -limit : scaled > limit ? limit : scaled);
}

bool EventLogReader::next(EventRecord& out) {
    if (!file_) return false;
    for (;;) {
        std::string line;
        bool tooLong = false, any = false;
        int c;
        while ((c = std::fgetc(file_)) != EOF) {
            any = true;
            if (c == '\n') break;
            if (line.size() > kMaxLine)
                tooLong = true;  // the rest of the line is read and dropped
            else
                line += static_cast<char>(c);
        }
        if (!any) return false;
        if (!tooLong && ParseLine(line, out)) return true;
        // Blank lines are no damage.
        if (line.find_first_not_of(" \t\r") != std::string::npos) ++skipped_;
        if (c == EOF) return false;
    }
}
