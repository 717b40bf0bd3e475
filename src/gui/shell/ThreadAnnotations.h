#pragma once

// Happens-before edges for ThreadSanitizer where two threads synchronise inside Qt, which is not
// built with it (Qt's event queue, semaphore, QThread::wait): without them every hand-over would
// be reported as a race. Without ThreadSanitizer everything here compiles to nothing.

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

// A routine handed to another thread through a Qt queued call. The edge is made when Qt moves
// the routine into its call object, which publishes the captures along with that object;
// running it takes the edge and publishes what it did for the waiting thread (which then calls
// HappensAfter(&kHandOverEdge)).
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
