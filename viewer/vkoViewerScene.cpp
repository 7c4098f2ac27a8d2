// Scene files (KVF), graphic data files, URL sources and the stand-alone
// choice of what to load at start.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "link/RecordFile.h"
#include "platform/LowLevelFile.h"
#include "platform/MessageSink.h"
#include "platform/UrlDownload.h"
#include "scene/GraphicData.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/vkoViewer.h"

namespace {

const char kTokenKey[] = "vkoTokenKey";
const char kCompressionMark[] = "-1";
const char kCompressionVersion[] = "11.0";
const char* const kLogoNames[] = {"KRV Logo", "TORVA Varnholt Logo"};

bool IsInternalName(const std::string& name) { return !name.empty() && name[0] == '\t'; }

bool ContainsNoCase(const std::string& text, const char* word) {
    const size_t n = std::strlen(word);
    for (size_t i = 0; i + n <= text.size(); ++i)
        if (recordfile::SameName(text.substr(i, n).c_str(), word)) return true;
    return false;
}

std::string BaseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// The link's read or write side lent to a file for one operation.
struct ReadSideLoan {
    explicit ReadSideLoan(LinkStream& link, int fd)
        : link_(link), handle_(link.readHandle), isSocket_(link.readIsSocket), k_(link.compressBufferSize) {
        link.readHandle = fd;
        link.readIsSocket = false;
    }
    ~ReadSideLoan() {
        link_.readHandle = handle_;
        link_.readIsSocket = isSocket_;
        link_.compressBufferSize = k_;
    }
    ReadSideLoan(const ReadSideLoan&) = delete;
    ReadSideLoan& operator=(const ReadSideLoan&) = delete;

private:
    LinkStream& link_;
    int handle_;
    bool isSocket_;
    int k_;
};

struct WriteSideLoan {
    explicit WriteSideLoan(LinkStream& link, int fd)
        : link_(link),
          handle_(link.writeHandle),
          isSocket_(link.writeIsSocket),
          k_(link.compressBufferSize),
          inLoad_(link.inLoadGraphic) {
        link.writeHandle = fd;
        link.writeIsSocket = false;
    }
    ~WriteSideLoan() {
        link_.writeHandle = handle_;
        link_.writeIsSocket = isSocket_;
        link_.compressBufferSize = k_;
        link_.inLoadGraphic = inLoad_;
    }
    WriteSideLoan(const WriteSideLoan&) = delete;
    WriteSideLoan& operator=(const WriteSideLoan&) = delete;

private:
    LinkStream& link_;
    int handle_;
    bool isSocket_;
    int k_;
    bool inLoad_;
};

// Reads exactly n bytes unless the file ends first; the count read.
size_t ReadUpTo(int fd, char* buffer, size_t n) {
    size_t got = 0;
    while (got < n) {
        const ssize_t r = platform::FileRead(fd, buffer + got, n - got);
        if (r <= 0) break;
        got += size_t(r);
    }
    return got;
}

}  // namespace

// ---------------------------------------------------------------- reading

bool vkoViewer::ReadScene(int fd) {
    using namespace recordfile;
    if (fd < 0) return false;
    const bool wasSuspended = SuspendDrawing(true);
    bool objectsRead = false, sectionRead = false;
    {
        ReadSideLoan loan(link, fd);
        char line[kLineSize];
        std::string key, value;
        // False when the file ends before the last object is complete.
        auto readObjects = [&]() -> bool {
            if (!ReadLine(fd, line, sizeof line)) return false;
            if (std::strcmp(line, kCompressionMark) != 0) {
                link.compressBufferSize = 0;
            } else {
                if (!ReadLine(fd, line, sizeof line)) return false;  // the version, not checked
                if (!ReadLine(fd, line, sizeof line)) return false;
                const int k = std::atoi(line);
                link.compressBufferSize = k < 0 ? 0 : k;
                do {
                    if (!ReadLine(fd, line, sizeof line)) return false;
                } while (std::strcmp(line, "DONE") != 0);
                if (!ReadLine(fd, line, sizeof line)) return false;
            }
            // A count larger than the file costs nothing: the file ends first.
            const int count = std::atoi(line);
            for (int i = 0; i < count; ++i) {
                if (!ReadLine(fd, line, sizeof line)) return false;
                const std::string name = line;
                // The viewer's own objects are not taken from files: such an
                // entry goes into a throw-away object so the stream stays in step.
                std::unique_ptr<vkoGraphicObj> scratch;
                vkoGraphicObj* object = nullptr;
                if (IsInternalName(name)) {
                    scratch = std::make_unique<vkoGraphicObj>(this, nullptr);
                    object = scratch.get();
                } else {
                    NewGraphic(name.c_str(), nullptr);
                    object = currentGraphic;
                }
                object->loadData(&link);

                bool inSection = false, closed = false;
                while (!closed) {
                    if (!ReadLine(fd, line, sizeof line)) return false;
                    const char* cursor = line;
                    bool hasValue = false, hasEquals = false;
                    const int kind = SplitLine(cursor, key, value, &hasValue, &hasEquals);
                    if (kind == kEmptyLine) continue;
                    // The writer puts " = " between key and value; the character
                    // before "=" is not part of the key.
                    if (hasEquals && !key.empty()) key.pop_back();
                    if (kind == kOpenLine && KeyMatches(key, "OBJECT")) {
                        inSection = true;
                    } else if (kind == kCloseLine && KeyMatches(key, "OBJECT")) {
                        closed = true;
                    } else if (inSection) {
                        object->restore(key.c_str(), hasValue ? value.c_str() : nullptr);
                    }
                }
                if (!scratch &&
                    (SameName(name.c_str(), kLogoNames[0]) || SameName(name.c_str(), kLogoNames[1])))
                    DeleteCurGraphic();
            }
            return true;
        };
        objectsRead = readObjects();
        if (objectsRead) sectionRead = ReadViewerSection(fd);
    }
    SuspendDrawing(wasSuspended);
    if (!objectsRead) return false;
    ApplyLayout(viewportLayout);
    Redraw();
    return sectionRead;
}

void vkoViewer::LoadSceneSource(const char* path) {
    if (!path || !*path) return;
    std::string source = path;
    if (platform::IsUrlSource(path)) {
        std::string cacheFile;
        if (!platform::DownloadUrl(path, cacheFile)) return;  // a failed download loads nothing
        source = cacheFile;
    }
    const int fd = platform::FileOpen(source.c_str(), platform::OpenMode::Read);
    if (fd < 0) return;
    ReadScene(fd);
    platform::FileClose(fd);
}

// ---------------------------------------------------------------- writing

bool vkoViewer::WriteScene(const char* path) {
    using namespace recordfile;
    if (!path || !*path) return false;
    ReplacingFile file;
    const int fd = file.Open(path);
    if (fd < 0) return false;

    int k = 1024;
    if (const char* env = std::getenv("COMPRESSBUFFERSIZE")) k = std::atoi(env);
    if (k < 0) k = 0;
    const bool debug = std::getenv("VIEWER_DEBUG") != nullptr || ContainsNoCase(BaseName(path), "debug");

    std::vector<vkoGraphicObj*> written;
    for (const auto& entry : objectsById) {
        vkoGraphicObj* object = entry.second;
        if (IsInternalName(object->objectname)) continue;
        if (debug || IsGraphicShown(object)) written.push_back(object);
    }

    bool ok = true;
    {
        WriteSideLoan loan(link, fd);
        // The file's transfers follow its own header, whatever the link uses.
        link.compressBufferSize = k;
        if (k != 0) {
            char size[32];
            std::snprintf(size, sizeof size, "%d", k);
            ok = WriteLine(fd, kCompressionMark) && WriteLine(fd, kCompressionVersion) && WriteLine(fd, size) &&
                 WriteLine(fd, "DONE");
        }
        char count[32];
        std::snprintf(count, sizeof count, "%d", int(written.size()));
        ok = ok && WriteLine(fd, count);
        for (vkoGraphicObj* object : written) {
            if (!ok) break;
            ok = WriteLine(fd, object->objectname.c_str()) && (!object->data || object->data->SaveData(link)) &&
                 link.EndLoadGraphic() && WriteLine(fd, "++ OBJECT") && object->save(fd, false) &&
                 WriteLine(fd, "-- OBJECT");
        }
        ok = ok && WriteViewerSection(fd);
    }
    return ok && file.Commit();
}

// ---------------------------------------------------------------- loading entry points

int ViewerLoadDataFile(vkoViewer* viewer, const char* path, int mode, int flag) {
    if (!viewer || !path || !*path) return false;
    if (mode == -1) {
        const int fd = platform::FileOpen(path, platform::OpenMode::Read);
        if (fd < 0) return false;
        char head[sizeof kTokenKey - 1];
        const size_t got = ReadUpTo(fd, head, sizeof head);
        platform::FileClose(fd);
        if (got < sizeof head) return false;
        mode = std::memcmp(head, kTokenKey, sizeof head) == 0 ? 1 : 0;
    }

    if (mode != 0) {
        const int fd = platform::FileOpen(path, platform::OpenMode::Read);
        if (fd < 0) return false;
        viewer->NewGraphic(path, nullptr);
        {
            // The link's own read side (a live connection) comes back afterwards.
            ReadSideLoan loan(viewer->link, fd);
            viewer->LoadCurGraphic();
        }
        platform::FileClose(fd);
        const int remembered = viewer->ViewportNumber(nullptr);
        for (int n = 1; n <= 4; ++n)
            if (viewer->SetCurrentViewportByNumber(n)) viewer->AddGraphicToViewports(path, nullptr);
        viewer->SetCurrentViewportByNumber(remembered);
        return true;
    }

    viewer->LoadSceneSource(path);
    if (!flag) return true;
    const std::string dumpName = std::string(path) + ".txt";
    FILE* out = std::fopen(dumpName.c_str(), "w");
    viewer->WriteTextDump(out ? out : stdout);
    if (out) std::fclose(out);
    std::fflush(stdout);
    // The process ends through the exit hook (tests replace it).
    const vkoViewer::ExitHook hook = vkoViewer::SetExitHook(nullptr);
    vkoViewer::SetExitHook(hook);
    if (hook)
        hook(0);
    else
        std::exit(0);
    return true;
}

bool vkoViewer::OpenStartFile(const char* name, bool replay, bool dump) {
    if (replay) {
        if (!platform::FileExists("viewerEvent.dmp") || !platform::FileExists("viewerEvent.key")) return false;
        return ViewerLoadDataFile(this, "viewerEvent.dmp", 0, false) != 0;
    }
    if (name && *name) return ViewerLoadDataFile(this, name, 0, dump) != 0;  // always a scene
    if (platform::FileExists("viewer.kvf")) return ViewerLoadDataFile(this, "viewer.kvf", 0, dump) != 0;
    for (int n = 1;; ++n) {
        char file[32];
        std::snprintf(file, sizeof file, "test%d.dat", n);
        const int fd = platform::FileOpen(file, platform::OpenMode::Read);
        if (fd < 0) {
            if (n > 1) return true;
            char text[96];
            std::snprintf(text, sizeof text, "Error opening file '%s'.\n", file);
            platform::ShowMessage(platform::MessageIcon::Error, text);
            return false;
        }
        platform::FileClose(fd);
        if (!ViewerLoadDataFile(this, file, 1, false)) return false;
    }
}
