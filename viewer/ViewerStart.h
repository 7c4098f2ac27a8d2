#pragma once
// Pieces of CreateViewer, separated so tests can reach them.
#include <string>
#include <vector>

class vkoViewer;

namespace viewerstart {

struct Arguments {
    int port = -1;
    bool loadMode = false;
    bool dump = false;
    bool replay = false;
    bool noWindow = false;
    std::string fileName;  // the viewer state / scene file
};

// Splits at white space; a double quote toggles a quoted section and is
// removed.  tooLong is set when a word exceeds 1023 characters.
std::vector<std::string> SplitArguments(const char* args, bool& tooLong);
// False when a word asks for the usage text.
bool ParseArguments(const std::vector<std::string>& words, Arguments& out);
// Offset just after the appended-scene marker in the file, or -1.
long long FindAppendedScene(const char* programPath);
std::string AppendedSceneMarkerForTools();

void SetHeadlessOutputSize(vkoViewer& viewer, int width, int height);
bool LoadAppendedScene(vkoViewer& viewer, const std::string& programPath, long long offset);
bool LoadStartFile(vkoViewer& viewer, const Arguments& arguments);
bool ConnectRemote(vkoViewer& viewer, int port);

}  // namespace viewerstart
