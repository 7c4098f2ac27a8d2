// engine: plays the simulation engine for a stand-alone viewer.  It listens
// on a port, starts "viewer -r PORT" (or waits for one started by hand),
// completes the handshake and sends model files as graphic objects followed
// by a scripted command sequence.  It can also write a model as a graphic
// data file.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "tools/enginemesh/EngineMesh.h"
#include "link/LinkStream.h"

namespace {

using Cmd = LinkStream::Cmd;
using Tok = LinkStream::Tok;

const char kUsage[] =
    "usage: engine [options] model...\n"
    "  --port N        listen on port N (default: a free port, printed)\n"
    "  --viewer PATH   start PATH -n -r PORT (without it: wait for a viewer started by hand)\n"
    "  --window        start the viewer with its window (no -n)\n"
    "  --compress K    compressed transfers in K-byte chunks (the started viewer gets COMPRESSBUFFERSIZE=K)\n"
    "  --color MODE    none | height | distance: a colour value per vertex under a colour map\n"
    "  --script TEXT   commands separated by ';' after the models:\n"
    "                  center | area | camera [NAME] | layout N | background R G B | suspend 0|1 |\n"
    "                  update (waits for UPDATE_DONE: needs a viewer that draws, --window) | dump FILE | views FILE | select NAME | delete NAME | sleep SECONDS | shutdown\n"
    "  --write FILE    write the first model as a graphic data file and exit\n";

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

int ListenOn(int port, int& actualPort) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t len = sizeof a;
    if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 1) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        std::perror("engine: listen");
        if (s >= 0) close(s);
        return -1;
    }
    actualPort = ntohs(a.sin_port);
    return s;
}

// Waits for the viewer's connection; gives up when a started viewer ends first.
int AcceptViewer(int listener, pid_t child) {
    for (;;) {
        pollfd p{listener, POLLIN, 0};
        int n = poll(&p, 1, 200);
        if (n > 0) return accept(listener, nullptr, nullptr);
        if (n < 0 && errno != EINTR) return -1;
        int status;
        if (child > 0 && waitpid(child, &status, WNOHANG) == child) {
            std::fprintf(stderr, "engine: the viewer ended before connecting\n");
            return -1;
        }
    }
}

int ConnectBack(int port) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    if (s < 0 || connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        std::perror("engine: connect back");
        if (s >= 0) close(s);
        return -1;
    }
    return s;
}

// Reads replies until the wanted command; UPDATE_DONE on the way is reported.
bool AwaitReply(LinkStream& link, int wanted) {
    for (;;) {
        int c = link.ReadCommand();
        if (c < 0) return false;
        if (c == wanted) return true;
        std::printf("%s\n", c < LinkStream::kNumCommands ? LinkStream::kCommandNames[c] : "(unknown reply)");
    }
}

bool SendModel(LinkStream& link, const engine::Mesh& mesh) {
    return link.SendStringCommand(Cmd::NEW_GRAPHIC, mesh.name.c_str()) && link.BeginLoadGraphic() &&
           engine::WriteGeometry(link, mesh) && link.EndLoadGraphic() && link.BeginParameters() &&
           link.WriteIntToken(Tok::DRAW_FACES, 1, false) && link.EndParameters() && link.SendCommand(Cmd::CENTER_VIEW);
}

bool RunStep(LinkStream& link, const std::string& step) {
    std::istringstream words(step);
    std::string verb, rest;
    words >> verb;
    std::getline(words >> std::ws, rest);
    if (verb.empty()) return true;
    if (verb == "center") return link.SendCommand(Cmd::CENTER_VIEW);
    if (verb == "shutdown") return link.SendCommand(Cmd::SHUTDOWN);
    if (verb == "suspend") return link.SendIntCommand(Cmd::DONT_UPDATE, std::atoi(rest.c_str()));
    if (verb == "dump") return link.SendStringCommand(Cmd::DUMP_STATE, rest.c_str());
    if (verb == "views") return link.SendStringCommand(Cmd::READ_VIEWS, rest.c_str());
    if (verb == "select") return link.SendStringCommand(Cmd::SELECT_GRAPHIC, rest.c_str());
    if (verb == "delete") return link.SendStringCommand(Cmd::DELETE_GRAPHIC, rest.c_str());
    if (verb == "layout") return link.WriteIntToken(Tok::VIEWER_LAYOUT, std::atoi(rest.c_str()), true);
    if (verb == "background") return link.WriteStringToken(Tok::BACKGROUND_COLOR, rest.c_str(), true);
    if (verb == "sleep") {
        usleep(static_cast<useconds_t>(std::atof(rest.c_str()) * 1e6));
        return true;
    }
    if (verb == "update") {
        // An empty parameter block ends with one frame, which answers.
        if (!link.SendCommand(Cmd::RESPOND_AFTER_UPDATE) || !link.BeginParameters() || !link.EndParameters() ||
            !AwaitReply(link, Cmd::UPDATE_DONE))
            return false;
        std::printf("UPDATE_DONE\n");
        return true;
    }
    if (verb == "area") {
        float area = 0;
        if (!link.SendCommand(Cmd::GET_PROJECTED_AREA) || !AwaitReply(link, Cmd::CALC_DONE) || !link.ReadFloat(area))
            return false;
        std::printf("CALC_DONE %g\n", area);
        return true;
    }
    if (verb == "camera") {
        float scale, defScale, pivot[3], pan[2], q[4];
        if (!link.SendGetCamera(rest.empty() ? "" : rest.c_str(), scale, defScale, pivot, pan, q)) return false;
        std::printf("camera %s: scale %g defscale %g pivot %g %g %g pan %g %g quaternion %g %g %g %g\n",
                    rest.c_str(), scale, defScale, pivot[0], pivot[1], pivot[2], pan[0], pan[1], q[0], q[1], q[2],
                    q[3]);
        return true;
    }
    std::fprintf(stderr, "engine: unknown script step \"%s\"\n", step.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    int port = 0, compress = 0;
    std::string viewerPath, colour = "none", script, writePath;
    bool window = false;
    std::vector<std::string> models;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* option) -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "engine: %s needs a value\n%s", option, kUsage);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--port") port = std::atoi(value("--port").c_str());
        else if (a == "--viewer") viewerPath = value("--viewer");
        else if (a == "--window") window = true;
        else if (a == "--compress") compress = std::max(0, std::atoi(value("--compress").c_str()));
        else if (a == "--color" || a == "--colour") colour = value("--color");
        else if (a == "--script") script = value("--script");
        else if (a == "--write") writePath = value("--write");
        else if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "engine: unknown option %s\n%s", a.c_str(), kUsage);
            return 2;
        } else {
            models.push_back(a);
        }
    }

    std::vector<engine::Mesh> meshes;
    for (const std::string& path : models) {
        engine::Mesh mesh;
        std::string why;
        if (!engine::ReadModel(path, mesh, why)) {
            std::fprintf(stderr, "engine: %s: %s\n", path.c_str(), why.c_str());
            return 1;
        }
        if (!engine::ColourBy(colour, mesh)) {
            std::fprintf(stderr, "engine: unknown colour mode %s\n", colour.c_str());
            return 2;
        }
        mesh.name = BaseName(path);
        std::printf("%s: %d vertices, %d faces, %zu lines\n", mesh.name.c_str(), mesh.numVertices(), mesh.numFaces,
                    mesh.lines.size() / 2);
        meshes.push_back(std::move(mesh));
    }

    if (!writePath.empty()) {
        if (meshes.empty()) {
            std::fprintf(stderr, "engine: --write needs a model\n");
            return 2;
        }
        int fd = open(writePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        LinkStream file;
        file.writeHandle = fd;
        file.compressBufferSize = 0;
        bool ok = fd >= 0 && engine::WriteGeometry(file, meshes[0]) && file.WriteToken(Tok::DONE);
        file.writeHandle = -1;
        if (fd >= 0 && close(fd) != 0) ok = false;
        if (!ok) {
            std::fprintf(stderr, "engine: cannot write %s\n", writePath.c_str());
            return 1;
        }
        return 0;
    }

    int listener = ListenOn(port, port);
    if (listener < 0) return 1;
    std::printf("engine: listening on port %d\n", port);
    std::fflush(stdout);

    pid_t child = -1;
    if (!viewerPath.empty()) {
        child = fork();
        if (child == 0) {
            if (compress > 0) setenv("COMPRESSBUFFERSIZE", std::to_string(compress).c_str(), 1);
            const std::string portText = std::to_string(port);
            if (window)
                execl(viewerPath.c_str(), viewerPath.c_str(), "-r", portText.c_str(), (char*)nullptr);
            else
                execl(viewerPath.c_str(), viewerPath.c_str(), "-n", "-r", portText.c_str(), (char*)nullptr);
            std::perror("engine: starting the viewer");
            _exit(127);
        }
    }

    // Handshake: the viewer connects, tells its port (4 bytes, big-endian,
    // never compressed), and we connect back to it.
    LinkStream link;
    link.compressBufferSize = compress;
    link.readHandle = AcceptViewer(listener, child);
    close(listener);
    unsigned char bytes[4];
    if (link.readHandle < 0 || !LinkStream::RawRead(link.readHandle, bytes, 4)) {
        std::fprintf(stderr, "engine: handshake failed\n");
        return 1;
    }
    const int viewerPort = (bytes[0] << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3];
    link.writeHandle = ConnectBack(viewerPort);
    link.readIsSocket = link.writeIsSocket = true;
    if (link.writeHandle < 0) return 1;
    std::printf("engine: viewer connected (its port %d)\n", viewerPort);

    bool ok = true;
    for (const engine::Mesh& mesh : meshes) ok = ok && SendModel(link, mesh);
    std::stringstream steps(script);
    std::string step;
    while (ok && std::getline(steps, step, ';')) ok = RunStep(link, step);
    std::fflush(stdout);

    // Stay connected until the viewer goes (a stand-alone viewer ends when
    // its engine does); report what it still sends.
    while (link.ReadCommand() >= 0) {
    }
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child) {
        if (WIFEXITED(status))
            std::printf("viewer exit status %d\n", WEXITSTATUS(status));
        else
            std::printf("viewer ended by signal %d\n", WTERMSIG(status));
    }
    close(link.readHandle);
    close(link.writeHandle);
    link.readHandle = link.writeHandle = -1;
    return ok ? 0 : 1;
}
