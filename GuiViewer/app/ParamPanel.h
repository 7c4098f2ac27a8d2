#pragma once
// guiviewer's parameter panel: a point field that the user types or takes
// from the viewer with the "Pick" button (point picking through the
// registered pick handler).
#include <vector>

#include "GuiViewer/src/host/ParamWgt.h"

class QLineEdit;
class QPushButton;

class ParamPanel : public ParamWgt {
    Q_OBJECT
public:
    explicit ParamPanel(QWidget* parent = nullptr);

    QLineEdit* pointField() const { return field_; }
    QPushButton* pickButton() const { return pick_; }
    // The point of the field: three numbers separated by commas or blanks;
    // empty when the text is not such a point.
    std::vector<float> point() const;
    void setPoint(const std::vector<float>& xyz);
    void setPickingState(bool on) override;

signals:
    void pointChanged(float x, float y, float z);

private:
    void pickClicked();

    QLineEdit* field_;
    QPushButton* pick_;
};
