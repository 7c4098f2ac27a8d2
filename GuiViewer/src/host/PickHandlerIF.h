#pragma once
// The host's side of picking: the GUI layer's pick handler derives from it.
#include <QObject>

class PickHandlerIF : public QObject {
    Q_OBJECT
public:
    enum PickType { PickFaces = 0, PickObjects = 1 };
    enum PickMethod { PickSingle = 0, PickBox = 1, PickPolygon = 2, PickFloodFill = 3 };

    explicit PickHandlerIF(QObject* parent = nullptr) : QObject(parent) {}
    ~PickHandlerIF() override = default;

    // Point picking has ended.
    virtual void pickingFinished() {}
};
