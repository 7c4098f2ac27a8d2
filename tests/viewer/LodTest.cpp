// The level-of-detail queue of an assembled viewer in a real window: loaded
// meshes are reduced in the background one at a time, objects deleted or
// reloaded while their worker runs, and what sparse and lodAlways frames show.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <QImage>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "link/LinkStream.h"
#include "render/GLWindow.h"
#include "render/Graphics.h"
#include "scene/GraphicData.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

using Tok = LinkStream::Tok;

// The geometry items of a UV sphere of radius 1 (quads and triangle caps).
void WriteSphere(LinkStream& out, int rings, int segments) {
    const double pi = 3.141592653589793;
    std::vector<float> xyz = {0, 0, 1};
    for (int i = 1; i < rings; ++i)
        for (int j = 0; j < segments; ++j) {
            const double lat = pi * i / rings, lon = 2 * pi * j / segments;
            xyz.insert(xyz.end(), {float(std::sin(lat) * std::cos(lon)), float(std::sin(lat) * std::sin(lon)),
                                   float(std::cos(lat))});
        }
    xyz.insert(xyz.end(), {0, 0, -1});
    const int n = int(xyz.size() / 3), south = n - 1;
    auto at = [&](int ring, int seg) { return 1 + (ring - 1) * segments + (seg % segments); };
    std::vector<int> faces;
    for (int j = 0; j < segments; ++j) {
        faces.insert(faces.end(), {3, 0, at(1, j), at(1, j + 1)});
        for (int i = 1; i + 1 < rings; ++i)
            faces.insert(faces.end(), {4, at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
        faces.insert(faces.end(), {3, south, at(rings - 1, j + 1), at(rings - 1, j)});
    }
    int f = rings * segments, e = int(faces.size());
    out.WriteToken(Tok::VERTICES);
    out.WriteIntDataBlock(&n, 1, 1);
    out.WriteIntDataBlock(xyz.data(), 3 * n, 0);
    out.WriteToken(Tok::FACES);
    out.WriteIntDataBlock(&f, 1, 2);
    out.WriteIntDataBlock(&e, 1, 1);
    out.WriteIntDataBlock(faces.data(), e, 0);
    out.WriteToken(Tok::DONE);
}

struct Pixel {
    int r, g, b;
};

class LodTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::HaveDisplay()) GTEST_SKIP() << "no X display";
        viewer = CreateViewer(nullptr, false, true, "prog");
        ASSERT_NE(viewer, nullptr);
        box.reset(viewer->Widget());
        ASSERT_NE(viewer->glWindow, nullptr);
        box->resize(400, 400);
        box->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
        QTest::qWait(50);
        if (!viewer->glWindow->contextReady()) GTEST_SKIP() << "no OpenGL context";
        const float black[3] = {0, 0, 0};
        viewer->SetBackground(BG_SOLID, black, black);
        if (viewer->logoGraphic) viewer->SetLogoState(0);
    }
    void TearDown() override { viewer = nullptr; box.reset(); }

    // LOAD_GRAPHIC of a sphere into the current object, read from a file.
    void LoadSphere(int rings, int segments) {
        char path[] = "/tmp/lod_sphereXXXXXX";
        const int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        unlink(path);
        LinkStream out;
        out.writeHandle = fd;
        WriteSphere(out, rings, segments);
        lseek(fd, 0, SEEK_SET);
        viewer->link.readHandle = fd;
        viewer->LoadCurGraphic();
        viewer->link.readHandle = -1;
        close(fd);
    }
    vkoGraphicObj* NewSphere(const char* name, int rings, int segments) {
        viewer->NewGraphic(name);
        vkoGraphicObj* o = viewer->currentGraphic;
        LoadSphere(rings, segments);
        return o;
    }
    // Lets the window's timer run the queue until it is empty and idle.
    bool ServiceUntilIdle() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (viewer->lodObject != -1 || !viewer->lodQueue.empty()) {
            if (std::chrono::steady_clock::now() > end) return false;
            QTest::qWait(5);
        }
        return true;
    }

    void FrontView() {
        vkoViewport* v = viewer->currentViewport;
        v->view->reset();
        v->view->ModifyValues(0, 90, 0, 0, 0);
        v->isAxisVisibleFlag = 0;
        v->isRulerVisibleFlag = 0;
        v->isBorderVisibleFlag = 0;
        v->isCentered = 1;
        viewer->CenterView(v);
    }
    std::vector<unsigned char> Frame(int& w, int& h, bool sparse) {
        viewer->currentViewport->sparse = sparse;
        viewer->RefreshAll(false, false);
        EXPECT_TRUE(viewer->Redraw());
        return viewer->renderer->grabImage(&w, &h);
    }
    // Pixels that show the object (anything brighter than the black background).
    static std::vector<bool> Mask(const std::vector<unsigned char>& img) {
        std::vector<bool> m(img.size() / 3);
        for (size_t i = 0; i < m.size(); ++i) m[i] = img[3 * i] + img[3 * i + 1] + img[3 * i + 2] > 30;
        return m;
    }
    // Distance from the mask's centroid to its first edge along 360 rays.
    static std::vector<double> Radii(const std::vector<bool>& m, int w, int h) {
        double cx = 0, cy = 0, n = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (m[size_t(y) * w + x]) cx += x, cy += y, ++n;
        cx /= std::max(n, 1.0), cy /= std::max(n, 1.0);
        std::vector<double> radius;
        for (int a = 0; a < 360; ++a) {
            const double t = a * 3.141592653589793 / 180;
            double r = 0;
            for (double k = 0.5; k < std::min(w, h) / 2.0; k += 0.5) {
                const int x = int(std::lround(cx + k * std::cos(t))), y = int(std::lround(cy + k * std::sin(t)));
                if (x < 0 || y < 0 || x >= w || y >= h || !m[size_t(y) * w + x]) break;
                r = k;
            }
            radius.push_back(r);
        }
        return radius;
    }
    static double Spread(const std::vector<double>& r) {
        return *std::max_element(r.begin(), r.end()) - *std::min_element(r.begin(), r.end());
    }
    // Written for looking at; the checks are on the silhouettes.
    static void Save(const std::vector<unsigned char>& img, int w, int h, const std::string& path) {
        QImage(img.data(), w, h, 3 * w, QImage::Format_RGB888).save(QString::fromStdString(path));
    }

    std::unique_ptr<krvViewer> box;
    vkoViewer* viewer = nullptr;
};

TEST_F(LodTest, QueueReducesLoadedMeshesInTheBackground) {
    vkoGraphicObj* big = NewSphere("big", 30, 60);      // 1800 faces
    vkoGraphicObj* small = NewSphere("small", 5, 10);   // 50 faces: never reduced
    vkoGraphicObj* second = NewSphere("second", 20, 40);
    ASSERT_TRUE(ServiceUntilIdle());
    for (vkoGraphicObj* o : {big, second}) {
        SCOPED_TRACE(o->objectname);
        EXPECT_TRUE(o->data->reducedReady);
        EXPECT_GT(o->data->reduced.numFaces, 0);
        EXPECT_LT(o->data->reduced.numFaces, o->data->numFaces / 4);
        EXPECT_TRUE(o->listDirty[LIST_REDUCED_FACES]) << "the reduced list is built by the next frame";
    }
    EXPECT_FALSE(small->data->reducedReady);
    EXPECT_EQ(small->data->reduced.numFaces, 0);
}

TEST_F(LodTest, DeletingOrReloadingAnObjectAbortsItsWorker) {
    // Deleted part-way through its reduction: the destructor waits for the
    // worker, and the queue goes on with the next object.
    NewSphere("doomed", 60, 120);
    vkoGraphicObj* next = NewSphere("next", 20, 40);
    viewer->SelectGraphic("doomed");
    vkoGraphicObj* doomed = viewer->currentGraphic;
    const int doomedId = doomed->objectid;
    viewer->ServiceLodQueue();
    ASSERT_EQ(viewer->lodObject, doomedId);
    ASSERT_TRUE(doomed->data->isReducing());
    viewer->DeleteCurGraphic();
    EXPECT_EQ(viewer->FindGraphicById(doomedId), nullptr);
    ASSERT_TRUE(ServiceUntilIdle());
    EXPECT_TRUE(next->data->reducedReady);

    // A new LOAD_GRAPHIC of the same name while its worker runs: the old
    // data goes after its worker stopped; the small new mesh is not reduced.
    vkoGraphicObj* again = NewSphere("again", 60, 120);
    viewer->ServiceLodQueue();
    ASSERT_EQ(viewer->lodObject, again->objectid);
    ASSERT_TRUE(again->data->isReducing());
    LoadSphere(5, 10);
    ASSERT_TRUE(ServiceUntilIdle());
    EXPECT_EQ(again->data->numFaces, 50);
    EXPECT_FALSE(again->data->reducedReady);
    EXPECT_EQ(again->data->reduced.numFaces, 0);

    // And reloaded with a large mesh, the new data is reduced in its turn.
    LoadSphere(24, 48);
    ASSERT_TRUE(ServiceUntilIdle());
    EXPECT_TRUE(again->data->reducedReady);
    EXPECT_GT(again->data->reduced.numFaces, 0);
}

TEST_F(LodTest, LodAlwaysAndSparseFramesDrawTheCoarserSphere) {
    viewer->lodError = 1.0f;  // down to the minimum of 100 triangles
    vkoGraphicObj* sphere = NewSphere("sphere", 40, 80);
    sphere->setSolidColour(1.0f, 0.8f, 0.2f);
    sphere->lighting = true;
    sphere->lines = false;
    ASSERT_TRUE(ServiceUntilIdle());
    ASSERT_TRUE(sphere->data->reducedReady);
    FrontView();

    int w = 0, h = 0;
    const auto full = Frame(w, h, false);
    ASSERT_FALSE(full.empty());
    sphere->lodAlways = true;
    const auto reduced = Frame(w, h, false);
    sphere->lodAlways = false;
    const std::string dir = testsupport::ScratchDir("lod_pictures");
    Save(full, w, h, dir + "/full.png");
    Save(reduced, w, h, dir + "/lodAlways.png");

    // The full silhouette is a round disc; the reduced one is an inscribed
    // polygon: it loses a visible rim of pixels and its edge is not round,
    // but it is a solid shape of nearly the same size.
    const std::vector<bool> fullMask = Mask(full), reducedMask = Mask(reduced);
    long fullArea = 0, reducedArea = 0, differing = 0;
    for (size_t i = 0; i < fullMask.size(); ++i) {
        fullArea += fullMask[i];
        reducedArea += reducedMask[i];
        differing += fullMask[i] != reducedMask[i];
    }
    const std::vector<double> fullRadius = Radii(fullMask, w, h), reducedRadius = Radii(reducedMask, w, h);
    ASSERT_GT(fullArea, long(w) * h / 10) << "the full sphere fills the view";
    EXPECT_LE(Spread(fullRadius), 2.0) << "the full silhouette is round";
    EXPECT_GE(Spread(reducedRadius), 2 * Spread(fullRadius) + 2.0) << "the reduced silhouette is polygonal";
    EXPECT_GT(differing, fullArea / 100) << "the reduced sphere is visibly coarser";
    EXPECT_GT(reducedArea, fullArea * 8 / 10) << "the reduced sphere is not empty or broken";
    const double smallest = *std::min_element(reducedRadius.begin(), reducedRadius.end());
    EXPECT_GT(smallest, 0.8 * *std::max_element(fullRadius.begin(), fullRadius.end()));

    // A sparse frame draws the reduced faces too; the frame after the motion
    // ends shows the full mesh again from its existing list.
    const auto moving = Frame(w, h, true);
    EXPECT_EQ(Mask(moving), reducedMask);
    ASSERT_FALSE(sphere->listDirty[LIST_FACES]);
    const auto after = Frame(w, h, false);
    EXPECT_FALSE(sphere->listDirty[LIST_FACES]);
    EXPECT_EQ(after, full);
}

}  // namespace
