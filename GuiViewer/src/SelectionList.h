#pragma once
// The list inside a selection popup: one column of object names.  It
// remembers whether Ctrl was held for the press that changed the selection,
// so that its owner can report either the whole choice or only the change.
#include <QTreeWidget>

class QKeyEvent;
class QMouseEvent;

class SelectionList : public QTreeWidget {
    Q_OBJECT
public:
    SelectionList(QWidget* parent, const char* name);

    // While on, selection changes are not reported (the list is being filled).
    void setupMode(bool on) { setup = on; }
    bool ctrlWasHeld() const { return ctrlHeld; }

signals:
    void itemPressed(bool ctrlHeld);

protected:
    // Only the left button reaches the list; every press records Ctrl.
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void itemPressed();

private:
    bool ctrlHeld = false;
    bool setup = false;
};
