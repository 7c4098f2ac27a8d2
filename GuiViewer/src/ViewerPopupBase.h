#pragma once
// The viewer's right-click menus: an object menu for a right click on an
// object, a background menu for a click on nothing or on a caption.  Their
// items come from a host menu source or, without one, from the built-in
// "Edit" and "Hide" items and the hooks of derived classes.  Items are
// addressed by menu paths (lists of texts); sub-menus are made on demand.
#include <QIcon>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <map>
#include <string>
#include <vector>

#include "GuiViewer/src/PickHandler.h"
#include "GuiViewer/src/host/MenuSource.h"
#include "GuiViewer/src/host/PDLPath.h"
#include "GuiViewer/src/host/RefCount.h"

class QAction;
class QMenu;

class ViewerPopupBase : public QWidget {
    Q_OBJECT
public:
    explicit ViewerPopupBase(ViewerWindow* window);
    ~ViewerPopupBase() override;

    // The popup that right clicks go to (the newest), or none.
    static ViewerPopupBase* registeredPopup();
    static void setPopupActive(bool on);
    static bool isPopupActive();

    void setMenuSource(qor::MenuSource* source);
    // Builds the object menu for the engine object id (0 or less: the
    // background menu) and shows it at the cursor.
    void setRightClickedObject(const float* point, int objectId);
    // For menu sources.
    void addPopupItem(const std::u16string& text, const QIcon& icon, const std::u16string& secondText,
                      const qor::refcnt_ptr<qor::PathContextAction>& action, const QStringList& menuPath,
                      const std::vector<qor::PDLPath>& selection, const std::vector<qor::PDLPath>& extraContext);
    bool addSeparator(const QStringList& menuPath);
    void disablePopupItem(const QString& text, bool disable, const QStringList& menuPath);
    void setPopupItemChecked(const QString& text, bool on, const QStringList& menuPath);
    bool isPopupItemChecked(const QString& text, const QStringList& menuPath);
    void maybeCreateMenu(const QStringList& menuPath, const QIcon& icon);

    // ---- inspection (tests and hosts)
    // The menu of a key ("TopLevel", "A", "A:B"), or none.
    QMenu* menuForKey(const QString& key) const;
    QMenu* topLevelMenu() const { return menuForKey("TopLevel"); }
    // The action of an item key, or none.
    QAction* actionForKey(const QString& itemKey) const;
    const PickData& rightClickedObject() const { return rightClicked; }
    const std::vector<float>& rightClickedPoint() const { return rightClickPoint; }

    static QString menuKey(const QStringList& menuPath);
    static QString itemKey(const QStringList& menuPath, const QString& text);

public slots:
    void hideObject();
    void runAction(int id);
    void objectVisibilityChanged(const QString& path, bool visible);
    void showBackgroundViewerMenu();

signals:
    void editObject(const QString& path);

protected slots:
    virtual void editObject();
    // Target of the disable signals given to the derived-class addPopupItem:
    // enables or disables every item of that text added with a signal.
    void disablePopupItem(const QString& text, bool disable);

protected:
    // For derived classes: slot and disableSignal are SLOT()/SIGNAL() texts
    // on this object or none; a parameter of 0 or more is passed to the slot
    // (which then takes an int).
    void addPopupItem(const char* text, const char* slot, const char* disableSignal, const QStringList& menuPath,
                      const QString& iconFile, bool checkable, int parameter);
    bool addMenuLabel(const QString& text, const QStringList& menuPath, const QIcon& icon);
    bool toggleBooleanParam(const QString& objectPath, const QString& parameter);
    void editThisObject(const QString& path);
    ViewerWindow* getViewerWindow() const { return window; }

    virtual void addAdditionalMenuItems(const PickData& object, const std::vector<float>& point);
    virtual void addAdditionalBackgroundMenuItems();
    virtual void hidingObject(const QString& path);
    virtual QString getMenuLabel(const PickData& object);
    virtual std::vector<qor::PDLPath> getObjectsForMenu(const PickData& object);
    virtual std::vector<qor::PDLPath> getExtraContextForMenu(const PickData& object);
    virtual QString getEditableObjectPath(const QString& path);

private:
    struct ActionInfo {
        qor::refcnt_ptr<qor::PathContextAction> p_action;
        std::vector<qor::PDLPath> p_selection;
        std::vector<qor::PDLPath> p_extraContext;
    };
    class Builder;

    QMenu* obtainPopupMenu(const QString& key, const QIcon& icon);
    QAction* insertItem(QMenu* menu, const QIcon& icon, const QString& text);
    void clearMenus();
    void addBackgroundItems();
    void addObjectItems();
    void showTopLevelMenu();
    static void rightClickCallback(int objectId, const float* point, const int position[2]);

    QPointer<ViewerWindow> window;
    std::map<QString, int> m_popupItems;
    std::map<QString, QPointer<QMenu>> popupMenus;
    PickData rightClicked;
    std::vector<float> rightClickPoint;
    std::map<int, ActionInfo> m_idActionMap;
    qor::MenuSource* m_menuSource = nullptr;

    // Menu item ids stand for the actions of the menus.
    std::map<int, QPointer<QAction>> itemActions;
    int nextItemId = 1;
    // Items added with a disable signal: text to item keys and menu paths.
    std::multimap<QString, QStringList> signalledItems;
};
