#pragma once
// The engine's side of a simple scene for the output tests: a fan of n
// triangles round the origin in the x-z plane (facing the default camera),
// coloured by values running round it through the given colour map
// (entries of value, r, g, b).
#include <cmath>
#include <vector>

#include "link/LinkStream.h"

inline void SendColouredFan(LinkStream& out, int n, const float* map, int entries) {
    using Cmd = LinkStream::Cmd;
    using Tok = LinkStream::Tok;
    std::vector<float> xyz = {0, 0, 0}, colours = {0.5f};
    for (int i = 0; i < n; ++i) {
        const double a = 6.283185307179586 * i / n;
        xyz.insert(xyz.end(), {float(std::cos(a)), 0.0f, float(std::sin(a))});
        colours.push_back(float(i) / float(n));
    }
    std::vector<int> faces;
    for (int i = 0; i < n; ++i) faces.insert(faces.end(), {3, 0, 1 + i, 1 + (i + 1) % n});
    int v = n + 1, f = n, e = int(faces.size());
    out.WriteCommand(Cmd::LOAD_GRAPHIC);
    out.WriteToken(Tok::COLOR_MAP);
    out.WriteIntDataBlock(&entries, 1, 1);
    out.WriteIntDataBlock(map, 4 * entries, 0);
    out.WriteToken(Tok::VERTICES);
    out.WriteIntDataBlock(&v, 1, 1);
    out.WriteIntDataBlock(xyz.data(), 3 * v, 0);
    out.WriteToken(Tok::VERTEX_COLORS);
    out.WriteIntDataBlock(&v, 1, 1);
    out.WriteIntDataBlock(colours.data(), v, 0);
    out.WriteToken(Tok::FACES);
    out.WriteIntDataBlock(&f, 1, 2);
    out.WriteIntDataBlock(&e, 1, 1);
    out.WriteIntDataBlock(faces.data(), e, 0);
    out.WriteToken(Tok::DONE);
}
