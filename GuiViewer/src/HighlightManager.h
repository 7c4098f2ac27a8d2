#pragma once
// Decides whose selection the viewer highlights.  Participating widgets are
// grouped by container (a panel, a dock, a tab); the selection of the
// current container is shown, unless one participant has claimed the
// viewer as dominant, in which case only its selection is shown.  One per
// process.
#include <QPointer>
#include <QString>
#include <map>
#include <set>

class HighlightWgt;
class QObject;
class ViewerWindow;

class HighlightManager {
public:
    static HighlightManager* instance();

    // The window that shows the selections (none: nothing is shown).
    void setViewer(ViewerWindow* viewer);
    // Registers a container.  A container that is destroyed is forgotten
    // together with its participants' membership.
    void addContainer(QObject* container);
    void setCurContainer(QObject* container);
    // A click in object: makes the registered container around it current.
    void buttonPressed(QObject* object);
    void notifySelectionChange(HighlightWgt* widget);
    void setAsDominantWgt(HighlightWgt* widget, bool on);
    void removeWgt(HighlightWgt* widget);
    void setHighlightSelection(const std::set<QString>& selection);

    QObject* curContainer() const { return currentContainer; }
    HighlightWgt* dominantWgt() const { return dominant; }
    // The set last given to the viewer (kept also while there is none).
    const std::set<QString>& shownSelection() const { return shown; }

private:
    HighlightManager() = default;
    ~HighlightManager() = delete;  // lives for the whole process

    void addWidget(HighlightWgt* widget, QObject*& container);
    QObject* findContainer(QObject* object);
    std::set<QString> getContainerSelection(QObject* container);
    void processDominantWgtSelectionChange(HighlightWgt* widget);
    void show(const std::set<QString>& selection);
    void containerDestroyed(QObject* container);

    std::map<QObject*, std::set<HighlightWgt*>> containers;
    std::map<HighlightWgt*, QObject*> widgetContainers;
    QObject* currentContainer = nullptr;
    HighlightWgt* dominant = nullptr;
    QPointer<QObject> viewer;  // a ViewerWindow; cleared when it goes
    std::set<QString> shown;
};
