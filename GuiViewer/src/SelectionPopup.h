#pragma once
// A small framed list that lets the user choose one or several objects from
// a list of object paths (for example the objects under the pointer).  It
// reports the whole choice, or with Ctrl held only the rows that changed.
#include <QFrame>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <set>

#include "GuiViewer/src/SelectionList.h"

class QShowEvent;

class SelectionPopup : public QFrame {
    Q_OBJECT
public:
    SelectionPopup(QWidget* parent, const char* name);

    // Shows the entries of all (by object name, in this order) with those in
    // selected selected.  An empty all keeps the rows shown before.
    void setList(const QStringList& all, const QStringList& selected);
    void allowMultiSelect(bool on);
    // The names of the selected rows in list order, joined with ", ".
    QString getValue() const;
    SelectionList* selectionList() const { return list; }

signals:
    void selectionChanged(const QString& selection, bool p_isMultiSelect);

protected:
    // Sits in the bottom left corner of its parent.
    void showEvent(QShowEvent* event) override;

private slots:
    void itemPressed(bool multi);

private:
    QString changedItems();

    QPointer<SelectionList> list;
    // The selection the user last saw reported, by shown name (the rows show
    // names, so the change is computed on names on both sides).
    std::set<QString> initialSelection;
};
