#include "EngineMesh.h"

#include <assimp/cimport.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "link/LinkStream.h"

namespace engine {

bool ReadModel(const std::string& path, Mesh& mesh, std::string& why) {
    const aiScene* scene = aiImportFile(path.c_str(), aiProcess_JoinIdenticalVertices | aiProcess_PreTransformVertices);
    if (!scene) {
        why = aiGetErrorString();
        return false;
    }
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        const aiMesh* in = scene->mMeshes[m];
        const int base = mesh.numVertices();
        for (unsigned v = 0; v < in->mNumVertices; ++v)
            mesh.xyz.insert(mesh.xyz.end(), {in->mVertices[v].x, in->mVertices[v].y, in->mVertices[v].z});
        for (unsigned f = 0; f < in->mNumFaces; ++f) {
            const aiFace& face = in->mFaces[f];
            if (face.mNumIndices == 2) {
                mesh.lines.insert(mesh.lines.end(), {base + int(face.mIndices[0]), base + int(face.mIndices[1])});
            } else if (face.mNumIndices >= 3) {
                mesh.faceEntries.push_back(int(face.mNumIndices));
                for (unsigned i = 0; i < face.mNumIndices; ++i) mesh.faceEntries.push_back(base + int(face.mIndices[i]));
                ++mesh.numFaces;
            }
        }
    }
    aiReleaseImport(scene);
    if (mesh.numVertices() == 0) {
        why = "no vertices";
        return false;
    }
    return true;
}

bool ColourBy(const std::string& mode, Mesh& mesh) {
    mesh.values.clear();
    mesh.colourMap.clear();
    if (mode == "none") return true;
    const int n = mesh.numVertices();
    float lo[3] = {FLT_MAX, FLT_MAX, FLT_MAX}, hi[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
    for (int i = 0; i < n; ++i)
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], mesh.xyz[3 * i + a]);
            hi[a] = std::max(hi[a], mesh.xyz[3 * i + a]);
        }
    for (int i = 0; i < n; ++i) {
        const float* p = &mesh.xyz[3 * i];
        if (mode == "height") {
            mesh.values.push_back(p[2]);
        } else if (mode == "distance") {
            float d = 0;
            for (int a = 0; a < 3; ++a) d += std::pow(p[a] - 0.5f * (lo[a] + hi[a]), 2.0f);
            mesh.values.push_back(std::sqrt(d));
        } else {
            return false;
        }
    }
    const auto [minIt, maxIt] = std::minmax_element(mesh.values.begin(), mesh.values.end());
    const float low = *minIt, range = *maxIt - *minIt;
    for (float& v : mesh.values) v = range > 0 ? (v - low) / range : 0.0f;
    mesh.colourMap = {0.0f, 0.0f, 0.0f, 1.0f, 0.25f, 0.0f, 1.0f, 1.0f, 0.5f, 0.0f, 1.0f, 0.0f,
                      0.75f, 1.0f, 1.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f};
    return true;
}

bool WriteGeometry(LinkStream& out, const Mesh& mesh) {
    using Tok = LinkStream::Tok;
    const int n = mesh.numVertices();
    if (!mesh.colourMap.empty()) {
        const int entries = int(mesh.colourMap.size() / 4);
        if (!out.WriteToken(Tok::COLOR_MAP) || !out.WriteIntDataBlock(&entries, 1, 1) ||
            !out.WriteIntDataBlock(mesh.colourMap.data(), 4 * entries, 0))
            return false;
    }
    if (!out.WriteToken(Tok::VERTICES) || !out.WriteIntDataBlock(&n, 1, 1) ||
        !out.WriteIntDataBlock(mesh.xyz.data(), 3 * n, 0))
        return false;
    if (!mesh.values.empty()) {
        if (!out.WriteToken(Tok::VERTEX_COLORS) || !out.WriteIntDataBlock(&n, 1, 1) ||
            !out.WriteIntDataBlock(mesh.values.data(), n, 0))
            return false;
    }
    if (!mesh.lines.empty()) {
        const int m = int(mesh.lines.size() / 2);
        if (!out.WriteToken(Tok::LINES) || !out.WriteIntDataBlock(&m, 1, 1) ||
            !out.WriteIntDataBlock(mesh.lines.data(), 2 * m, 0))
            return false;
    }
    if (mesh.numFaces > 0) {
        const int e = int(mesh.faceEntries.size());
        if (!out.WriteToken(Tok::FACES) || !out.WriteIntDataBlock(&mesh.numFaces, 1, 2) ||
            !out.WriteIntDataBlock(&e, 1, 1) || !out.WriteIntDataBlock(mesh.faceEntries.data(), e, 0))
            return false;
    }
    return true;
}

}  // namespace engine
