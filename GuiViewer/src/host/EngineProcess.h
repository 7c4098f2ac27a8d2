#pragma once
// The engine process of the host, run inside the program: it keeps the
// command-language objects the GUI reads and writes (the viewport manager,
// the views with their cameras, one object per scene object), executes the
// object blocks and ">" actions the GUI sends, and carries every change out
// on the viewer as link commands over a real socket pair, written by a
// sender thread exactly as a separate process would write them.
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "GuiViewer/src/host/RemoteEngineInterface.h"

class LinkStream;
namespace engine {
struct Mesh;
}

class EngineProcess : public QObject, public RemoteEngineInterface {
    Q_OBJECT
public:
    // The camera of a viewer's GET_CAMERA answer.
    struct Camera {
        bool ok = false;
        float scale = 0, defScale = 0, pivot[3] = {}, pan[2] = {}, quaternion[4] = {};
    };

    explicit EngineProcess(QObject* parent = nullptr);
    // Stops the sender and closes every socket of the connection, the
    // viewer's included: destroy the viewer widget first.
    ~EngineProcess() override;

    // The viewer's ends of the connection (-1 when it could not be made).
    int viewerReadSocket() const { return viewerRead_; }
    int viewerWriteSocket() const { return viewerWrite_; }

    // Adds a scene object "/DOMAIN:<domain>" shown in every view and sends
    // its mesh and its hidden highlight object; false when the domain exists
    // already, its name is empty or holds "/" or ":", or the mesh is empty.
    bool addMesh(const QString& domain, const engine::Mesh& mesh);
    // The engine object names of a domain's surface, "<domain>:DOMAIN:
    // <domain>:0:Cartesian" (domain, object type and name, instance 0,
    // frame), and of its highlight, the same with "_bbox" after the frame.
    static QString viewerNameFor(const QString& domain);
    static QString highlightNameFor(const QString& domain);
    // Paths of every object, sorted.
    QStringList objectPaths() const;

    // Link round trips answered by the viewer (it answers when it polls).
    std::shared_future<Camera> requestCamera(const QString& savedName);
    // DUMP_STATE to path; ready once the viewer has written it.
    std::shared_future<bool> dumpState(const QString& path);

    // ---- EngineInterface
    QString getParameter(const QString& objectPath, const QString& name) override;
    QMap<QString, QString> getParameters(const QString& objectPath, bool all) override;
    QStringList getObjectNames(const QString& objectType) override;
    // ---- RemoteEngineInterface
    bool isActive() const override { return pending_.load() > 0; }
    bool sendCommand(const QString& text) override;
    bool sendViewerAction(const QString& text) override;
    bool sendObjectDefinition(const QString& objectPath, const QString& text) override;
    QString lookupParameter(const QString& objectPath, const QString& name) override;
    bool hasParameter(const QString& objectPath, const QString& name) override;

    // A connected pair of loopback TCP sockets; false (both -1) on failure.
    static bool loopbackPair(int& a, int& b);
    // The viewer-layout number of a layout name (1 for an unknown name).
    static int engineLayoutOf(const QString& layoutName);
    static const QStringList& layoutNames();

signals:
    // Objects or parameters changed (after each executed text).
    void stateChanged();
    // A text arrived through sendCommand, sendViewerAction or
    // sendObjectDefinition, before it is executed (lets tests and logs see
    // exactly what the GUI sent).
    void textReceived(const QString& text);

private:
    struct Object {
        QMap<QString, QString> params;
        QStringList viewerNames;  // engine objects of a scene object
    };
    using Job = std::function<bool(LinkStream&)>;
    struct Assignment {
        QString path, key, value;
    };

    void post(Job job);
    void senderLoop();
    bool executeLine(const QString& line);
    bool applyBlock(const std::vector<Assignment>& block, const QStringList& opened);
    bool runAction(const QString& action);
    bool setViewportView(const QMap<QString, QString>& args, const QString& firstWord);
    bool setVisibility(const QString& verb, const QString& objectPath, const QString& viewPath);
    void applyLayout(const QString& layoutName, int maximized);
    void applyMaximized(int n);
    // Objects and projection of viewport n's view, with camera also its
    // camera (or a fit when the view has none).
    void applyViewToViewport(int n, bool camera);
    void fitAndRead(int n, const char* cameraTexts[7]);
    void storeCamera(int viewport, const Camera& camera);
    QString viewOf(int viewport);
    std::vector<int> viewportsShowing(const QString& viewName);
    bool isVisibleIn(const QString& viewName, const QString& objectPath);
    std::vector<QString> sceneObjects() const;
    void createView(const QString& name, const QString& copyFrom, bool deep);
    Object& object(const QString& path);

    QMap<QString, Object> objects_;
    int activeViewport_ = 1;
    int engineSide_ = -1, viewerRead_ = -1, viewerWrite_ = -1;
    LinkStream* link_ = nullptr;  // used by the sender thread only

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    std::atomic<int> pending_{0};
    std::thread sender_;
    // Parsing state of the text being executed.
    QStringList blockPaths_;
    std::vector<Assignment> blockLines_;
    QStringList blockOpened_;
};
