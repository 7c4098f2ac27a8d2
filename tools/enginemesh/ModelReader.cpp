// Model files through assimp (kept apart so that the link writer needs no
// assimp).
#include <assimp/cimport.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include "tools/enginemesh/EngineMesh.h"

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

}  // namespace engine
