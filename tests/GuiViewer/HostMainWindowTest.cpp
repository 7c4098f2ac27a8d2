// guiviewer's main window end to end: what the user does on the viewer
// window's captions, layout selector and menus goes through the engine
// process and the link to the viewer, and "File" prints and saves pictures
// through the viewer's own output operation.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSpinBox>
#include <QCheckBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "GuiTestSupport.h"
#include "HostMainWindowFixture.h"
#include "GuiViewer/app/HostMainWindow.h"
#include "GuiViewer/app/ParamPanel.h"
#include "GuiViewer/app/SaveImageDialog.h"
#include "GuiViewer/src/ViewerQtWidget.h"
#include "GuiViewer/src/ViewerWindow.h"
#include "GuiViewer/src/ViewportCaption.h"
#include "GuiViewer/src/ViewportSplitter.h"
#include "GuiViewer/src/host/TreeView.h"
#include "output/OutputSettings.h"
#include "platform/MessageSink.h"

namespace {

using guitest::Await;

class HostMainWindowTest : public guitest::HostMainWindowFixture {
protected:
    ViewportCaption* caption(int n) { return host->viewerWindow()->getViewerWidget()->getSplitter()->caption(n); }
    bool Shown(int n) { return caption(n)->isVisibleTo(host.get()); }
    QComboBox* LayoutSelector() {
        for (QComboBox* c : host->viewerWindow()->findChildren<QComboBox*>())
            if (c->count() == 8) return c;
        return nullptr;
    }
    static QStringList Texts(QMenu* menu) {
        QStringList texts;
        for (QAction* a : menu->actions()) texts << (a->isSeparator() ? "-" : a->text());
        return texts;
    }
    std::string Scratch(const char* name) {
        if (scratch.empty()) scratch = testsupport::ScratchDir("host_main_window");
        return scratch + "/" + name;
    }

    std::string scratch;
};

TEST_F(HostMainWindowTest, TheWorkspaceShowsTheViewerWindowWithTreeAndDocks) {
    ViewerWindow* window = host->viewerWindow();
    ASSERT_NE(window->workspaceFrame(), nullptr);
    EXPECT_TRUE(window->isVisibleTo(host.get()));
    EXPECT_EQ(window->workspaceTitle(), "Viewer Window");
    EXPECT_EQ(AppWindowBase::baseInstance(), host.get());
    EXPECT_TRUE(host->treeView()->model()->paths().contains("/DOMAIN:tet"));
    EXPECT_GT(host->treeView()->treeWidget()->topLevelItemCount(), 0);

    // The parameter dock shows guiviewer's parameter panel; another panel
    // can take its place.
    EXPECT_NE(qobject_cast<ParamPanel*>(host->parameterDock()->widget()), nullptr);
    auto* panel = new QLabel("point");
    host->setParameterPanel(panel, "Point");
    EXPECT_TRUE(host->parameterDock()->isVisibleTo(host.get()));
    EXPECT_EQ(host->parameterDock()->widget(), panel);
    EXPECT_EQ(host->parameterDock()->windowTitle(), "Point");
}

TEST_F(HostMainWindowTest, MenuBarHoldsFileAndTheViewerMenu) {
    const QList<QAction*> menus = host->menuBar()->actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), "&File");
    EXPECT_EQ(menus[1]->text(), "&Viewer");
    EXPECT_EQ(Texts(host->fileMenu()), (QStringList{"&Print...", "Save &Image...", "-", "&Quit"}));
    // The viewer window's own menu: its actions, not copies of them.
    const QStringList viewerItems = Texts(host->viewerMenu());
    EXPECT_TRUE(viewerItems.contains("&Select")) << viewerItems.join('|').toStdString();
    EXPECT_TRUE(viewerItems.contains("&Rotate"));
    EXPECT_TRUE(viewerItems.contains("V&iews"));
    for (QAction* a : host->viewerMenu()->actions())
        if (a->text() == "&Rotate") {
            EXPECT_EQ(a->parent(), host->viewerWindow());
        }
}

TEST_F(HostMainWindowTest, LayoutsAndMaximizingThroughTheCaptions) {
    QComboBox* layouts = LayoutSelector();
    ASSERT_NE(layouts, nullptr);
    layouts->setCurrentIndex(7);
    emit layouts->activated(7);
    ASSERT_TRUE(Sync());
    EXPECT_EQ(viewer->viewportLayout, 8);
    for (int n = 1; n <= 4; ++n) EXPECT_TRUE(Shown(n)) << n;

    const QPoint free(caption(3)->width() / 2, 10);
    QTest::mouseDClick(caption(3), Qt::LeftButton, {}, free);
    ASSERT_TRUE(Sync());
    EXPECT_TRUE(viewer->viewportMaximized);
    EXPECT_EQ(viewer->ViewportNumber(nullptr), 3);
    EXPECT_EQ(engine->getParameter("/VIEWPORT MANAGER", "Maximized Viewport"), "3");
    EXPECT_TRUE(caption(3)->isMaximized());
    EXPECT_TRUE(caption(3)->isActive());
    EXPECT_TRUE(Shown(3));
    EXPECT_FALSE(Shown(1));

    // The restore button of the maximized caption brings the layout back.
    QTest::mouseClick(caption(3)->findChild<QToolButton*>("Maximize/Restore Button"), Qt::LeftButton);
    ASSERT_TRUE(Sync());
    EXPECT_FALSE(viewer->viewportMaximized);
    EXPECT_EQ(viewer->ViewportNumber(nullptr), 3);
    for (int n = 1; n <= 4; ++n) EXPECT_TRUE(Shown(n)) << n;
    EXPECT_TRUE(caption(3)->isActive());

    // The program's options take the same way.
    host->chooseLayout(1);
    host->chooseMaximized(2);
    ASSERT_TRUE(Sync());
    EXPECT_EQ(viewer->viewportLayout, 3);
    EXPECT_TRUE(viewer->viewportMaximized);
    EXPECT_EQ(viewer->ViewportNumber(nullptr), 2);
    EXPECT_EQ(layouts->currentIndex(), 1);
}

TEST_F(HostMainWindowTest, SavedPicturesOfEveryType) {
    struct Case {
        const char* file;
        int type;
        bool fromScreen, antialias;
        int width, height;  // expected raster size, 0: the viewer window's
        const char* head;   // the file's first bytes for the others
    };
    const Case cases[] = {
        {"off.png", OUTPUT_PNG, false, true, 320, 240, nullptr},
        {"screen.png", OUTPUT_PNG, true, false, 0, 0, nullptr},
        {"off.jpg", OUTPUT_JPG, false, false, 200, 150, nullptr},
        {"off.bmp", OUTPUT_BMP, false, true, 64, 48, nullptr},
        {"screen.bmp", OUTPUT_BMP, true, true, 0, 0, nullptr},
        {"off.ppm", OUTPUT_PPM, false, false, 90, 30, nullptr},
        {"page.ps", OUTPUT_PS, false, false, -1, -1, "%!PS-Adobe"},
        {"page.eps", OUTPUT_EPS, true, false, -1, -1, "%!PS-Adobe-2.0 EPSF"},
        {"world.wrl", OUTPUT_VRML, false, false, -1, -1, "#VRML V2.0 utf8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const QString path = QString::fromStdString(Scratch(c.file));
        QFile::remove(path);
        ImageOutputRequest r;
        r.fileName = path;
        r.type = c.type;
        r.fromScreen = c.fromScreen;
        r.antialias = c.antialias;
        r.width = c.width;
        r.height = c.height;
        ASSERT_TRUE(SaveImageDialog::writeImage(*viewer, r));
        if (c.head) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            EXPECT_TRUE(f.readAll().startsWith(c.head));
            continue;
        }
        QImage image(path);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.width(), c.width ? c.width : viewer->windowWidth);
        EXPECT_EQ(image.height(), c.height ? c.height : viewer->windowHeight);
        if (!c.fromScreen) {
            EXPECT_EQ(viewer->output.outputAntialias, c.antialias);
        }
    }
    // A name whose extension is another type's takes the chosen type's.
    ImageOutputRequest r;
    r.fileName = QString::fromStdString(Scratch("renamed.jpeg"));
    r.type = OUTPUT_PNG;
    r.width = 40;
    r.height = 40;
    QFile::remove(QString::fromStdString(Scratch("renamed.png")));
    ASSERT_TRUE(SaveImageDialog::writeImage(*viewer, r));
    EXPECT_EQ(QImage(QString::fromStdString(Scratch("renamed.png"))).width(), 40);
    // Nowhere to write: false, nothing claimed.
    r.fileName = "/nonexistent-dir/x.png";
    EXPECT_FALSE(SaveImageDialog::writeImage(*viewer, r));
}

TEST_F(HostMainWindowTest, SaveImageDialogFollowsTheChosenType) {
    SaveImageDialog dialog(viewer, host.get());
    auto* file = dialog.findChild<QLineEdit*>("file");
    auto* type = dialog.findChild<QComboBox*>("type");
    auto* source = dialog.findChild<QComboBox*>("source");
    auto* width = dialog.findChild<QSpinBox*>("width");
    auto* antialias = dialog.findChild<QCheckBox*>("antialias");
    auto* quality = dialog.findChild<QSpinBox*>("quality");
    ASSERT_TRUE(file && type && source && width && antialias && quality);
    // It starts from the viewer's settings: the window's size.
    EXPECT_EQ(width->value(), viewer->windowWidth);

    file->selectAll();
    QTest::keyClicks(file, "picture.jpg");
    EXPECT_EQ(dialog.request().type, OUTPUT_JPG);
    EXPECT_TRUE(quality->isEnabled());
    type->setCurrentIndex(SaveImageDialog::offeredTypes().indexOf(OUTPUT_BMP));
    emit type->activated(type->currentIndex());
    EXPECT_EQ(file->text(), "picture.bmp");
    EXPECT_FALSE(quality->isEnabled());
    EXPECT_TRUE(width->isEnabled() && antialias->isEnabled());
    source->setCurrentIndex(1);  // from the screen: the window's size, as shown
    EXPECT_FALSE(width->isEnabled() || antialias->isEnabled());
    type->setCurrentIndex(SaveImageDialog::offeredTypes().indexOf(OUTPUT_VRML));
    emit type->activated(type->currentIndex());
    EXPECT_EQ(file->text(), "picture.wrl");
    EXPECT_FALSE(source->isEnabled());
}

TEST_F(HostMainWindowTest, SaveImageMenuWritesTheFileChosen) {
    const QString path = QString::fromStdString(Scratch("menu.png"));
    QFile::remove(path);
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<SaveImageDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        ImageOutputRequest r = dialog->request();
        r.fileName = path;
        r.type = OUTPUT_PNG;
        r.fromScreen = false;
        r.width = 123;
        r.height = 45;
        dialog->setRequest(r);
        dialog->accept();
    });
    host->saveImageAction()->trigger();
    EXPECT_EQ(QImage(path).size(), QSize(123, 45));
    EXPECT_TRUE(host->statusBar()->currentMessage().contains("menu.png"));
}

TEST_F(HostMainWindowTest, PrintGoesThroughTheViewersPrintPath) {
    // With a PDF file named the print path needs no dialog.
    const std::string pdf = Scratch("print.pdf");
    QFile::remove(QString::fromStdString(pdf));
    viewer->output.printFileName = pdf;
    host->printAction()->trigger();
    QFile f(QString::fromStdString(pdf));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.read(5).startsWith("%PDF"));
    EXPECT_EQ(host->statusBar()->currentMessage(), "Printed");

    // Without one the user chooses in the print dialog; cancelled, nothing
    // is printed and nothing claims otherwise.
    viewer->output.printFileName.clear();
    bool sawDialog = false;
    QTimer::singleShot(200, [&] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            sawDialog = true;
            QMetaObject::invokeMethod(w, "reject");
        }
    });
    host->printAction()->trigger();
    EXPECT_TRUE(sawDialog);
    EXPECT_EQ(host->statusBar()->currentMessage(), "Nothing printed");
}

}  // namespace
