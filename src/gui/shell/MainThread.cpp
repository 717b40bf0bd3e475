#include "gui/shell/MainThread.h"

#include "gui/shell/ThreadAnnotations.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

namespace larkspan {

namespace {

struct HandOver {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool ran = false;
    std::exception_ptr error;
};

// Whether routines may still run, and on which application object. Never destroyed: a worker
// may pass through it while the process runs its exit handlers.
struct Gate {
    std::mutex mutex;
    QCoreApplication* app = nullptr;
    bool open = false;
    // Hand-overs whose workers wait. Closing the gate wakes them: a call posted just as the
    // event loop ended would otherwise only be discarded with the application object, and its
    // worker would wait until then.
    std::set<std::shared_ptr<HandOver>> waiting;
};

Gate& TheGate() {
    static auto* gate = new Gate;
    return *gate;
}

void CloseGate() {
    Gate& gate = TheGate();
    const std::lock_guard lock(gate.mutex);
    gate.open = false;
    gate.app = nullptr;
    for (const std::shared_ptr<HandOver>& handOver : gate.waiting) {
        const std::lock_guard wake(handOver->mutex);
        handOver->done = true;
        handOver->finished.notify_all();
    }
    gate.waiting.clear();
}

bool GateOpen() {
    Gate& gate = TheGate();
    const std::lock_guard lock(gate.mutex);
    return gate.open;
}

bool WorkerLetGo(HandOver& handOver) {
    const std::lock_guard lock(handOver.mutex);
    return handOver.done;
}

// Owned by the posted call; wakes the worker when the call is destroyed, whether it ran or was
// discarded unrun with the application object's pending events.
struct HandOverSignal {
    std::shared_ptr<HandOver> handOver;
    explicit HandOverSignal(std::shared_ptr<HandOver> h) : handOver(std::move(h)) {}
    HandOverSignal(const HandOverSignal&) = delete;
    HandOverSignal& operator=(const HandOverSignal&) = delete;
    ~HandOverSignal() {
        const std::lock_guard lock(handOver->mutex);
        handOver->done = true;
        handOver->finished.notify_all();
    }
};

} // namespace

void WatchProgramEnd() {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() != app->thread()) {
        return;
    }
    Gate& gate = TheGate();
    const std::lock_guard lock(gate.mutex);
    if (gate.app == app) {
        return;
    }
    gate.app = app;
    gate.open = true;
    // The event loop's end closes the gate: after it the windows are destroyed, while a routine
    // posted meanwhile could still be delivered by the teardown. Post routines run first thing
    // in the application object's destructor, for a program that never ran its loop.
    QObject::connect(app, &QCoreApplication::aboutToQuit, app, &CloseGate);
    qAddPostRoutine(CloseGate);
}

void RunOnMainThread(const std::function<void()>& routine) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && QThread::currentThread() == app->thread()) {
        WatchProgramEnd();
        routine();
        return;
    }
    auto handOver = std::make_shared<HandOver>();
    {
        auto signal = std::make_shared<HandOverSignal>(handOver);
        Gate& gate = TheGate();
        const std::lock_guard lock(gate.mutex);
        if (!gate.open) {
            throw MainThreadGone();
        }
        gate.waiting.insert(handOver);
        QMetaObject::invokeMethod(gate.app, HandedOver([signal, &routine] {
                                      // The loop may have ended while the call waited to be
                                      // delivered, and its worker may have been let go: the
                                      // routine belongs to the worker's stack.
                                      if (!GateOpen() || WorkerLetGo(*signal->handOver)) {
                                          return;
                                      }
                                      try {
                                          routine();
                                      } catch (...) {
                                          signal->handOver->error = std::current_exception();
                                      }
                                      signal->handOver->ran = true;
                                  }),
                                  Qt::QueuedConnection);
    }
    {
        std::unique_lock lock(handOver->mutex);
        handOver->finished.wait(lock, [&] { return handOver->done; });
    }
    {
        Gate& gate = TheGate();
        const std::lock_guard lock(gate.mutex);
        gate.waiting.erase(handOver);
    }
    if (!handOver->ran) {
        throw MainThreadGone();
    }
    if (handOver->error) {
        std::rethrow_exception(handOver->error);
    }
}

} // namespace larkspan
