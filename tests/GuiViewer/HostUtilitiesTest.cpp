// The host services' path, string and list utilities, and shared ownership.
#include <gtest/gtest.h>

#include "GuiViewer/src/host/PDLPath.h"
#include "GuiViewer/src/host/QStringSetUtils.h"
#include "GuiViewer/src/host/QStringUtils.h"
#include "GuiViewer/src/host/RefCount.h"

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
