// A 1M-triangle object sent over loopback TCP into a window-less viewer until
// its LOAD_GRAPHIC is done, raw and with compressed transfers (K = 65536),
// beside a plain receive of the same bytes on the same kind of connection.
// The bytes are composed once beforehand, so every run measures the
// transfer and the viewer's work, not the sender's.  Prints the ratios.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>

#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/MessageSink.h"
#include "scene/GraphicData.h"
#include "scene/vkoGraphicObj.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

using Cmd = LinkStream::Cmd;
using Tok = LinkStream::Tok;

constexpr int kGrid = 708;  // 707 x 707 quads, two triangles each: 999 698 triangles
constexpr int kTriangles = 2 * (kGrid - 1) * (kGrid - 1);

// NEW_GRAPHIC "surface" and its LOAD_GRAPHIC (a wavy height field with a
// colour value per vertex), composed with the link's own writer for chunk
// size k.
std::vector<char> Compose(int k) {
    std::vector<float> xyz, values;
    for (int j = 0; j < kGrid; ++j)
        for (int i = 0; i < kGrid; ++i) {
            float z = 0.1f * std::sin(i * 0.05f) * std::cos(j * 0.07f);
            xyz.insert(xyz.end(), {i / float(kGrid), j / float(kGrid), z});
            values.push_back(z * 5.0f + 0.5f);
        }
    std::vector<int> faces;
    for (int j = 0; j + 1 < kGrid; ++j)
        for (int i = 0; i + 1 < kGrid; ++i) {
            int a = j * kGrid + i, b = a + 1, c = a + kGrid, d = c + 1;
            faces.insert(faces.end(), {3, a, b, d, 3, a, d, c});
        }
    char path[] = "/tmp/engine_benchXXXXXX";
    int fd = mkstemp(path);
    LinkStream out;
    out.writeHandle = fd;
    out.compressBufferSize = k;
    const int n = kGrid * kGrid, f = kTriangles, e = int(faces.size());
    bool ok = out.SendStringCommand(Cmd::NEW_GRAPHIC, "surface") && out.BeginLoadGraphic() &&
              out.WriteToken(Tok::VERTICES) && out.WriteIntDataBlock(&n, 1, 1) &&
              out.WriteIntDataBlock(xyz.data(), 3 * n, 0) && out.WriteToken(Tok::VERTEX_COLORS) &&
              out.WriteIntDataBlock(&n, 1, 1) && out.WriteIntDataBlock(values.data(), n, 0) &&
              out.WriteToken(Tok::FACES) && out.WriteIntDataBlock(&f, 1, 2) && out.WriteIntDataBlock(&e, 1, 1) &&
              out.WriteIntDataBlock(faces.data(), e, 0) && out.EndLoadGraphic();
    out.writeHandle = -1;
    std::vector<char> bytes(size_t(lseek(fd, 0, SEEK_END)));
    ok = ok && pread(fd, bytes.data(), bytes.size(), 0) == ssize_t(bytes.size());
    close(fd);
    unlink(path);
    if (!ok) bytes.clear();
    return bytes;
}

const std::vector<char>& Stream(int k) {
    static std::map<int, std::vector<char>> streams;
    auto it = streams.find(k);
    if (it == streams.end()) it = streams.emplace(k, Compose(k)).first;
    return it->second;
}

bool TcpPair(int& a, int& b) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    bool ok = bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && listen(listener, 1) == 0 &&
              getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) == 0;
    a = socket(AF_INET, SOCK_STREAM, 0);
    ok = ok && connect(a, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    b = ok ? accept(listener, nullptr, nullptr) : -1;
    close(listener);
    return ok && b >= 0;
}

std::thread Sender(int fd, const std::vector<char>& bytes) {
    return std::thread([fd, &bytes] { LinkStream::RawWrite(fd, bytes.data(), bytes.size()); });
}

void BM_RawReceive(benchmark::State& state) {
    const std::vector<char>& bytes = Stream(0);
    std::vector<char> sink(bytes.size());
    for (auto _ : state) {
        int out, in;
        if (!TcpPair(out, in)) state.SkipWithError("no loopback connection");
        std::thread sender = Sender(out, bytes);
        bool ok = LinkStream::RawRead(in, sink.data(), sink.size());
        sender.join();
        close(out);
        close(in);
        if (!ok) state.SkipWithError("receive failed");
    }
    state.counters["MB"] = double(bytes.size()) / 1e6;
}

void LoadIntoViewer(benchmark::State& state, int k) {
    const std::vector<char>& bytes = Stream(k);
    vkoViewer* viewer = CreateViewer(nullptr, true, true, "bench -n");
    std::unique_ptr<krvViewer> box(viewer->Widget());
    viewer->link.compressBufferSize = k;
    for (auto _ : state) {
        int out, in;
        if (!TcpPair(out, in)) state.SkipWithError("no loopback connection");
        viewer->link.readHandle = in;
        viewer->link.readIsSocket = true;
        std::thread sender = Sender(out, bytes);
        // NEW_GRAPHIC, then LOAD_GRAPHIC: loaded when the object holds the mesh.
        vkoGraphicObj* object = nullptr;
        while (!(object = viewer->FindGraphic("surface")) || !object->data || object->data->numFaces != kTriangles) {
            if (viewer->link.readHandle < 0) break;
            // Wait for bytes here: CheckForCommand (1) would also wait out its
            // second after the last command.
            pollfd p{in, POLLIN, 0};
            ::poll(&p, 1, 1000);
            viewer->CheckForCommand(-1);
        }
        sender.join();
        bool ok = object && object->data && object->data->numFaces == kTriangles;
        state.PauseTiming();
        viewer->link.readHandle = -1;
        close(out);
        close(in);
        if (viewer->SelectGraphic("surface")) viewer->DeleteCurGraphic();
        state.ResumeTiming();
        if (!ok) state.SkipWithError("the object did not load");
    }
    state.counters["MB"] = double(bytes.size()) / 1e6;
}

void BM_ViewerLoadRaw(benchmark::State& state) { LoadIntoViewer(state, 0); }
void BM_ViewerLoadK65536(benchmark::State& state) { LoadIntoViewer(state, 65536); }

BENCHMARK(BM_RawReceive)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3)->UseRealTime();
BENCHMARK(BM_ViewerLoadRaw)->Unit(benchmark::kMillisecond)->Iterations(2)->Repetitions(2)->UseRealTime();
BENCHMARK(BM_ViewerLoadK65536)->Unit(benchmark::kMillisecond)->Iterations(2)->Repetitions(2)->UseRealTime();

// Keeps the fastest repetition of every benchmark (wall time).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.iterations == 0 || r.error_occurred) continue;
            double t = r.real_accumulated_time / double(r.iterations);
            auto it = best_.find(r.run_name.function_name);
            if (it == best_.end() || t < it->second) best_[r.run_name.function_name] = t;
        }
    }
    double best(const std::string& name) const {
        auto it = best_.find(name);
        return it == best_.end() ? std::numeric_limits<double>::quiet_NaN() : it->second;
    }

private:
    std::map<std::string, double> best_;
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    platform::SetMessageHandler([](platform::MessageIcon, const std::string&, const std::string& text) {
        std::fprintf(stderr, "Viewer: %s", text.c_str());
    });
    benchmark::Initialize(&argc, argv);
    Stream(0);
    Stream(65536);  // compose outside the timings
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double raw = reporter.best("BM_RawReceive"), load = reporter.best("BM_ViewerLoadRaw"),
                 packed = reporter.best("BM_ViewerLoadK65536");
    std::printf("%d triangles: stream %.1f MB raw, %.1f MB with K = 65536\n", kTriangles, Stream(0).size() / 1e6,
                Stream(65536).size() / 1e6);
    std::printf("raw receive %.3f s; viewer load raw %.3f s (ratio %.2f); viewer load K = 65536 %.3f s (ratio %.2f)\n",
                raw, load, load / raw, packed, packed / raw);
    benchmark::Shutdown();
    return 0;
}
