#pragma once
// A host widget that edits an object parameter and can take its value from
// a pick in the viewer.
#include <QWidget>

class ParamWgt : public QWidget {
    Q_OBJECT
public:
    explicit ParamWgt(QWidget* parent = nullptr) : QWidget(parent) {}
    // Starts (true) or ends (false) the widget's picking state.
    virtual void setPickingState(bool on) { picking_ = on; }
    bool isPicking() const { return picking_; }

private:
    bool picking_ = false;
};
