#pragma once
// guiviewer's context-menu contents for the viewer: on an object Hide,
// Centre on and Properties; on the background Show all and a Show sub-menu
// with each hidden object of the current view.
#include "GuiViewer/src/host/MenuSource.h"

class HostMenuSource : public qor::MenuSource {
public:
    void fill(qor::MenuBuilder& builder, const QString& contextName, const std::vector<qor::PDLPath>& selection,
              const std::vector<qor::PDLPath>& extraContext) override;

    // The domains of the engine process as paths, sorted by name.
    static std::vector<qor::PDLPath> sceneObjects();
};
