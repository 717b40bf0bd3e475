#pragma once

// Happens-before edges for ThreadSanitizer where the synchronisation between two threads lies
// inside Qt, which is not built with it: a queued call travels through Qt's event queue and a
// blocking one waits on Qt's own semaphore, and QThread::wait ends on Qt's own condition.
// ThreadSanitizer sees none of these and would report every hand-over as a race. Without
// ThreadSanitizer everything here compiles to nothing.

#include <utility>

#if defined(__SANITIZE_THREAD__)
#define LARKSPAN_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define LARKSPAN_THREAD_SANITIZER 1
#endif
#endif

#ifdef LARKSPAN_THREAD_SANITIZER
// The ThreadSanitizer runtime's annotation interface.
extern "C" void AnnotateHappensBefore(const char* file, int line, const volatile void* address);
extern "C" void AnnotateHappensAfter(const char* file, int line, const volatile void* address);
#endif

namespace larkspan {

// Everything the calling thread did so far happens before whatever another thread does after
// a HappensAfter with the same address.
inline void HappensBefore([[maybe_unused]] const volatile void* address) {
#ifdef LARKSPAN_THREAD_SANITIZER
    AnnotateHappensBefore(__FILE__, __LINE__, address);
#endif
}

inline void HappensAfter([[maybe_unused]] const volatile void* address) {
#ifdef LARKSPAN_THREAD_SANITIZER
    AnnotateHappensAfter(__FILE__, __LINE__, address);
#endif
}

// The address every hand-over to the main thread synchronises on.
inline const char kHandOverEdge = 0;

// A routine handed to another thread through a Qt queued call. Qt moves the routine into its
// own call object before it posts it, so the edge is made when that move is done: the routine's
// captures and Qt's call object are then published with everything before them. Running it
// first takes that edge, and publishes what the routine did for the thread that waits for it
// (which then calls HappensAfter(&kHandOverEdge)).
template <typename Routine> class HandedOver {
public:
    explicit HandedOver(Routine routine) : routine_(std::move(routine)) {}
    HandedOver(HandedOver&& other) : routine_(std::move(other.routine_)) {
        HappensBefore(&kHandOverEdge);
    }
    HandedOver(const HandedOver& other) : routine_(other.routine_) {
        HappensBefore(&kHandOverEdge);
    }
    HandedOver& operator=(const HandedOver&) = delete;
    HandedOver& operator=(HandedOver&&) = delete;
    // Qt destroys its call object on the receiving thread, also when it drops the call unrun.
    ~HandedOver() { HappensAfter(&kHandOverEdge); }

    void operator()() {
        HappensAfter(&kHandOverEdge);
        struct Publish {
            ~Publish() { HappensBefore(&kHandOverEdge); }
        } publish;
        routine_();
    }

private:
    Routine routine_;
};

} // namespace larkspan
