#pragma once
// A mesh as the engine sends it: vertices, optional per-vertex colour values
// with a colour map, polygons and line segments.
#include <string>
#include <vector>

class LinkStream;

namespace engine {

struct Mesh {
    std::string name;
    std::vector<float> xyz;        // 3 per vertex
    std::vector<float> values;     // colour value per vertex, or empty
    std::vector<float> colourMap;  // value, red, green, blue per entry
    std::vector<int> faceEntries;  // per face: k, then k vertex indices
    int numFaces = 0;
    std::vector<int> lines;        // vertex index pairs

    int numVertices() const { return int(xyz.size() / 3); }
};

// Reads every mesh of a model file (OBJ, STL, PLY, 3DS, ... through assimp)
// into one mesh; false with a reason on failure.  In kv_modelreader.
bool ReadModel(const std::string& path, Mesh& mesh, std::string& why);

// Colour values per vertex: "height" (z), "distance" (from the centre of the
// bounds), normalised to 0..1 under a blue-to-red colour map; "none" clears.
bool ColourBy(const std::string& mode, Mesh& mesh);

// The geometry tokens of the mesh (COLOR_MAP, VERTICES, VERTEX_COLORS,
// LINES, FACES) on out's write side, without LOAD_GRAPHIC and DONE.
bool WriteGeometry(LinkStream& out, const Mesh& mesh);

}  // namespace engine
