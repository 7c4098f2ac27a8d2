#pragma once
// Commands to the engine process: command-language text that it executes
// and then carries out on the viewer over the link.
#include "GuiViewer/src/host/EngineInterface.h"

class RemoteEngineInterface : public EngineInterface {
public:
    ~RemoteEngineInterface() override;
    static RemoteEngineInterface* derivedInstance();

    // True while the engine process is busy (sending to the viewer).
    virtual bool isActive() const = 0;
    // Executes object blocks and ">" action lines; false when a line could
    // not be executed (the lines before it stay executed).
    virtual bool sendCommand(const QString& text) = 0;
    virtual bool sendViewerAction(const QString& text) = 0;
    // An object block for the object at path.
    virtual bool sendObjectDefinition(const QString& objectPath, const QString& text) = 0;
    // Like getParameter, also looking in the object's parents when the
    // object itself has no such parameter.
    virtual QString lookupParameter(const QString& objectPath, const QString& name) = 0;
    virtual bool hasParameter(const QString& objectPath, const QString& name) = 0;

protected:
    RemoteEngineInterface();
};
