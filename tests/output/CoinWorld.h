#pragma once
// Reads a VRML world with Coin, as a user's VRML tools would, and reports
// what it found.
#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/SoPath.h>
#include <Inventor/VRMLnodes/SoVRMLGroup.h>
#include <Inventor/VRMLnodes/SoVRMLIndexedFaceSet.h>
#include <Inventor/VRMLnodes/SoVRMLIndexedLineSet.h>
#include <Inventor/VRMLnodes/SoVRMLShape.h>
#include <Inventor/VRMLnodes/SoVRMLSphere.h>
#include <Inventor/VRMLnodes/SoVRMLSwitch.h>
#include <Inventor/VRMLnodes/SoVRMLText.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/errors/SoDebugError.h>
#include <Inventor/errors/SoReadError.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace vrmltest {

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// What Coin finds in a world: every distinct node of the kinds we write,
// whether a switch shows it or not.
struct CoinWorld {
    bool read = false;
    std::string errors;
    int shapes = 0;
    int spheres = 0;
    int texts = 0;
    int switches = 0;
    std::vector<int> faceIndexCounts;  // coordIndex entries per distinct face set
    std::vector<int> lineIndexCounts;
};

inline void collectError(const SoError* error, void* data) {
    // Reading is checked here, not running the scripts.
    if (std::string(error->getDebugString().getString()).find("No script language evaluation engine") !=
        std::string::npos)
        return;
    *static_cast<std::string*>(data) += error->getDebugString().getString();
    *static_cast<std::string*>(data) += "\n";
}

template <typename Node>
std::vector<Node*> distinctNodes(SoNode* root) {
    SoSearchAction search;
    search.setType(Node::getClassTypeId());
    search.setInterest(SoSearchAction::ALL);
    search.setSearchingAll(TRUE);
    search.apply(root);
    std::set<Node*> seen;
    std::vector<Node*> out;
    const SoPathList& paths = search.getPaths();
    for (int i = 0; i < paths.getLength(); ++i) {
        Node* n = static_cast<Node*>(paths[i]->getTail());
        if (seen.insert(n).second) out.push_back(n);
    }
    return out;
}

inline CoinWorld readWithCoin(const std::string& path) {
    SoDB::init();
    CoinWorld w;
    SoReadError::setHandlerCallback(collectError, &w.errors);
    SoDebugError::setHandlerCallback(collectError, &w.errors);
    SoInput in;
    if (!in.openFile(path.c_str())) {
        w.errors += "cannot open " + path;
        return w;
    }
    SoVRMLGroup* root = SoDB::readAllVRML(&in);
    if (!root) return w;
    root->ref();
    w.read = true;
    const std::vector<SoVRMLShape*> shapes = distinctNodes<SoVRMLShape>(root);
    w.shapes = int(shapes.size());
    w.switches = int(distinctNodes<SoVRMLSwitch>(root).size());
    // Geometry is a field of its shape, not a child: look at each once.
    std::set<SoNode*> geometries;
    for (SoVRMLShape* shape : shapes) {
        SoNode* g = shape->geometry.getValue();
        if (!g || !geometries.insert(g).second) continue;
        if (g->isOfType(SoVRMLIndexedFaceSet::getClassTypeId()))
            w.faceIndexCounts.push_back(static_cast<SoVRMLIndexedFaceSet*>(g)->coordIndex.getNum());
        else if (g->isOfType(SoVRMLIndexedLineSet::getClassTypeId()))
            w.lineIndexCounts.push_back(static_cast<SoVRMLIndexedLineSet*>(g)->coordIndex.getNum());
        else if (g->isOfType(SoVRMLSphere::getClassTypeId()))
            ++w.spheres;
        else if (g->isOfType(SoVRMLText::getClassTypeId()))
            ++w.texts;
    }
    root->unref();
    return w;
}

}  // namespace vrmltest
