#include "GuiViewer/app/HostPickHandler.h"

#include <QLabel>
#include <QMetaObject>
#include <QStatusBar>

#include <map>

#include "GuiViewer/app/ParamPanel.h"
#include "GuiViewer/src/host/QStringUtils.h"
#include "GuiViewer/src/host/TreeView.h"

namespace {

QString PointText(const std::vector<float>& p) {
    if (p.size() != 3 || p == PickHandler::noPoint()) return QString();
    return QString(" at (%1, %2, %3)").arg(p[0], 0, 'g', 4).arg(p[1], 0, 'g', 4).arg(p[2], 0, 'g', 4);
}

QString Describe(const PickData& d) {
    if (d.path.isEmpty()) return d.viewerName;
    return QString("%1 %2 (domain %3)").arg(d.type.toLower(), d.name, d.domain);
}

}  // namespace

HostPickHandler::HostPickHandler(ViewerWindow* window, QStatusBar* statusBar, TreeView* tree)
    : PickHandler(window), statusBar_(statusBar), tree_(tree) {
    if (statusBar_) {
        info_ = new QLabel(statusBar_);
        info_->setObjectName("Pick Info");
        statusBar_->addPermanentWidget(info_, 1);
    }
}

HostPickHandler::~HostPickHandler() = default;

void HostPickHandler::show(const QString& text) {
    if (info_) info_->setText(text);
}

bool HostPickHandler::fillPanel(ParamWgt* widget, const std::vector<float>& position) {
    auto* panel = qobject_cast<ParamPanel*>(widget);
    if (!panel) return false;
    if (position.size() == 3 && position != noPoint()) {
        panel->setPoint(position);
        show("Point" + PointText(position));
        // Once the pick that reports is over: going back to viewing rebinds
        // the mouse, which is better not done inside the mouse's own event.
        QMetaObject::invokeMethod(this, [this] { revertPickMode(); }, Qt::QueuedConnection);
    }
    return true;
}

void HostPickHandler::objectsSelected(const std::list<PickData>& objects, ParamWgt* widget,
                                      const std::vector<float>& position, bool next, bool area) {
    if (fillPanel(widget, position)) return;
    QStringList paths;
    for (const PickData& d : objects)
        if (!d.path.isEmpty()) paths << d.path;
    if (!area) emit objectsUnderPointer(paths);

    // A single pick selects the nearest object, an area pick all of them;
    // a pick with "next" adds to the selection.
    QStringList chosen = area ? paths : paths.mid(0, 1);
    if (tree_) {
        if (next)
            for (const qor::PDLPath& p : tree_->selection())
                if (!chosen.contains(p.getFullPath())) chosen.prepend(p.getFullPath());
        tree_->select(chosen);
    }
    QString text;
    if (area) {
        text = QString("Picked %1 object(s)").arg(objects.size());
        if (!objects.empty()) text += ": " + Describe(objects.front()) + (objects.size() > 1 ? ", ..." : "");
    } else {
        text = "Picked " + Describe(objects.front()) + PointText(position);
        if (objects.size() > 1) text += QString(", %1 more under the pointer").arg(objects.size() - 1);
    }
    show(text);
}

void HostPickHandler::facesSelected(const std::vector<PickRecord>& faces, ParamWgt* widget,
                                    const std::vector<float>& position, bool, bool) {
    if (fillPanel(widget, position)) return;
    std::map<QString, QStringList> byObject;
    for (const PickRecord& r : faces) {
        const QString name = getPickRecordName(r);
        const QString path = getPathFromViewerName(name);
        byObject[path.isEmpty() ? name : QStringUtils::getNameFromPath(path)] << QString::number(r.element);
    }
    if (byObject.empty()) {
        show("No faces picked");
        return;
    }
    QStringList parts;
    for (auto& [object, list] : byObject) {
        const int n = int(list.size());
        if (list.size() > 8) list = list.mid(0, 8) << "...";
        parts << QString("%1 of %2 (%3)").arg(n).arg(object, list.join(' '));
    }
    show("Picked faces: " + parts.join("; ") + PointText(position));
}

void HostPickHandler::blankSelected(ParamWgt* widget) {
    if (widget) return;  // point picking goes on until a point is picked
    if (tree_) tree_->select({});
    show("Nothing picked");
}

void HostPickHandler::objectCreate(const std::list<PickData>& objects, const std::vector<float>& position) {
    show("Create on " + Describe(objects.front()) + PointText(position));
}

void HostPickHandler::objectMoved(const PickData& object, const float t[3]) {
    show(QString("Moved %1 to (%2, %3, %4)").arg(Describe(object)).arg(t[0], 0, 'g', 4).arg(t[1], 0, 'g', 4).arg(t[2], 0, 'g', 4));
}
