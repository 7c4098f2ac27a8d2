#include "GuiViewer/src/HighlightManager.h"

#include <QObject>

#include "GuiViewer/src/HighlightWgt.h"
#include "GuiViewer/src/ViewerWindow.h"

HighlightManager* HighlightManager::instance() {
    static HighlightManager* manager = new HighlightManager;
    return manager;
}

void HighlightManager::setViewer(ViewerWindow* v) { viewer = v; }

void HighlightManager::show(const std::set<QString>& selection) {
    shown = selection;
    if (viewer) static_cast<ViewerWindow*>(viewer.data())->updateBBoxSelection(selection);
}

void HighlightManager::addContainer(QObject* container) {
    if (!container || containers.count(container)) return;
    containers[container];
    QObject::connect(container, &QObject::destroyed, [this, container] { containerDestroyed(container); });
}

void HighlightManager::containerDestroyed(QObject* container) {
    auto it = containers.find(container);
    if (it == containers.end()) return;
    for (HighlightWgt* w : it->second) widgetContainers.erase(w);
    containers.erase(it);
    if (currentContainer == container) currentContainer = nullptr;
}

QObject* HighlightManager::findContainer(QObject* object) {
    for (QObject* o = object; o; o = o->parent())
        if (containers.count(o)) return o;
    return nullptr;
}

std::set<QString> HighlightManager::getContainerSelection(QObject* container) {
    std::set<QString> all;
    auto it = containers.find(container);
    if (it == containers.end()) return all;
    for (HighlightWgt* w : it->second) {
        const std::set<QString> s = w->getSelection();
        all.insert(s.begin(), s.end());
    }
    return all;
}

void HighlightManager::addWidget(HighlightWgt* widget, QObject*& container) {
    container = findContainer(dynamic_cast<QObject*>(widget));
    if (!container) return;
    widgetContainers[widget] = container;
    containers[container].insert(widget);
}

void HighlightManager::setCurContainer(QObject* container) {
    currentContainer = container;
    // While a participant is dominant only its selection is shown; its
    // release shows the container current by then.
    if (dominant) return;
    auto it = containers.find(container);
    if (it != containers.end() && !it->second.empty()) show(getContainerSelection(container));
}

void HighlightManager::buttonPressed(QObject* object) {
    QObject* c = findContainer(object);
    if (c && c != currentContainer) setCurContainer(c);
}

void HighlightManager::notifySelectionChange(HighlightWgt* widget) {
    if (!widget) return;
    if (dominant) {
        processDominantWgtSelectionChange(widget);
        return;
    }
    QObject* c = nullptr;
    auto it = widgetContainers.find(widget);
    if (it != widgetContainers.end())
        c = it->second;
    else
        addWidget(widget, c);
    if (c && c == currentContainer) show(getContainerSelection(c));
}

void HighlightManager::processDominantWgtSelectionChange(HighlightWgt* widget) {
    if (widget == dominant) show(widget->getSelection());
}

void HighlightManager::setAsDominantWgt(HighlightWgt* widget, bool on) {
    if (!widget) return;
    if (on) {
        if (dominant) return;
        dominant = widget;
        show(widget->getSelection());
    } else if (widget == dominant) {
        dominant = nullptr;
        if (currentContainer) show(getContainerSelection(currentContainer));
    }
}

void HighlightManager::removeWgt(HighlightWgt* widget) {
    auto it = widgetContainers.find(widget);
    if (it != widgetContainers.end()) {
        auto c = containers.find(it->second);
        if (c != containers.end()) c->second.erase(widget);
        widgetContainers.erase(it);
    }
    // A dominant participant outside every container is known too.
    if (widget && widget == dominant) {
        dominant = nullptr;
        if (currentContainer) show(getContainerSelection(currentContainer));
    }
}

void HighlightManager::setHighlightSelection(const std::set<QString>& selection) { show(selection); }
