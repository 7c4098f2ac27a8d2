#include "GuiViewer/src/host/EngineInterface.h"

namespace {
EngineInterface* g_engine = nullptr;
}

EngineInterface::EngineInterface() { g_engine = this; }

EngineInterface::~EngineInterface() {
    if (g_engine == this) g_engine = nullptr;
}

EngineInterface* EngineInterface::instance() { return g_engine; }
