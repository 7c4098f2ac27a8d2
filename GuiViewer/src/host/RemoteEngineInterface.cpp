#include "GuiViewer/src/host/RemoteEngineInterface.h"

namespace {
RemoteEngineInterface* g_remote = nullptr;
}

RemoteEngineInterface::RemoteEngineInterface() { g_remote = this; }

RemoteEngineInterface::~RemoteEngineInterface() {
    if (g_remote == this) g_remote = nullptr;
}

RemoteEngineInterface* RemoteEngineInterface::derivedInstance() { return g_remote; }
