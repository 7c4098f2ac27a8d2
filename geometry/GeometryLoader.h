#pragma once
// Reading and writing of an object's geometry items (VERTICES ... OBJECT,
// TEXTS, LABEL, IMAGE, TEXTURE, EXTRUDE, COLOR_MAP, OVERLAY).  The entry
// points are GraphicData::LoadData, GraphicData::SaveData and
// GraphicData::LoadImage, defined in GeometryLoader.cpp; this class holds the
// steps they share with tests and other users.
#include <cstdint>
#include <vector>

#include "scene/GraphicData.h"

class GeometryLoader {
public:
    // Expanded glyph meshes larger than this (vertices) stay glyph
    // instances drawn from their template instead.
    static constexpr int64_t kMaxExpandedVertices = int64_t(1) << 24;
    // Radius of the backdrop sphere and distance of the fixed backdrop.
    static constexpr float kBackdropRadius = 75000.0f;

    // The caller's single-list flag, overridden by VIEWER_ONEDL when set.
    static bool SingleListSetting(bool callerFlag);

    // Keeps evenly spaced rows and columns so that both sides become the
    // largest power of two not above them.  RGBA pixels.
    static void ReduceToPowerOfTwo(int& width, int& height, std::vector<unsigned char>& pixels);
    // Outermost rows and columns white with alpha 0 (planar textures do not
    // bleed their edge colour over the rest of the object).
    static void ClearBorder(int width, int height, std::vector<unsigned char>& pixels);

    // Replace the plain mesh (vertices, colours, lines, faces) by a backdrop:
    // the sphere of the rotating backdrop, or the quad of the fixed one.
    static void MakeBackdropSphere(GraphicData& data);
    static void MakeBackdropQuad(GraphicData& data, int imageWidth, int imageHeight);

    // Moves the glyph instances into the plain mesh (see the OBJECT item);
    // false when there is nothing to expand or the result would be too big.
    static bool ExpandInstances(GraphicData& data);

    // After the token loop: validation of indices and colour arrays,
    // backdrop mesh, bounds, normals, adjacency and colour normalisation.
    static void FinishData(GraphicData& data, bool singleList);
};
