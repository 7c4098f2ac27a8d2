#pragma once
// Background worker that builds the reduced (level-of-detail) copy of one
// object's faces.  The GUI thread starts it, polls isRunning() and reads the
// reduced mesh only once it has seen the worker stop (resultsPublished()).
// The worker reads its object's vertices, values and faces and writes only
// the reduced-mesh fields; while it runs the GUI thread changes neither.
#include <QThread>
#include <atomic>

class GraphicData;

class LODThread : public QThread {
public:
    explicit LODThread(GraphicData* data);
    // Aborts and waits for a running reduction.
    ~LODThread() override;

    // Set by the GUI thread; the worker polls it between steps and in its
    // loops and then ends without publishing anything.
    void requestAbort() { abort_.store(true, std::memory_order_relaxed); }
    // Prepares the next run (worker idle): its error bound, no result yet
    // and no abort pending from an earlier run.
    void setErrorBound(float bound) {
        errorBound_ = bound;
        published_.store(false, std::memory_order_relaxed);
        abort_.store(false, std::memory_order_relaxed);
    }
    float errorBound() const { return errorBound_; }
    // GUI thread, after isRunning() gave false: whether the last run wrote a
    // reduced mesh.  Orders the worker's writes before the caller's reads.
    bool resultsPublished() const { return published_.load(std::memory_order_acquire); }
    // GUI thread, worker stopped: the last result no longer counts.
    void discardResult() { published_.store(false, std::memory_order_relaxed); }

protected:
    void run() override;

private:
    GraphicData* const data_;
    std::atomic<bool> abort_{false};
    std::atomic<bool> published_{false};
    float errorBound_ = 0.0f;
};
