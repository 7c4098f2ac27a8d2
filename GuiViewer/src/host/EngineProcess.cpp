#include "GuiViewer/src/host/EngineProcess.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QMetaObject>
#include <QRegularExpression>
#include <cstdio>

#include "GuiViewer/src/host/QStringSetUtils.h"
#include "GuiViewer/src/host/QStringUtils.h"
#include "link/LinkStream.h"
#include "scene/Quaternion.h"
#include "tools/enginemesh/EngineMesh.h"

namespace {

using Tok = LinkStream::Tok;
using Cmd = LinkStream::Cmd;

const char kManager[] = "/VIEWPORT MANAGER";
const char kVisibility[] = "Object Visibility List";
const int kEngineLayouts[8] = {1, 3, 2, 6, 7, 4, 5, 8};
const int kViewportsShown[8] = {1, 2, 2, 3, 3, 3, 3, 4};

void Error(const QString& what) { std::fprintf(stderr, "ERROR in EngineProcess: %s\n", qPrintable(what)); }

// Comma-separated numbers as the blank-separated text of a camera token.
std::string Numbers(const QString& text) {
    return text.split(',', Qt::SkipEmptyParts).replaceInStrings(QRegularExpression("^\\s+|\\s+$"), "").join(' ')
        .toStdString();
}

QString Join(const float* v, int n) {
    QStringList parts;
    for (int i = 0; i < n; ++i) parts << QString::asprintf("%g", v[i]);
    return parts.join(", ");
}

// The rotation of a standard view: the view direction into the screen, the
// up direction up the screen.  False for another name.
bool StandardRotation(const QString& name, float q[4]) {
    Quaternion r;
    auto world = [&r](float degrees, int axis) { r.rotateWorld(degrees, axis); };
    const float iso = 35.26439f;  // tilt that shows the three axes alike
    if (name == "+X") world(-90, 0), world(90, 1);
    else if (name == "-X") world(-90, 0), world(-90, 1);
    else if (name == "+Y") world(-90, 0);
    else if (name == "-Y") world(-90, 0), world(180, 1);
    else if (name == "+Z") world(180, 1);
    else if (name == "-Z") {
    } else if (name == "Isometric Y") world(-45, 1), world(iso, 0);
    else if (name == "Isometric Z") world(-90, 0), world(-135, 1), world(iso, 0);
    else if (name == "Isometric X") world(90, 2), world(45, 1), world(iso, 0);
    else return false;
    const float* v = r.value();
    std::copy(v, v + 4, q);
    return true;
}

}  // namespace

bool EngineProcess::loopbackPair(int& a, int& b) {
    a = b = -1;
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    if (listener < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    bool ok = bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && listen(listener, 1) == 0 &&
              getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) == 0;
    if (ok) {
        a = socket(AF_INET, SOCK_STREAM, 0);
        ok = a >= 0 && ::connect(a, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    if (ok) b = accept(listener, nullptr, nullptr);
    close(listener);
    if (ok && b >= 0) return true;
    if (a >= 0) close(a);
    a = b = -1;
    return false;
}

const QStringList& EngineProcess::layoutNames() {
    static const QStringList names = {"No Split",
                                      "Horizontal Split",
                                      "Vertical Split",
                                      "Horizontal And Right Split",
                                      "Vertical And Bottom Split",
                                      "Horizontal And Left Split",
                                      "Vertical And Top Split",
                                      "Horizontal And Vertical Split"};
    return names;
}

int EngineProcess::engineLayoutOf(const QString& layoutName) {
    const int i = layoutNames().indexOf(layoutName);
    return i < 0 ? 1 : kEngineLayouts[i];
}

QString EngineProcess::viewerNameFor(const QString& domain) { return domain + ":DOMAIN:" + domain + ":0:Cartesian"; }

QString EngineProcess::highlightNameFor(const QString& domain) { return viewerNameFor(domain) + "_bbox"; }

EngineProcess::EngineProcess(QObject* parent) : QObject(parent) {
    link_ = new LinkStream;
    if (loopbackPair(engineSide_, viewerRead_)) {
        viewerWrite_ = dup(viewerRead_);
        link_->readHandle = link_->writeHandle = engineSide_;
        link_->readIsSocket = link_->writeIsSocket = true;
    } else {
        Error("cannot open the connection to the viewer");
    }
    Object& manager = object(kManager);
    manager.params["Viewport Layout"] = "No Split";
    manager.params["Maximized Viewport"] = "-1";
    for (int n = 1; n <= 4; ++n) {
        const QString view = QString("View %1").arg(n);
        manager.params[QString("Viewport %1 View").arg(n)] = view;
        createView(view, QString(), false);
    }
    sender_ = std::thread([this] { senderLoop(); });
}

EngineProcess::~EngineProcess() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    wake_.notify_all();
    // A job waiting for an answer or for room in the socket ends here.
    if (engineSide_ >= 0) shutdown(engineSide_, SHUT_RDWR);
    sender_.join();
    link_->readHandle = link_->writeHandle = -1;
    delete link_;
    for (int fd : {engineSide_, viewerRead_, viewerWrite_})
        if (fd >= 0) close(fd);
}

void EngineProcess::post(Job job) {
    if (engineSide_ < 0) return;
    ++pending_;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void EngineProcess::senderLoop() {
    bool reported = false;
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        if (!job(*link_) && !reported) {
            Error("the link to the viewer failed");
            reported = true;
        }
        --pending_;
    }
}

EngineProcess::Object& EngineProcess::object(const QString& path) { return objects_[path]; }

QStringList EngineProcess::objectPaths() const { return objects_.keys(); }

std::vector<QString> EngineProcess::sceneObjects() const {
    std::vector<QString> out;
    for (auto it = objects_.begin(); it != objects_.end(); ++it)
        if (!it->viewerNames.isEmpty()) out.push_back(it.key());
    return out;
}

void EngineProcess::createView(const QString& name, const QString& copyFrom, bool deep) {
    const QString path = "/VIEW:" + name;
    if (!copyFrom.isEmpty() && objects_.contains("/VIEW:" + copyFrom)) {
        objects_[path].params = objects_["/VIEW:" + copyFrom].params;
        const QString camera = "/VIEW:" + copyFrom + "/CAMERA";
        if (deep && objects_.contains(camera))
            objects_[path + "/CAMERA"] = objects_[camera];
        else
            objects_[path].params["Camera Mode"] = "Automatic";
        return;
    }
    std::set<QString> all;
    for (const QString& o : sceneObjects()) all.insert(o);
    Object& view = objects_[path];
    view.params["Projection"] = "Orthographic";
    view.params["Coord Transform"] = "Cartesian";
    view.params["Camera Mode"] = "Automatic";
    view.params[kVisibility] = QStringSetUtils::qStringSetToQString(all, ',');
}

QString EngineProcess::viewOf(int viewport) {
    return objects_[kManager].params.value(QString("Viewport %1 View").arg(viewport));
}

std::vector<int> EngineProcess::viewportsShowing(const QString& viewName) {
    std::vector<int> out;
    for (int n = 1; n <= 4; ++n)
        if (viewOf(n) == viewName) out.push_back(n);
    return out;
}

bool EngineProcess::isVisibleIn(const QString& viewName, const QString& objectPath) {
    auto it = objects_.find("/VIEW:" + viewName);
    return it != objects_.end() && QStringUtils::isInList(it->params.value(kVisibility), objectPath, true);
}

// ---- queries

QString EngineProcess::getParameter(const QString& objectPath, const QString& name) {
    auto it = objects_.find(objectPath);
    return it == objects_.end() ? QString() : it->params.value(name);
}

QMap<QString, QString> EngineProcess::getParameters(const QString& objectPath, bool) {
    auto it = objects_.find(objectPath);
    return it == objects_.end() ? QMap<QString, QString>() : it->params;
}

QStringList EngineProcess::getObjectNames(const QString& objectType) {
    QStringList names;
    for (const QString& path : objects_.keys())
        if (QStringUtils::getTypeFromPath(path) == objectType && !path.mid(1).contains('/'))
            names << QStringUtils::getNameFromPath(path);
    return names;
}

QString EngineProcess::lookupParameter(const QString& objectPath, const QString& name) {
    QString path = objectPath;
    while (!path.isEmpty()) {
        auto it = objects_.find(path);
        if (it != objects_.end() && it->params.contains(name)) return it->params.value(name);
        QString parent, last;
        QStringUtils::splitRelativePathName(path, parent, last);
        path = parent;
    }
    return {};
}

bool EngineProcess::hasParameter(const QString& objectPath, const QString& name) {
    auto it = objects_.find(objectPath);
    return it != objects_.end() && it->params.contains(name);
}

// ---- command text

bool EngineProcess::sendViewerAction(const QString& text) { return sendCommand(text); }

bool EngineProcess::sendObjectDefinition(const QString& objectPath, const QString& text) {
    if (!objectPath.startsWith('/')) {
        Error("object path without a leading \"/\": " + objectPath);
        return false;
    }
    return sendCommand(text);
}

bool EngineProcess::sendCommand(const QString& text) {
    emit textReceived(text);
    blockPaths_.clear();
    blockLines_.clear();
    blockOpened_.clear();
    bool ok = true;
    for (const QString& line : text.split('\n'))
        if (!executeLine(line)) ok = false;
    if (!blockPaths_.isEmpty()) {
        Error("object block without END: " + blockPaths_.first());
        ok = false;
    }
    blockPaths_.clear();
    blockLines_.clear();
    blockOpened_.clear();
    emit stateChanged();
    return ok;
}

bool EngineProcess::executeLine(const QString& raw) {
    const QString line = raw.trimmed();
    if (line.isEmpty() || line.startsWith('#')) return true;
    if (line.startsWith('>')) {
        if (!blockPaths_.isEmpty()) {
            Error("action inside an object block: " + line);
            return false;
        }
        return runAction(line.mid(1).trimmed());
    }
    if (line == "END") {
        if (blockPaths_.isEmpty()) {
            Error("END without an object block");
            return false;
        }
        blockPaths_.removeLast();
        if (!blockPaths_.isEmpty()) return true;
        const std::vector<Assignment> lines = std::move(blockLines_);
        const QStringList opened = blockOpened_;
        blockLines_.clear();
        blockOpened_.clear();
        return applyBlock(lines, opened);
    }
    const int eq = line.indexOf('=');
    if (eq < 0) {
        // An object line: "TYPE:name", or "TYPE:" for an object without a name.
        QString element = line;
        if (element.endsWith(':') && element.count(':') == 1) element.chop(1);
        element = element.trimmed();
        QString path;
        if (element.startsWith('/'))
            path = element;
        else
            path = (blockPaths_.isEmpty() ? QString() : blockPaths_.last()) + "/" + element;
        blockPaths_ << path;
        blockOpened_ << path;
        return true;
    }
    if (blockPaths_.isEmpty() || eq == 0) {
        Error("parameter outside an object block: " + line);
        return false;
    }
    blockLines_.push_back({blockPaths_.last(), line.left(eq).trimmed(), line.mid(eq + 1).trimmed()});
    return true;
}

bool EngineProcess::applyBlock(const std::vector<Assignment>& block, const QStringList& opened) {
    bool ok = true;
    for (const QString& path : opened)
        if (!objects_.contains(path)) {
            if (QStringUtils::getTypeFromPath(path) == "VIEW" && !path.mid(1).contains('/'))
                createView(QStringUtils::getNameFromPath(path), QString(), false);
            else
                objects_[path];
        }

    bool layoutSet = false, maximizedSet = false;
    std::vector<int> viewportViews;
    std::set<QString> viewsChanged, camerasSent;
    for (const Assignment& a : block) {
        if (a.path == kManager) {
            if (a.key == "Viewport Layout") {
                if (!layoutNames().contains(a.value)) {
                    Error("unknown viewport layout \"" + a.value + "\"");
                    ok = false;
                    continue;
                }
                layoutSet = true;
            } else if (a.key == "Maximized Viewport") {
                maximizedSet = true;
            } else {
                static const QRegularExpression viewKey("^Viewport ([1-4]) View$");
                const auto m = viewKey.match(a.key);
                if (m.hasMatch()) {
                    if (!objects_.contains("/VIEW:" + a.value)) {
                        Error("no view \"" + a.value + "\"");
                        ok = false;
                        continue;
                    }
                    viewportViews.push_back(m.captured(1).toInt());
                }
            }
        }
        QString parent, last;
        QStringUtils::splitRelativePathName(a.path, parent, last);
        if (QStringUtils::getTypeFromPath(a.path) == "VIEW" && parent.isEmpty())
            viewsChanged.insert(QStringUtils::getNameFromPath(a.path));
        if (last == "CAMERA" && QStringUtils::getTypeFromPath(parent) == "VIEW" && a.key == "Send To Viewer" &&
            QStringUtils::isTrue(a.value))
            camerasSent.insert(QStringUtils::getNameFromPath(parent));
        objects_[a.path].params[a.key] = a.value;
    }
    for (const QString& v : camerasSent) objects_["/VIEW:" + v].params["Camera Mode"] = "User Specified";

    if (layoutSet || maximizedSet) {
        Object& manager = objects_[kManager];
        bool number = false;
        int n = manager.params.value("Maximized Viewport").toInt(&number);
        const int shown = kViewportsShown[std::max<int>(0, layoutNames().indexOf(manager.params["Viewport Layout"]))];
        if (!number || n < 1 || n > shown) n = -1;
        manager.params["Maximized Viewport"] = QString::number(n);
        if (layoutSet)
            applyLayout(manager.params["Viewport Layout"], n);
        else
            applyMaximized(n);
    }
    for (int n : viewportViews) {
        activeViewport_ = n;
        applyViewToViewport(n, true);
    }
    for (const QString& v : viewsChanged)
        for (int n : viewportsShowing(v))
            if (std::find(viewportViews.begin(), viewportViews.end(), n) == viewportViews.end())
                applyViewToViewport(n, camerasSent.count(v) > 0);
    for (const QString& v : camerasSent)
        if (!viewsChanged.count(v))
            for (int n : viewportsShowing(v)) applyViewToViewport(n, true);
    return ok;
}

// ---- actions

bool EngineProcess::runAction(const QString& action) {
    const int blank = action.indexOf(QRegularExpression("\\s"));
    const QString verb = blank < 0 ? action : action.left(blank);
    const QString rest = blank < 0 ? QString() : action.mid(blank + 1).trimmed();
    QMap<QString, QString> args;
    QString firstWord;
    for (const QString& part : rest.split(',', Qt::SkipEmptyParts)) {
        const int eq = part.indexOf('=');
        if (eq < 0) {
            if (firstWord.isEmpty()) firstWord = part.trimmed();
        } else {
            args[part.left(eq).trimmed()] = part.mid(eq + 1).trimmed();
        }
    }
    if (verb == "setViewportView") return setViewportView(args, firstWord);
    if (verb == "show" || verb == "hide" || verb == "toggle") return setVisibility(verb, firstWord, args.value("view"));
    if (verb == "centerview" || verb == "setcamera") {
        bool number = false;
        const int n = (verb == "centerview" ? firstWord : args.value("viewport")).toInt(&number);
        if (!number || n < 1 || n > 4) {
            Error("no viewport in \"" + action + "\"");
            return false;
        }
        activeViewport_ = n;
        if (verb == "centerview") {
            fitAndRead(n, nullptr);
            return true;
        }
        const QString name = args.value("camera");
        float q[4];
        if (!StandardRotation(name, q)) {
            // A camera the viewer keeps under that name.
            const std::string saved = name.toStdString();
            const int active = activeViewport_;
            post([n, saved, active](LinkStream& link) {
                return link.BeginParameters() && link.WriteIntToken(Tok::VIEWER_PORT, n, false) &&
                       link.WriteStringToken(Tok::GUI_CAMERA, saved.c_str(), false) &&
                       link.WriteIntToken(Tok::VIEWER_PORT, active, false) && link.EndParameters();
            });
            return true;
        }
        const std::string quaternion = QString::asprintf("%g %g %g %g", q[0], q[1], q[2], q[3]).toStdString();
        const std::string cameraName = name.toStdString();
        const char* t[7] = {cameraName.c_str(), "1", "1", "0 0 0", "0 0", quaternion.c_str(), "not defined"};
        fitAndRead(n, t);
        return true;
    }
    Error("unknown action \"" + verb + "\"");
    return false;
}

bool EngineProcess::setViewportView(const QMap<QString, QString>& args, const QString&) {
    const QString cmd = args.value("cmd"), viewPath = args.value("view");
    bool number = false;
    const int n = args.value("viewport").toInt(&number);
    if (!number || n < 1 || n > 4 || QStringUtils::getTypeFromPath(viewPath) != "VIEW") {
        Error("setViewportView needs a view and a viewport 1 to 4");
        return false;
    }
    const QString name = QStringUtils::getNameFromPath(viewPath);
    const bool exists = objects_.contains("/VIEW:" + name);
    if (cmd == "set") {
        if (!exists) {
            Error("no view \"" + name + "\"");
            return false;
        }
    } else if (cmd == "copy" || cmd == "shallow_copy") {
        if (exists) {
            Error("a view \"" + name + "\" exists already");
            return false;
        }
        createView(name, viewOf(n), cmd == "copy");
    } else {
        Error("setViewportView: unknown cmd \"" + cmd + "\"");
        return false;
    }
    objects_[kManager].params[QString("Viewport %1 View").arg(n)] = name;
    activeViewport_ = n;
    applyViewToViewport(n, true);
    return true;
}

bool EngineProcess::setVisibility(const QString& verb, const QString& objectPath, const QString& viewPath) {
    const QString view = QStringUtils::getNameFromPath(viewPath);
    auto it = objects_.find("/VIEW:" + view);
    if (QStringUtils::getTypeFromPath(viewPath) != "VIEW" || it == objects_.end()) {
        Error(verb + ": no view \"" + viewPath + "\"");
        return false;
    }
    std::vector<QString> matching;
    for (const QString& o : sceneObjects())
        if (o == objectPath || o.startsWith(objectPath + "/")) matching.push_back(o);
    if (matching.empty()) {
        Error(verb + ": no object \"" + objectPath + "\"");
        return false;
    }
    std::set<QString> list = QStringSetUtils::qStringToQStringSet(it->params.value(kVisibility), ',');
    for (const QString& o : matching) {
        const bool show = verb == "show" || (verb == "toggle" && !list.count(o));
        if (show)
            list.insert(o);
        else
            list.erase(o);
    }
    it->params[kVisibility] = QStringSetUtils::qStringSetToQString(list, ',');
    for (int n : viewportsShowing(view)) applyViewToViewport(n, false);
    return true;
}

// ---- link commands

void EngineProcess::applyLayout(const QString& layoutName, int maximized) {
    const int layout = engineLayoutOf(layoutName);
    activeViewport_ = 1;
    post([layout](LinkStream& link) { return link.WriteIntToken(Tok::VIEWER_LAYOUT, layout, true); });
    if (maximized > 0) applyMaximized(maximized);
}

void EngineProcess::applyMaximized(int n) {
    if (n > 0) activeViewport_ = n;
    const int active = activeViewport_;
    post([n, active](LinkStream& link) {
        bool ok = link.BeginParameters() && link.WriteIntToken(Tok::VIEWPORT_MAXIMIZE, 0, false);
        if (n > 0) ok = ok && link.WriteIntToken(Tok::VIEWER_PORT, n, false) && link.WriteIntToken(Tok::VIEWPORT_MAXIMIZE, 1, false);
        else ok = ok && link.WriteIntToken(Tok::VIEWER_PORT, active, false);
        return ok && link.EndParameters();
    });
}

void EngineProcess::applyViewToViewport(int n, bool camera) {
    const QString view = viewOf(n);
    std::vector<std::pair<std::string, bool>> shown;
    for (const QString& o : sceneObjects())
        for (const QString& name : objects_[o].viewerNames) shown.emplace_back(name.toStdString(), isVisibleIn(view, o));
    const bool ortho = objects_["/VIEW:" + view].params.value("Projection") != "Perspective";
    std::vector<std::string> texts;
    bool fit = false;
    if (camera) {
        auto cam = objects_.find("/VIEW:" + view + "/CAMERA");
        if (cam != objects_.end() && cam->params.contains("Scale")) {
            const QMap<QString, QString>& p = cam->params;
            const QString scale = p.value("Scale");
            texts = {("VIEW:" + view).toStdString(), scale.toStdString(), p.value("Default Scale", scale).toStdString(),
                     Numbers(p.value("Pivot Point")), Numbers(p.value("Pan")),
                     p.contains("Rotation Quaternion") ? Numbers(p.value("Rotation Quaternion")) : "not defined",
                     "not defined"};
        } else {
            fit = true;
        }
    }
    const int active = activeViewport_;
    post([=](LinkStream& link) {
        bool ok = link.BeginParameters() && link.WriteIntToken(Tok::VIEWER_PORT, n, false);
        for (const auto& [name, visible] : shown)
            ok = ok && link.WriteStringToken(visible ? Tok::ADD_OBJECT : Tok::REMOVE_OBJECT, name.c_str(), false);
        ok = ok && link.WriteIntToken(Tok::VIEWPORT_ORTHO, ortho ? 1 : 0, false);
        if (!texts.empty()) {
            const char* t[7];
            for (int i = 0; i < 7; ++i) t[i] = texts[i].c_str();
            ok = ok && link.WriteCameraToken(t, false);
        }
        if (!fit) return ok && link.WriteIntToken(Tok::VIEWER_PORT, active, false) && link.EndParameters();
        return ok && link.EndParameters() && link.SendCommand(Cmd::CENTER_VIEW) &&
               link.WriteIntToken(Tok::VIEWER_PORT, active, true);
    });
}

void EngineProcess::fitAndRead(int n, const char* cameraTexts[7]) {
    std::vector<std::string> texts;
    if (cameraTexts)
        for (int i = 0; i < 7; ++i) texts.emplace_back(cameraTexts[i]);
    const int active = activeViewport_;
    post([this, n, texts, active](LinkStream& link) {
        bool ok = link.BeginParameters() && link.WriteIntToken(Tok::VIEWER_PORT, n, false);
        if (!texts.empty()) {
            const char* t[7];
            for (int i = 0; i < 7; ++i) t[i] = texts[i].c_str();
            ok = ok && link.WriteCameraToken(t, false);
        }
        ok = ok && link.EndParameters() && link.SendCommand(Cmd::CENTER_VIEW);
        Camera c;
        c.ok = ok && link.SendGetCamera("", c.scale, c.defScale, c.pivot, c.pan, c.quaternion);
        ok = c.ok && link.WriteIntToken(Tok::VIEWER_PORT, active, true);
        if (c.ok) QMetaObject::invokeMethod(this, [this, n, c] { storeCamera(n, c); }, Qt::QueuedConnection);
        return ok;
    });
}

void EngineProcess::storeCamera(int viewport, const Camera& c) {
    const QString view = viewOf(viewport);
    if (!objects_.contains("/VIEW:" + view)) return;
    QMap<QString, QString>& p = objects_["/VIEW:" + view + "/CAMERA"].params;
    p["Option"] = "Pivot Point and Quaternion";
    p["Pivot Point"] = Join(c.pivot, 3);
    p["Scale"] = QString::asprintf("%g", c.scale);
    p["Default Scale"] = QString::asprintf("%g", c.defScale);
    p["Pan"] = Join(c.pan, 2);
    p["Rotation Quaternion"] = Join(c.quaternion, 4);
    p["Send To Viewer"] = "False";
    objects_["/VIEW:" + view].params["Camera Mode"] = "User Specified";
    emit stateChanged();
}

bool EngineProcess::addMesh(const QString& domain, const engine::Mesh& mesh) {
    const QString path = "/DOMAIN:" + domain;
    if (domain.isEmpty() || domain.contains('/') || domain.contains(':') || objects_.contains(path) ||
        mesh.numVertices() == 0)
        return false;
    Object& o = objects_[path];
    o.viewerNames << viewerNameFor(domain) << highlightNameFor(domain);
    o.params["Vertices"] = QString::number(mesh.numVertices());
    o.params["Faces"] = QString::number(mesh.numFaces);
    for (auto it = objects_.begin(); it != objects_.end(); ++it)
        if (QStringUtils::getTypeFromPath(it.key()) == "VIEW" && !it.key().mid(1).contains('/')) {
            std::set<QString> list = QStringSetUtils::qStringToQStringSet(it->params.value(kVisibility), ',');
            list.insert(path);
            it->params[kVisibility] = QStringSetUtils::qStringSetToQString(list, ',');
        }

    // The highlight object: the edges of the bounding box in yellow, hidden
    // until the GUI shows it for a selection.
    engine::Mesh box;
    float lo[3], hi[3];
    for (int a = 0; a < 3; ++a) lo[a] = hi[a] = mesh.xyz[a];
    for (int i = 0; i < mesh.numVertices(); ++i)
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], mesh.xyz[3 * i + a]);
            hi[a] = std::max(hi[a], mesh.xyz[3 * i + a]);
        }
    for (int corner = 0; corner < 8; ++corner)
        for (int a = 0; a < 3; ++a) box.xyz.push_back(corner & (1 << a) ? hi[a] : lo[a]);
    for (int corner = 0; corner < 8; ++corner)
        for (int a = 0; a < 3; ++a)
            if (!(corner & (1 << a))) box.lines.insert(box.lines.end(), {corner, corner | (1 << a)});
    box.values.assign(8, 0.0f);
    box.colourMap = {0.0f, 1.0f, 1.0f, 0.0f};

    const std::string name = viewerNameFor(domain).toStdString(), boxName = highlightNameFor(domain).toStdString();
    post([name, boxName, mesh, box](LinkStream& link) {
        return link.SendStringCommand(Cmd::NEW_GRAPHIC, name.c_str()) && link.BeginLoadGraphic() &&
               engine::WriteGeometry(link, mesh) && link.EndLoadGraphic() &&
               link.WriteIntToken(Tok::DRAW_FACES, 1, true) &&
               link.SendStringCommand(Cmd::NEW_GRAPHIC, boxName.c_str()) && link.BeginLoadGraphic() &&
               engine::WriteGeometry(link, box) && link.EndLoadGraphic() && link.BeginParameters() &&
               link.WriteIntToken(Tok::DRAW_LINES, 1, false) && link.WriteIntToken(Tok::OBJECT_VISIBILITY, 0, false) &&
               link.EndParameters();
    });
    for (int n = 1; n <= 4; ++n)
        applyViewToViewport(n, objects_["/VIEW:" + viewOf(n)].params["Camera Mode"] == "Automatic");
    emit stateChanged();
    return true;
}

std::shared_future<EngineProcess::Camera> EngineProcess::requestCamera(const QString& savedName) {
    auto promise = std::make_shared<std::promise<Camera>>();
    std::shared_future<Camera> result = promise->get_future().share();
    const std::string name = savedName.toStdString();
    if (engineSide_ < 0) {
        promise->set_value(Camera{});
        return result;
    }
    post([promise, name](LinkStream& link) {
        Camera c;
        c.ok = link.SendGetCamera(name.c_str(), c.scale, c.defScale, c.pivot, c.pan, c.quaternion);
        promise->set_value(c);
        return c.ok;
    });
    return result;
}

std::shared_future<bool> EngineProcess::dumpState(const QString& path) {
    auto promise = std::make_shared<std::promise<bool>>();
    std::shared_future<bool> result = promise->get_future().share();
    const std::string file = path.toStdString();
    if (engineSide_ < 0) {
        promise->set_value(false);
        return result;
    }
    post([promise, file](LinkStream& link) {
        // The camera answer comes after the dump is written.
        Camera c;
        const bool ok = link.SendStringCommand(Cmd::DUMP_STATE, file.c_str()) &&
                        link.SendGetCamera("", c.scale, c.defScale, c.pivot, c.pan, c.quaternion);
        promise->set_value(ok);
        return ok;
    });
    return result;
}
