// Reading big geometry blocks through LinkStream over a socket pair, each
// beside a baseline measured in the same run:
//   raw (K = 0)        LinkStream::ReadIntDataBlock  vs  plain recv of the same bytes
//   compressed (K=64K) LinkStream::ReadIntDataBlock  vs  bare zlib inflate of the same
//                                                        compressed bytes (in memory)
// Payloads: 1M vertices (3M floats, 12 MB) and 2M triangles in FACES form
// (count 3 + 3 indices each: 8M ints, 32 MB).  A writer thread sends the
// prepared wire bytes with plain sends in every socket case, so the writer
// costs the same on both sides of a ratio.  Goals: raw >= 0.5 x the plain
// receive throughput, compressed >= 0.8 x bare inflate.  The ratios are
// printed after the benchmark table.
#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/LinkStream.h"
#include "platform/Sockets.h"

namespace {

enum Payload { kVertices = 0, kFaces = 1 };
const char* const kPayloadName[2] = {"vertices_1M", "faces_2M"};
constexpr int kCompressed = 65536;

// ---------------------------------------------------------------- data

std::vector<uint32_t> MakeVertices() {
    const int w = 1000, h = 1000;
    std::vector<float> v;
    v.reserve(size_t(w) * h * 3);
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            float x = float(i) * 0.01f, y = float(j) * 0.01f;
            v.push_back(x);
            v.push_back(y);
            v.push_back(0.3f * std::sin(x * 3.0f) * std::cos(y * 2.0f));
        }
    std::vector<uint32_t> out(v.size());
    std::memcpy(out.data(), v.data(), v.size() * 4);
    return out;
}

std::vector<uint32_t> MakeFaces() {
    const int w = 1001;  // 1001 x 1001 vertices: 1000 x 1000 quads, 2M triangles
    std::vector<uint32_t> f;
    f.reserve(size_t(2000000) * 4);
    for (int j = 0; j < 1000; ++j)
        for (int i = 0; i < 1000; ++i) {
            uint32_t a = uint32_t(j * w + i), b = a + 1, c = a + uint32_t(w), d = c + 1;
            f.insert(f.end(), {3u, a, b, d, 3u, a, d, c});
        }
    return f;
}

struct Prepared {
    std::vector<uint32_t> values;
    std::string wire[2];  // [0] raw, [1] K = 65536: header + payload as sent
};

// The wire bytes that LinkStream's writing side produces for one block.
std::string WireOf(const std::vector<uint32_t>& values, int k) {
    int fd = memfd_create("link_bench", MFD_CLOEXEC);
    LinkStream s;
    s.compressBufferSize = k;
    s.writeHandle = fd;
    if (!s.WriteIntDataBlock(values.data(), int(values.size()), 0)) std::abort();
    off_t size = ::lseek(fd, 0, SEEK_END);
    std::string out(size_t(size), '\0');
    if (::pread(fd, out.data(), out.size(), 0) != size) std::abort();
    ::close(fd);
    return out;
}

const Prepared& Data(int payload) {
    static Prepared data[2];
    static std::once_flag once[2];
    std::call_once(once[payload], [payload] {
        Prepared& p = data[payload];
        p.values = payload == kVertices ? MakeVertices() : MakeFaces();
        p.wire[0] = WireOf(p.values, 0);
        p.wire[1] = WireOf(p.values, kCompressed);
    });
    return data[payload];
}

// ---------------------------------------------------------------- timing record

// Per-iteration times of each case: the mean, and the fastest iteration,
// which is what the ratios use (the machine may be busy with other work;
// the fastest iteration shows what each side can do).
struct Times {
    double mean = 0;
    double best = 0;
};
std::mutex g_mutex;
std::map<std::string, Times> g_times;

void Record(const std::string& name, double seconds, double best, int64_t iterations) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_times[name] = Times{seconds / double(iterations), best};
}

using Clock = std::chrono::steady_clock;
double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// ---------------------------------------------------------------- socket pair with a writer

struct Pair {
    int fd[2] = {-1, -1};
    Pair() {
        platform::StartSocketLibrary();
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fd) != 0) std::abort();
    }
    ~Pair() {
        ::close(fd[0]);
        ::close(fd[1]);
    }
};

void SendAll(int fd, const std::string& bytes) {
    const char* p = bytes.data();
    size_t n = bytes.size();
    while (n > 0) {
        ssize_t r = ::send(fd, p, n, MSG_NOSIGNAL);
        if (r <= 0) return;
        p += r;
        n -= size_t(r);
    }
}

// ---------------------------------------------------------------- benchmarks

void BM_LinkRead(benchmark::State& state) {
    const int payload = int(state.range(0));
    const bool compressed = state.range(1) != 0;
    const Prepared& p = Data(payload);
    const std::string& wire = p.wire[compressed ? 1 : 0];
    std::vector<uint32_t> dst(p.values.size());
    Pair pair;
    LinkStream s;
    s.compressBufferSize = compressed ? kCompressed : 0;
    s.readHandle = pair.fd[0];
    s.readIsSocket = true;
    double seconds = 0, best = 1e9;
    for (auto _ : state) {
        auto t0 = Clock::now();
        std::thread writer([&] { SendAll(pair.fd[1], wire); });
        int r = s.ReadIntDataBlock(dst.data(), int(dst.size()));
        writer.join();
        double t = Seconds(Clock::now() - t0);
        seconds += t;
        best = std::min(best, t);
        if (r != 0) state.SkipWithError("read failed");
    }
    if (dst != p.values) state.SkipWithError("wrong data");
    state.SetBytesProcessed(state.iterations() * int64_t(p.values.size() * 4));
    Record(std::string("link_") + (compressed ? "zlib_" : "raw_") + kPayloadName[payload], seconds, best,
           state.iterations());
}

void BM_PlainRecv(benchmark::State& state) {
    const int payload = int(state.range(0));
    const Prepared& p = Data(payload);
    const std::string& wire = p.wire[0];
    std::vector<char> dst(wire.size());
    Pair pair;
    double seconds = 0, best = 1e9;
    for (auto _ : state) {
        auto t0 = Clock::now();
        std::thread writer([&] { SendAll(pair.fd[1], wire); });
        size_t got = 0;
        while (got < dst.size()) {
            ssize_t r = ::recv(pair.fd[0], dst.data() + got, dst.size() - got, 0);
            if (r <= 0) break;
            got += size_t(r);
        }
        writer.join();
        double t = Seconds(Clock::now() - t0);
        seconds += t;
        best = std::min(best, t);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(p.values.size() * 4));
    Record(std::string("recv_") + kPayloadName[payload], seconds, best, state.iterations());
}

void BM_BareInflate(benchmark::State& state) {
    const int payload = int(state.range(0));
    const Prepared& p = Data(payload);
    const std::string& wire = p.wire[1];
    const size_t header = 8;
    std::vector<uint32_t> dst(p.values.size());
    double seconds = 0, best = 1e9;
    for (auto _ : state) {
        auto t0 = Clock::now();
        z_stream z{};
        inflateInit(&z);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(wire.data() + header));
        z.avail_in = uInt(wire.size() - header);
        z.next_out = reinterpret_cast<Bytef*>(dst.data());
        z.avail_out = uInt(dst.size() * 4);
        int r = inflate(&z, Z_FINISH);
        inflateEnd(&z);
        double t = Seconds(Clock::now() - t0);
        seconds += t;
        best = std::min(best, t);
        if (r != Z_STREAM_END) state.SkipWithError("inflate failed");
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(p.values.size() * 4));
    Record(std::string("inflate_") + kPayloadName[payload], seconds, best, state.iterations());
}

BENCHMARK(BM_PlainRecv)->Arg(kVertices)->Arg(kFaces)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.5);
BENCHMARK(BM_LinkRead)
    ->Args({kVertices, 0})
    ->Args({kFaces, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.5);
BENCHMARK(BM_BareInflate)->Arg(kVertices)->Arg(kFaces)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.5);
BENCHMARK(BM_LinkRead)
    ->Args({kVertices, 1})
    ->Args({kFaces, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.5);

void PrintSummary() {
    std::printf("\nLinkStream read throughput relative to its baseline (same run; ratio = baseline time / LinkStream"
                " time,\nfrom the fastest iteration of each; the ratio of the mean times in brackets):\n");
    for (int payload : {kVertices, kFaces}) {
        const std::string name = kPayloadName[payload];
        const Prepared& p = Data(payload);
        auto ratio = [&](const std::string& base, const std::string& ours, double goal, const char* what) {
            auto b = g_times.find(base), o = g_times.find(ours);
            if (b == g_times.end() || o == g_times.end()) return;
            double r = b->second.best / o->second.best;
            double rMean = b->second.mean / o->second.mean;
            std::printf("  %-12s %-8s LinkStream %6.1f ms, %-20s %6.1f ms: ratio %.2f [%.2f] (goal >= %.1f) %s\n",
                        name.c_str(), what, o->second.best * 1e3, base.c_str(), b->second.best * 1e3, r, rMean, goal,
                        r >= goal ? "ok" : "BELOW GOAL");
        };
        ratio("recv_" + name, "link_raw_" + name, 0.5, "raw");
        ratio("inflate_" + name, "link_zlib_" + name, 0.8, "K=65536");
        std::printf("  %-12s payload %zu bytes, compressed wire %zu bytes\n", name.c_str(), p.values.size() * 4,
                    p.wire[1].size());
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintSummary();
    return 0;
}
