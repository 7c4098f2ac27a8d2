#pragma once
// Template shapes of glyph instances (the OBJECT item) and the sphere and
// arrow generators that the axis triad shares.  Every generator fills
// vertexCoords, lineSegs and faceEntries of a MeshRecord with their counts;
// normals and adjacency are left to the caller.
#include <string>

#include "scene/GraphicData.h"

class GlyphShapes {
public:
    // Resolutions above this are treated as this one: a generated shape is
    // bounded no matter what a stream asks for.
    static constexpr int kMaxResolution = 256;

    // Sphere of radius 0.5 about the origin, poles on the y axis.
    static void Sphere(int resolution, MeshRecord& out);
    // Arrow along +z from 0 to 1: head radius, head length, shaft radius as a
    // fraction of the head radius.
    static void Arrow(int resolution, float headRadius, float headLength, float shaftRatio, MeshRecord& out);

    // Template of glyph type `type` with the corrected parameters a and b.
    // storedType receives the type to keep (49 for the axis cross that
    // stands in for unknown types).  False for type 52 (no template).
    static bool Template(int type, float a, float b, int resolution, MeshRecord& out, int& storedType);

    // Template from a text file (vertices, lines, faces).  Returns false and
    // leaves out empty when the file cannot be opened; sets failed (and
    // leaves out empty) when a line does not match or an index is outside
    // the vertices.
    static bool ReadTemplateFile(const std::string& path, MeshRecord& out, bool& failed);

    // Frame of one instance: w the normalised direction, v the up vector made
    // perpendicular to it, t = v x w.  With a zero direction the identity
    // frame (t, v, w = x, y, z).  A template vertex (x, y, z) goes to
    // s (x t + y v + z w) + position.
    static void InstanceFrame(const float direction[3], const float up[3], float t[3], float v[3], float w[3]);
};
