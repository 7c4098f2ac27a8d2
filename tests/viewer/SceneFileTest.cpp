// Scene files: write and read back with every kind of item, compression
// headers, what is written, damaged files, graphic data files, the start
// files of a stand-alone viewer, the dump and URL sources.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "link/LinkStream.h"
#include "platform/MessageSink.h"
#include "platform/UrlDownload.h"
#include "scene/GraphicData.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/ViewerStart.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

struct Viewer {
    std::unique_ptr<krvViewer> box;
    vkoViewer* v = nullptr;
    explicit Viewer(const std::string& args = "prog -n") {
        v = CreateViewer(nullptr, true, true, args.c_str());
        if (v) box.reset(v->Widget());
    }
    vkoViewer* operator->() const { return v; }
};

struct InDirectory {
    std::string old;
    explicit InDirectory(const std::string& dir) {
        char buffer[4096];
        old = getcwd(buffer, sizeof buffer) ? buffer : ".";
        EXPECT_EQ(chdir(dir.c_str()), 0);
    }
    ~InDirectory() { (void)chdir(old.c_str()); }
};

struct EnvSetting {
    std::string name;
    explicit EnvSetting(const char* n, const char* value) : name(n) {
        if (value)
            setenv(n, value, 1);
        else
            unsetenv(n);
    }
    ~EnvSetting() { unsetenv(name.c_str()); }
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Spit(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::vector<std::string> FirstLines(const std::string& text, size_t n) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (lines.size() < n && std::getline(in, line)) lines.push_back(line);
    return lines;
}

// Graphic data files with every kind of item: mesh with colours, label,
// 2D lines and texts, image and texture, generated shapes, extrusion, backdrop.
const char* const kItemFiles[] = {"mesh",        "label",   "texts_overlay", "texture_image",
                                  "object_cube", "extrude", "fixed_backdrop"};

std::vector<std::string> LoadItemFiles(vkoViewer* v, const std::string& dir) {
    std::vector<std::string> names;
    for (const char* item : kItemFiles) {
        const std::string path = dir + "/" + item + ".dat";
        std::filesystem::copy_file(testsupport::SourcePath(std::string("fuzz/corpus/loader/") + item), path,
                                   std::filesystem::copy_options::overwrite_existing);
        EXPECT_TRUE(ViewerLoadDataFile(v, path.c_str(), -1, 0)) << item;
        names.push_back(path);
    }
    return names;
}

// The object's geometry as the writer puts it on a stream.
std::string DataBytes(const vkoGraphicObj* object) {
    if (!object || !object->data) return std::string();
    const int fd = memfd_create("data", 0);
    LinkStream out;
    out.writeHandle = fd;
    out.compressBufferSize = 0;
    EXPECT_TRUE(object->data->SaveData(out));
    const off_t size = lseek(fd, 0, SEEK_END);
    std::string bytes(size_t(size), '\0');
    EXPECT_EQ(pread(fd, bytes.data(), bytes.size(), 0), size);
    close(fd);
    return bytes;
}

std::string SectionText(vkoViewer* viewer, const std::string& path) {
    EXPECT_TRUE(viewer->WriteState(2, path.c_str()));
    return Slurp(path);
}

bool ReadSceneFile(vkoViewer* viewer, const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    const bool ok = viewer->ReadScene(fd);
    close(fd);
    return ok;
}

int UserObjects(vkoViewer* v) {
    int n = 0;
    for (const auto& entry : v->objectsById)
        if (entry.second->objectname.empty() || entry.second->objectname[0] != '\t') ++n;
    return n;
}

TEST(SceneFile, EveryItemKindRoundTripsCompressedOrNot) {
    const std::string dir = testsupport::ScratchDir("scene_roundtrip");
    Viewer a;
    ASSERT_TRUE(a.v);
    const std::vector<std::string> names = LoadItemFiles(a.v, dir);
    vkoGraphicObj* mesh = a->FindGraphic(names[0].c_str());
    ASSERT_NE(mesh, nullptr);
    mesh->setProperty(10, 4.0f);  // lineWidth
    mesh->setPlacementTranslation(std::vector<float>{1, 2, 3}.data());
    a->viewports[2]->view->ModifyValues(1, 0.25f, 0.5f, 0, 0);
    a->ApplyLayout(2);

    struct Case {
        const char* k;
        std::vector<std::string> head;
    };
    const Case cases[] = {
        {nullptr, {"-1", "11.0", "1024", "DONE", "7"}},
        {"0", {"7", names[0]}},
        {"16", {"-1", "11.0", "16", "DONE", "7"}},
    };
    for (const Case& c : cases) {
        EnvSetting k("COMPRESSBUFFERSIZE", c.k);
        const std::string path = dir + "/scene.kvf";
        ASSERT_TRUE(a->WriteScene(path.c_str())) << (c.k ? c.k : "default");
        EXPECT_EQ(FirstLines(Slurp(path), c.head.size()), c.head);

        Viewer b;
        ASSERT_TRUE(b.v);
        EXPECT_TRUE(ReadSceneFile(b.v, path));
        EXPECT_EQ(UserObjects(b.v), int(names.size()));
        for (const std::string& name : names) {
            vkoGraphicObj* from = a->FindGraphic(name.c_str());
            vkoGraphicObj* to = b->FindGraphic(name.c_str());
            ASSERT_NE(to, nullptr) << name;
            EXPECT_EQ(to->saveText(true), from->saveText(true)) << name;
            EXPECT_EQ(DataBytes(to), DataBytes(from)) << name;
        }
        EXPECT_EQ(SectionText(b.v, dir + "/b.state"), SectionText(a.v, dir + "/a.state"));
        // The link got its own settings back.
        EXPECT_EQ(b->link.readHandle, -1);
        EXPECT_EQ(a->link.writeHandle, -1);
    }
}

TEST(SceneFile, OnlyShownObjectsUnlessDebugOutput) {
    const std::string dir = testsupport::ScratchDir("scene_debug");
    Viewer a;
    ASSERT_TRUE(a.v);
    a->NewGraphic("shown");
    a->NewGraphic("unlisted");
    a->RemoveGraphicFromViewports("unlisted");
    a->NewGraphic("hidden");
    a->FindGraphic("hidden")->setProperty(0, 0.0f);
    struct Case {
        const char* file;
        const char* env;
        const char* count;
    };
    const Case cases[] = {
        {"plain.kvf", nullptr, "1"},
        {"my-DeBuG-scene.kvf", nullptr, "3"},
        {"plain.kvf", "1", "3"},
    };
    for (const Case& c : cases) {
        EnvSetting debug("VIEWER_DEBUG", c.env);
        const std::string path = dir + "/" + c.file;
        ASSERT_TRUE(a->WriteScene(path.c_str()));
        const std::string text = Slurp(path);
        EXPECT_EQ(FirstLines(text, 5)[4], c.count) << c.file;
        EXPECT_EQ(text.find("FRAMERATE"), std::string::npos);
        EXPECT_EQ(text.find("WATERMARK"), std::string::npos);
    }
}

TEST(SceneFile, LogoObjectsAreDroppedAndInternalNamesIgnored) {
    const std::string dir = testsupport::ScratchDir("scene_logo");
    Viewer a;
    ASSERT_TRUE(a.v);
    for (const char* name : {"krv LOGO", "Torva VARNHOLT logo", "keep"}) a->NewGraphic(name);
    const std::string path = dir + "/logo.kvf";
    ASSERT_TRUE(a->WriteScene(path.c_str()));
    Viewer b;
    ASSERT_TRUE(b.v);
    EXPECT_TRUE(ReadSceneFile(b.v, path));
    EXPECT_EQ(b->FindGraphic("krv LOGO"), nullptr);
    EXPECT_EQ(b->FindGraphic("Torva VARNHOLT logo"), nullptr);
    EXPECT_NE(b->FindGraphic("keep"), nullptr);

    // A hand-made file: an entry for the viewer's own frame-rate object
    // leaves it alone, and a key written without the blank before "="
    // loses its last character (and so is not recognised).
    const std::string made = dir + "/made.kvf";
    {
        Spit(made, "2\n\tFRAMERATE\n");
        const int fd = open(made.c_str(), O_WRONLY | O_APPEND);
        LinkStream out;
        out.writeHandle = fd;
        auto text = [&](const char* t) { ASSERT_EQ(write(fd, t, strlen(t)), ssize_t(strlen(t))); };
        ASSERT_TRUE(out.WriteToken(LinkStream::Tok::DONE));
        text("++ OBJECT\n\tvisibility = On\n-- OBJECT\nfree\n");
        ASSERT_TRUE(out.WriteToken(LinkStream::Tok::DONE));
        text("++ OBJECT\n\tlineWidth= 3\n\tpointSize = 7\r\n-- OBJECT\n");
        close(fd);
    }
    Viewer c;
    ASSERT_TRUE(c.v);
    EXPECT_FALSE(ReadSceneFile(c.v, made));  // no viewer section
    vkoGraphicObj* free = c->FindGraphic("free");
    ASSERT_NE(free, nullptr);
    EXPECT_EQ(free->lineWidth, 1);
    EXPECT_FLOAT_EQ(free->pointSize, 7.0f);
    EXPECT_FALSE(c->frameRateGraphic->visibility);
}

TEST(SceneFile, DamagedFilesLoadWhatTheyCan) {
    const std::string dir = testsupport::ScratchDir("scene_damaged");
    Viewer a;
    ASSERT_TRUE(a.v);
    const std::vector<std::string> names = LoadItemFiles(a.v, dir);
    const std::string path = dir + "/full.kvf";
    ASSERT_TRUE(a->WriteScene(path.c_str()));
    const std::string full = Slurp(path);

    std::vector<std::string> damaged;
    for (size_t cut = 0; cut < full.size(); cut += full.size() / 23 + 1) damaged.push_back(full.substr(0, cut));
    for (size_t at = 5; at < full.size(); at += full.size() / 17 + 1) {
        std::string changed = full;
        changed[at] = char(changed[at] ^ 0x5A);
        changed[at / 2] = '\n';
        damaged.push_back(changed);
    }
    std::string lying = full;
    lying.replace(lying.find("\n7\n"), 3, "\n2000000000\n");
    damaged.push_back(lying);
    damaged.push_back(full.substr(0, full.find("DONE")) + "DONE\n-5\n");

    platform::MessageRecorder quiet;
    Viewer b;
    ASSERT_TRUE(b.v);
    for (size_t i = 0; i < damaged.size(); ++i) {
        Spit(dir + "/bad.kvf", damaged[i]);
        ReadSceneFile(b.v, dir + "/bad.kvf");
        EXPECT_EQ(b->link.readHandle, -1) << i;
        EXPECT_EQ(b->link.compressBufferSize, a->link.compressBufferSize) << i;
    }
    // Whatever came before, a whole file still loads.
    EXPECT_TRUE(ReadSceneFile(b.v, path));
    for (const std::string& name : names) EXPECT_NE(b->FindGraphic(name.c_str()), nullptr) << name;
}

TEST(DataFile, DetectedByItsKeyAndShownEverywhere) {
    const std::string dir = testsupport::ScratchDir("scene_datafile");
    Viewer a;
    ASSERT_TRUE(a.v);
    const std::string path = dir + "/part.dat";
    std::filesystem::copy_file(testsupport::SourcePath("fuzz/corpus/loader/mesh"), path);
    a->SetCurrentViewportByNumber(2);
    // A live link's read side survives a data file load.
    a->link.readHandle = 1234;
    a->link.readIsSocket = true;
    EXPECT_TRUE(ViewerLoadDataFile(a.v, path.c_str(), -1, 0));
    EXPECT_EQ(a->link.readHandle, 1234);
    EXPECT_TRUE(a->link.readIsSocket);
    a->link.readHandle = -1;
    a->link.readIsSocket = false;
    vkoGraphicObj* object = a->FindGraphic(path.c_str());
    ASSERT_NE(object, nullptr);
    EXPECT_TRUE(object->dataLoaded);
    for (vkoViewport* vp : a->viewports) EXPECT_TRUE(vp->hasObject(object));
    EXPECT_EQ(a->currentViewport, a->viewports[1]);

    Spit(dir + "/short", "vkoToken");
    EXPECT_FALSE(ViewerLoadDataFile(a.v, (dir + "/short").c_str(), -1, 0));
    EXPECT_FALSE(ViewerLoadDataFile(a.v, (dir + "/missing").c_str(), -1, 0));
    EXPECT_FALSE(ViewerLoadDataFile(a.v, (dir + "/missing").c_str(), 1, 0));
    EXPECT_EQ(a->FindGraphic((dir + "/missing").c_str()), nullptr);
}

int g_exitStatus = -1;
void RecordExit(int status) { g_exitStatus = status; }

TEST(StartFiles, DumpWritesTheTextNextToTheSceneAndEnds) {
    const std::string dir = testsupport::ScratchDir("scene_dump");
    const std::string path = dir + "/my scene.kvf";
    {
        Viewer a;
        ASSERT_TRUE(a.v);
        a->NewGraphic("dumped object");
        ASSERT_TRUE(a->WriteScene(path.c_str()));
    }
    vkoViewer::ExitHook previous = vkoViewer::SetExitHook(&RecordExit);
    g_exitStatus = -1;
    Viewer d("prog -d \"" + path + "\"");
    vkoViewer::SetExitHook(previous);
    ASSERT_TRUE(d.v);
    EXPECT_EQ(g_exitStatus, 0);
    const std::string dump = Slurp(path + ".txt");
    EXPECT_EQ(dump.rfind(" Viewer:\n    Number of Graphic Objects: 1\n", 0), 0u) << dump;
    EXPECT_NE(dump.find("objectname: dumped object"), std::string::npos);
}

TEST(StartFiles, ChoiceOfWhatToLoad) {
    const std::string dir = testsupport::ScratchDir("scene_start");
    InDirectory in(dir);
    {
        platform::MessageRecorder recorder;
        Viewer none("prog -n -t");
        EXPECT_EQ(none.v, nullptr);
        EXPECT_TRUE(recorder.contains("Error opening file 'test1.dat'.\n"));
    }
    std::filesystem::copy_file(testsupport::SourcePath("fuzz/corpus/loader/mesh"), "test1.dat");
    std::filesystem::copy_file(testsupport::SourcePath("fuzz/corpus/loader/label"), "test2.dat");
    {
        Viewer two("prog -n -t");
        ASSERT_TRUE(two.v);
        EXPECT_EQ(UserObjects(two.v), 2);
        for (const char* name : {"test1.dat", "test2.dat"}) {
            vkoGraphicObj* object = two->FindGraphic(name);
            ASSERT_NE(object, nullptr) << name;
            for (vkoViewport* vp : two->viewports) EXPECT_TRUE(vp->hasObject(object)) << name;
        }
        two->NewGraphic("from viewer.kvf");
        for (vkoViewport* vp : two->viewports) {
            vp->removeObject("test1.dat");
            vp->removeObject("test2.dat");
        }
        ASSERT_TRUE(two->WriteScene("viewer.kvf"));
        ASSERT_TRUE(two->WriteScene("named.kvf"));
    }
    {
        Viewer kvf("prog -n -t");  // "viewer.kvf" comes before the test files
        ASSERT_TRUE(kvf.v);
        EXPECT_EQ(UserObjects(kvf.v), 1);
        EXPECT_NE(kvf->FindGraphic("from viewer.kvf"), nullptr);
    }
    {
        Viewer named("prog -n named.kvf");
        ASSERT_TRUE(named.v);
        EXPECT_NE(named->FindGraphic("from viewer.kvf"), nullptr);
    }
    {
        Viewer replay("prog -n -e");  // no event files
        EXPECT_EQ(replay.v, nullptr);
    }
    std::filesystem::copy_file("named.kvf", "viewerEvent.dmp");
    Spit("viewerEvent.key", "");
    Viewer replay("prog -n -e");
    ASSERT_TRUE(replay.v);
    EXPECT_NE(replay->FindGraphic("from viewer.kvf"), nullptr);
}

TEST(StartFiles, SceneAppendedToTheProgramFile) {
    const std::string dir = testsupport::ScratchDir("scene_appended");
    std::string scene;
    {
        Viewer a;
        ASSERT_TRUE(a.v);
        a->NewGraphic("appended object");
        ASSERT_TRUE(a->WriteScene((dir + "/s.kvf").c_str()));
        scene = Slurp(dir + "/s.kvf");
    }
    const std::string program = dir + "/prog";
    Spit(program, std::string(70000, '\x7f') + viewerstart::AppendedSceneMarkerForTools() + scene);
    const long long offset = viewerstart::FindAppendedScene(program.c_str());
    ASSERT_EQ(offset, 70020);
    Viewer b;
    ASSERT_TRUE(b.v);
    const bool suspended = b->drawingSuspended;
    EXPECT_TRUE(viewerstart::LoadAppendedScene(*b.v, program, offset));
    EXPECT_EQ(b->drawingSuspended, suspended);
    EXPECT_NE(b->FindGraphic("appended object"), nullptr);
    EXPECT_FALSE(viewerstart::LoadAppendedScene(*b.v, dir + "/missing", 0));
}

// A one-shot HTTP server on loopback.
class TinyHttpServer {
public:
    explicit TinyHttpServer(std::string response) : response_(std::move(response)) {
        listen_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listen_, 1);
        socklen_t length = sizeof address;
        getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~TinyHttpServer() {
        thread_.join();
        close(listen_);
    }
    std::string Url(const std::string& file) const {
        return "http://127.0.0.1:" + std::to_string(port_) + "/" + file;
    }
    const std::string& request() const { return request_; }  // read after the download

private:
    void Serve() {
        pollfd p{listen_, POLLIN, 0};
        if (poll(&p, 1, 20000) != 1) return;
        const int c = accept(listen_, nullptr, nullptr);
        if (c < 0) return;
        char buffer[4096];
        while (request_.find("\r\n\r\n") == std::string::npos && request_.size() < 65536) {
            pollfd q{c, POLLIN, 0};
            if (poll(&q, 1, 10000) != 1) break;
            const ssize_t n = recv(c, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            request_.append(buffer, size_t(n));
        }
        size_t sent = 0;
        while (sent < response_.size()) {
            const ssize_t n = send(c, response_.data() + sent, response_.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += size_t(n);
        }
        close(c);
    }
    std::string response_;
    std::string request_;
    int listen_ = -1;
    int port_ = 0;
    std::thread thread_;
};

std::string HttpResponse(const std::string& status, const std::string& body, size_t claimedLength) {
    return "HTTP/1.0 " + status + "\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
           std::to_string(claimedLength) + "\r\n\r\n" + body;
}

TEST(UrlSource, HttpAndFileUrlsLoadThroughTheCache) {
    const std::string dir = testsupport::ScratchDir("scene_url");
    EnvSetting cache("XDG_CACHE_HOME", (dir + "/cache").c_str());
    EnvSetting direct("no_proxy", "127.0.0.1,localhost");
    std::string scene;
    {
        Viewer a;
        ASSERT_TRUE(a.v);
        a->NewGraphic("remote object");
        ASSERT_TRUE(a->WriteScene((dir + "/remote.kvf").c_str()));
        scene = Slurp(dir + "/remote.kvf");
    }
    {
        TinyHttpServer server(HttpResponse("200 OK", scene, scene.size()));
        const std::string url = server.Url("remote.kvf");
        Viewer b;
        ASSERT_TRUE(b.v);
        EXPECT_TRUE(ViewerLoadDataFile(b.v, url.c_str(), 0, 0));
        EXPECT_NE(b->FindGraphic("remote object"), nullptr);
        EXPECT_NE(server.request().find("User-Agent: TORVA KRV Viewer\r\n"), std::string::npos) << server.request();
        const std::string cached = platform::UrlCacheFile(url);
        EXPECT_EQ(cached.rfind(dir + "/cache/", 0), 0u);
        EXPECT_EQ(std::filesystem::path(cached).extension(), ".kvf");
        EXPECT_EQ(Slurp(cached), scene);
    }
    {
        Viewer c;
        ASSERT_TRUE(c.v);
        c->LoadSceneSource(("FILE://" + dir + "/remote.kvf").c_str());
        EXPECT_NE(c->FindGraphic("remote object"), nullptr);
    }
}

TEST(UrlSource, FailedDownloadLoadsNothing) {
    const std::string dir = testsupport::ScratchDir("scene_url_fail");
    EnvSetting cache("XDG_CACHE_HOME", (dir + "/cache").c_str());
    EnvSetting direct("no_proxy", "127.0.0.1,localhost");
    std::string scene;
    {
        Viewer a;
        ASSERT_TRUE(a.v);
        a->NewGraphic("remote object");
        ASSERT_TRUE(a->WriteScene((dir + "/remote.kvf").c_str()));
        scene = Slurp(dir + "/remote.kvf");
    }
    struct Case {
        const char* what;
        std::string response;
    };
    const Case cases[] = {
        {"not found", HttpResponse("404 Not Found", scene, scene.size())},
        {"cut short", HttpResponse("200 OK", scene.substr(0, scene.size() / 2), scene.size())},
    };
    for (const Case& c : cases) {
        TinyHttpServer server(c.response);
        const std::string url = server.Url("remote.kvf");
        Viewer b;
        ASSERT_TRUE(b.v);
        b->LoadSceneSource(url.c_str());
        EXPECT_EQ(b->FindGraphic("remote object"), nullptr) << c.what;
        EXPECT_FALSE(std::filesystem::exists(platform::UrlCacheFile(url))) << c.what;
    }
    Viewer b;
    b->LoadSceneSource(("file://" + dir + "/no-such.kvf").c_str());
    EXPECT_EQ(UserObjects(b.v), 0);
    // Nothing half-written is left in the cache.
    for (const auto& entry : std::filesystem::directory_iterator(dir + "/cache/torva-krv-viewer"))
        ADD_FAILURE() << entry.path();
}

}  // namespace
