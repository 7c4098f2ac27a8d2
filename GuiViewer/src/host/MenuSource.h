#pragma once
// Context-menu contents supplied by the host: a menu source fills a menu
// through a builder with actions that run on a selection of objects.
#include <QIcon>
#include <QString>
#include <string>
#include <vector>

#include "GuiViewer/src/host/PDLPath.h"
#include "GuiViewer/src/host/RefCount.h"

class QWidget;

namespace qor {

class PathContextAction : public rcount_base {
public:
    virtual bool isEnabled(const std::vector<PDLPath>& selection) const { return !selection.empty(); }
    virtual void run(const std::vector<PDLPath>& selection, QWidget* parent) = 0;
};

class ToggleablePathContextAction : public PathContextAction {
public:
    virtual bool isChecked(const std::vector<PDLPath>& selection) const = 0;
};

// What a menu source fills; the viewer's popup implements it.
class MenuBuilder {
public:
    virtual ~MenuBuilder() = default;
    virtual void addItem(const std::u16string& text, const QIcon& icon, const std::u16string& secondText,
                         const refcnt_ptr<PathContextAction>& action) = 0;
    virtual void addSubMenu(const QString& contextName, const QString& name, const QIcon& icon,
                            const std::vector<PDLPath>& selection) = 0;
    virtual void addSeparator() = 0;
    virtual bool itemCheckState(const std::u16string& text) = 0;
    virtual void setItemCheckState(const std::u16string& text, bool on) = 0;
};

class MenuSource {
public:
    virtual ~MenuSource() = default;
    virtual void fill(MenuBuilder& builder, const QString& contextName, const std::vector<PDLPath>& selection,
                      const std::vector<PDLPath>& extraContext) = 0;
};

}  // namespace qor
