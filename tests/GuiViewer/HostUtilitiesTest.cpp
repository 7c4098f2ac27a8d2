// The host services' path, string and list utilities, shared ownership and
// the icon directory.
#include <gtest/gtest.h>

#include <QPixmap>

#include "GuiViewer/src/host/ConfigStoreBase.h"
#include "GuiViewer/src/host/PDLPath.h"
#include "GuiViewer/src/host/QStringSetUtils.h"
#include "GuiViewer/src/host/QStringUtils.h"
#include "GuiViewer/src/host/RefCount.h"
#include "TestSupport.h"

namespace {

TEST(HostUtilities, PathParts) {
    struct Case {
        const char* path;
        const char* name;
        const char* type;
        const char* parent;
        const char* last;
    };
    const Case cases[] = {
        {"/VIEW:View 1", "View 1", "VIEW", "", "VIEW:View 1"},
        {"/DOMAIN:rotor/BOUNDARY:blade:tip", "blade:tip", "BOUNDARY", "/DOMAIN:rotor", "BOUNDARY:blade:tip"},
        {"/VIEWPORT MANAGER", "", "VIEWPORT MANAGER", "", "VIEWPORT MANAGER"},
        {"/VIEW:v/CAMERA", "", "CAMERA", "/VIEW:v", "CAMERA"},
        {"", "", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(QStringUtils::getNameFromPath(c.path), c.name);
        EXPECT_EQ(QStringUtils::getTypeFromPath(c.path), c.type);
        QString parent, last;
        QStringUtils::splitRelativePathName(c.path, parent, last);
        EXPECT_EQ(parent, c.parent);
        EXPECT_EQ(last, c.last);
        const qor::PDLPath p(c.path);
        EXPECT_EQ(p.getFullPath(), QString(c.path));
        EXPECT_EQ(p.getLastName(), c.name);
        EXPECT_EQ(p.getLastType(), c.type);
    }
}

TEST(HostUtilities, ListsAndFlags) {
    EXPECT_TRUE(QStringUtils::isInList("/DOMAIN:a, /DOMAIN:b,/DOMAIN:c", "/DOMAIN:b", true));
    EXPECT_TRUE(QStringUtils::isInList("/DOMAIN:a, /DOMAIN:b", "/domain:B", false));
    EXPECT_FALSE(QStringUtils::isInList("/DOMAIN:a, /DOMAIN:b", "/domain:B", true));
    EXPECT_FALSE(QStringUtils::isInList("/DOMAIN:ab", "/DOMAIN:a", true));  // whole entries only
    EXPECT_FALSE(QStringUtils::isInList("", "x", true));
    for (const char* t : {"True", "true", "YES", "on", "1"}) EXPECT_TRUE(QStringUtils::isTrue(t)) << t;
    for (const char* t : {"False", "0", "", "truth"}) EXPECT_FALSE(QStringUtils::isTrue(t)) << t;
    EXPECT_EQ(QStringUtils::stringFromBool(true), "True");
    EXPECT_EQ(QStringUtils::stringFromBool(false), "False");

    const std::set<QString> s = QStringSetUtils::qStringToQStringSet(" b, a,,b ,c", ',');
    EXPECT_EQ(s, (std::set<QString>{"a", "b", "c"}));
    EXPECT_EQ(QStringSetUtils::qStringSetToQString(s, ','), "a, b, c");
    EXPECT_TRUE(QStringSetUtils::qStringToQStringSet("", ',').empty());
}

TEST(HostUtilities, ObjectBlocks) {
    EXPECT_EQ(QStringUtils::constructObjPDL("/VIEWPORT MANAGER", "Viewport Layout = No Split\n"),
              "VIEWPORT MANAGER:\n  Viewport Layout = No Split\nEND\n");
    EXPECT_EQ(QStringUtils::constructObjPDL("/VIEW:View 2/CAMERA", "Scale = 2\n  Pan = 0, 0"),
              "VIEW:View 2\n  CAMERA:\n    Scale = 2\n    Pan = 0, 0\n  END\nEND\n");
}

struct Counted : qor::rcount_base {
    explicit Counted(int* alive) : alive(alive) { ++*alive; }
    ~Counted() override { --*alive; }
    int* alive;
};

TEST(HostUtilities, SharedOwnership) {
    int alive = 0;
    qor::refcnt_ptr<Counted> a(new Counted(&alive));
    qor::refcnt_ptr<Counted> b = a;
    qor::refcnt_ptr<Counted> c = std::move(b);
    EXPECT_FALSE(b);
    EXPECT_EQ(a->refCount(), 2);
    EXPECT_FALSE(a.release());
    EXPECT_EQ(alive, 1);
    EXPECT_TRUE(c.release());
    EXPECT_EQ(alive, 0);
    EXPECT_FALSE(c.release());  // nothing left to release
}

}  // namespace

namespace {

// Code that loads icons by file name finds every icon the store draws in
// the icon directory, as an image of the drawn size.
TEST(HostIcons, IconDirectoryHoldsEveryIcon) {
    const std::string dir = testsupport::ScratchDir("host_icons");
    qputenv("QOR_ICON_DIR", QByteArray::fromStdString(dir));
    ConfigStoreBase* store = ConfigStoreBase::baseInstance();
    const QString path = store->getIconPath();
    EXPECT_TRUE(path.endsWith('/'));
    const QStringList names = ConfigStoreBase::knownIcons();
    for (const char* n : {"maximizeviewD.xpm", "layout8.xpm", "vh_select.xpm", "yxz.xpm", "t_minus.xpm", "edit.xpm"})
        EXPECT_TRUE(names.contains(n)) << n;
    for (const QString& name : names) {
        QPixmap loaded(path + name);
        ASSERT_FALSE(loaded.isNull()) << name.toStdString();
        EXPECT_EQ(loaded.size(), store->getPixmap(name).size()) << name.toStdString();
        EXPECT_NE(loaded.toImage(), store->getPixmap("no such icon.xpm").toImage()) << name.toStdString();
    }
    EXPECT_FALSE(store->getPixmap("no such icon.xpm").isNull());
    EXPECT_EQ(store->getIconForType("VIEWPORT MANAGER", false), "viewport_manager.xpm");
}

}  // namespace
