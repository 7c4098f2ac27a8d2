// Loading a 1M-triangle mesh (500k vertices, triangle FACES, per-vertex
// colours) from a socket pair into a graphic object, normals and adjacency
// included, beside a plain receive of the same bytes.  Prints the ratio of
// the medians.
#include <benchmark/benchmark.h>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "link/LinkStream.h"
#include "platform/Memory.h"
#include "scene/GraphicData.h"
#include "scene/vkoGraphicObj.h"

namespace {

// The token stream of one object: a 1000 x 500 grid of vertices on a wavy
// surface, two triangles per cell, a colour value per vertex.
const std::vector<char>& Stream() {
    static std::vector<char> bytes = [] {
        const int nu = 1000, nv = 500;
        std::vector<float> coords;
        coords.reserve(size_t(3) * nu * nv);
        for (int j = 0; j < nv; ++j)
            for (int i = 0; i < nu; ++i) {
                coords.push_back(float(i));
                coords.push_back(float(j));
                coords.push_back(float(std::sin(i * 0.05) * std::cos(j * 0.05)));
            }
        std::vector<int> faces;
        int numFaces = 0;
        for (int j = 0; j + 1 < nv; ++j)
            for (int i = 0; i + 1 < nu; ++i) {
                int a = j * nu + i, b = a + 1, c = a + nu + 1, d = a + nu;
                faces.insert(faces.end(), {3, a, b, c, 3, a, c, d});
                numFaces += 2;
            }
        vkoGraphicObj source(nullptr, "mesh");
        source.appendMesh(nu * nv, coords.data(), 0, nullptr, numFaces, int(faces.size()), faces.data());
        GraphicData& d = *source.data;
        d.vertexColours.resize(size_t(nu) * nv);
        for (size_t k = 0; k < d.vertexColours.size(); ++k) d.vertexColours[k] = float(k % 977) / 977.0f;
        d.vertexColour = -1.0f;
        d.colourMap->entries = {0, 0, 0, 1, 0.5f, 0, 1, 0, 1, 1, 0, 0};
        d.colourMap->numEntries = 3;

        char path[] = "/tmp/loader_benchXXXXXX";
        int fd = mkstemp(path);
        LinkStream out;
        out.writeHandle = fd;
        d.SaveData(out);
        out.WriteToken(LinkStream::Tok::DONE);
        out.writeHandle = -1;
        std::vector<char> all(size_t(lseek(fd, 0, SEEK_END)));
        lseek(fd, 0, SEEK_SET);
        size_t got = 0;
        while (got < all.size()) {
            ssize_t n = read(fd, all.data() + got, all.size() - got);
            if (n <= 0) break;
            got += size_t(n);
        }
        close(fd);
        unlink(path);
        return all;
    }();
    return bytes;
}

struct Pair {
    int sv[2];
    Pair() {
        socketpair(AF_UNIX, SOCK_STREAM, 0, sv);
        int size = 4 << 20;
        setsockopt(sv[0], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        setsockopt(sv[1], SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    ~Pair() {
        close(sv[0]);
        close(sv[1]);
    }
};

void sendAll(int fd, const std::vector<char>& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += size_t(n);
    }
}

// One plain receive of the stream, in seconds.
double PlainReceive(std::vector<char>& sink) {
    const auto& bytes = Stream();
    Pair p;
    std::thread writer(sendAll, p.sv[0], std::cref(bytes));
    auto t0 = std::chrono::steady_clock::now();
    size_t got = 0;
    while (got < bytes.size()) {
        ssize_t n = recv(p.sv[1], sink.data() + got, bytes.size() - got, 0);
        if (n <= 0) break;
        got += size_t(n);
    }
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    writer.join();
    return s;
}

// One load of the stream into a new object, in seconds (negative: failed).
double LoadIntoObject() {
    const auto& bytes = Stream();
    Pair p;
    std::thread writer(sendAll, p.sv[0], std::cref(bytes));
    vkoGraphicObj object(nullptr, "loaded");
    LinkStream in;
    in.readHandle = p.sv[1];
    in.readIsSocket = true;
    auto t0 = std::chrono::steady_clock::now();
    bool ok = object.loadData(&in);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    in.readHandle = -1;
    writer.join();
    if (!ok || !object.data || object.data->numFaces == 0) return -1.0;
    return s;
}

std::vector<double> g_receive, g_load;

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : 0.5 * (v[v.size() / 2 - 1] + v[v.size() / 2]);
}

// Receives and loads take turns, so that both see the same state of a
// shared machine; the ratio is taken between their medians.
void BM_ReceiveThenLoad(benchmark::State& state) {
    std::vector<char> sink(Stream().size());
    for (auto _ : state) {
        const double r = PlainReceive(sink);
        const double l = LoadIntoObject();
        if (l < 0) {
            state.SkipWithError("load failed");
            break;
        }
        g_receive.push_back(r);
        g_load.push_back(l);
        state.SetIterationTime(r + l);
    }
    state.counters["MB"] = double(Stream().size()) / 1e6;
}

}  // namespace

BENCHMARK(BM_ReceiveThenLoad)->Iterations(15)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    // As in the stand-alone viewer: freed memory stays with the process, so
    // a load that replaces the previous one (the next time step) reuses it.
    platform::RetainFreedMemory();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    const double receive = Median(g_receive), load = Median(g_load);
    if (receive > 0)
        std::printf("load / plain receive (medians of %zu): %.2fx (goal <= 3x); %.1f ms against %.1f ms\n",
                    g_load.size(), load / receive, 1e3 * load, 1e3 * receive);
    return 0;
}
