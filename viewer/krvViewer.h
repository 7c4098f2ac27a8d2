#pragma once
#include <QVBoxLayout>
#include <QWidget>

class vkoViewer;

// The widget box that owns a viewer engine: a QWidget with a vertical box
// layout named "TORVA KRV Viewer".  Deleting it deletes the engine first.
class krvViewer : public QWidget {
    Q_OBJECT
public:
    explicit krvViewer(QWidget* parent = nullptr);
    ~krvViewer() override;

    QVBoxLayout* boxLayout() const { return layout_; }
    vkoViewer* viewer = nullptr;  // owned

private:
    QVBoxLayout* layout_;
};
