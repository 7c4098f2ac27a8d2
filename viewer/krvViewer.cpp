#include "viewer/krvViewer.h"

#include "viewer/vkoViewer.h"

krvViewer::krvViewer(QWidget* parent) : QWidget(parent), layout_(new QVBoxLayout(this)) {
    setObjectName("TORVA KRV Viewer");
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
}

krvViewer::~krvViewer() {
    // The engine goes first: it still talks to its GL window child.
    delete viewer;
    viewer = nullptr;
}
