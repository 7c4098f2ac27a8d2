#include "geometry/LODThread.h"

#include "geometry/Decimator.h"
#include "scene/GraphicData.h"

LODThread::LODThread(GraphicData* data) : data_(data) {}

LODThread::~LODThread() {
    requestAbort();
    wait();
}

void LODThread::run() {
    MeshRecord reduced;
    const bool done = Decimator::Reduce(*data_, errorBound_, &abort_, reduced);
    if (!done || abort_.load(std::memory_order_relaxed)) {
        // Aborted or out of memory: nothing of this run is kept.
        data_->reduced.clear();
    } else {
        data_->reduced = std::move(reduced);
    }
    // Release: the reduced mesh is complete before the flag says so.
    published_.store(done, std::memory_order_release);
}
