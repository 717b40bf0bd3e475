#include "app/Synchronize.h"

#include "app/ThreadAnnotations.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <exception>

namespace larkspan {

void Synchronize(const std::function<void()>& routine) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        routine();
        return;
    }
    // A blocking queued call is delivered by any event loop of the main thread, the modal loop
    // of an open message box included. The routine's error must not escape into that loop: it
    // is caught there and raised again here, in the thread that asked for the routine.
    std::exception_ptr error;
    QMetaObject::invokeMethod(app, HandedOver([&routine, &error] {
                                  try {
                                      routine();
                                  } catch (...) {
                                      error = std::current_exception();
                                  }
                              }),
                              Qt::BlockingQueuedConnection);
    HappensAfter(&kHandOverEdge); // the wait ended on Qt's semaphore
    if (error) {
        std::rethrow_exception(error);
    }
}

} // namespace larkspan
