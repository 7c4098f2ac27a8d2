// CheckForCommand over arbitrary bytes arriving on a socket: whatever the
// engine sends, the viewer must neither crash nor hang, and a viewer left
// with its read side open must still answer the next command.
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <thread>

#include "link/LinkStream.h"
#include "platform/MessageSink.h"
#include "scene/GraphicData.h"
#include "scene/vkoGraphicObj.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

int g_exits = 0;
void CountExit(int status) {
    Check(status == 1);
    ++g_exits;
}

QApplication* App() {
    static int argc = 1;
    static char name[] = "commands_fuzz";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        // DUMP_STATE and output tokens write files named by the input: keep
        // the relative ones out of the source tree.
        char dir[] = "/tmp/commands_fuzzXXXXXX";
        if (mkdtemp(dir) && chdir(dir) != 0) std::abort();
        return new QApplication(argc, argv);
    }();
    return app;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    App();
    platform::SetMessageHandler([](platform::MessageIcon, const std::string&, const std::string&) {});
    vkoViewer::SetExitHook(&CountExit);
    // Embedded when the first byte is even (a refused command closes the
    // read side), stand-alone otherwise (it ends through the hook).
    const bool standAlone = size > 0 && (data[0] & 1);
    vkoViewer* viewer = CreateViewer(nullptr, true, true, "fuzz -n");
    Check(viewer != nullptr);
    std::unique_ptr<krvViewer> box(viewer->Widget());
    viewer->standAlone = standAlone;
    viewer->commandStallSeconds = 1;

    int commands[2], replies[2];
    Check(socketpair(AF_UNIX, SOCK_STREAM, 0, commands) == 0);
    Check(socketpair(AF_UNIX, SOCK_STREAM, 0, replies) == 0);
    viewer->link.readHandle = commands[1];
    viewer->link.readIsSocket = true;
    viewer->link.writeHandle = replies[0];
    viewer->link.writeIsSocket = true;
    // Replies are drained so a chatty input cannot fill the reply buffer.
    std::thread drain([fd = replies[1]] {
        char sink[4096];
        while (read(fd, sink, sizeof sink) > 0) {
        }
    });
    std::thread feed([fd = commands[0], data, size] {
        LinkStream::RawWrite(fd, data, size);
        shutdown(fd, SHUT_WR);  // the engine goes after its bytes
    });

    const int exitsBefore = g_exits;
    // Every pass either executes a command, stops at a failed read, or ends
    // the link; the stream ends, so this terminates.
    for (int pass = 0; pass < 10000 && viewer->link.readHandle >= 0 && g_exits == exitsBefore; ++pass)
        viewer->CheckForCommand(1);
    feed.join();

    viewer->link.readHandle = -1;
    viewer->link.writeHandle = -1;
    close(commands[0]);
    close(commands[1]);
    close(replies[0]);
    box.reset();
    close(replies[1]);
    drain.join();
    return 0;
}
