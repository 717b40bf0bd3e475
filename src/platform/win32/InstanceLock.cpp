// The single-instance guard: a named mutex. The system drops a process's handles when it ends,
// so a crashed copy never leaves the name taken.

#include "platform/Platform.h"

#include "platform/win32/Win32.h"

namespace larkspan::platform {

namespace {

class MutexInstanceLock final : public InstanceLock {
public:
    explicit MutexInstanceLock(HANDLE mutex) : mutex_(mutex) {}
    ~MutexInstanceLock() override {
        // Only the thread that created the mutex owns it; from any other thread closing the
        // handle is what ends the object (and with it the name).
        ::ReleaseMutex(mutex_);
        ::CloseHandle(mutex_);
    }
    MutexInstanceLock(const MutexInstanceLock&) = delete;
    MutexInstanceLock& operator=(const MutexInstanceLock&) = delete;

private:
    HANDLE mutex_;
};

} // namespace

std::unique_ptr<InstanceLock> AcquireInstanceLock(const std::string& name) {
    // A backslash would pick a namespace ("Global\..."); the name lives in the session's own,
    // so a copy started by another logged-on user is not refused.
    if (name.empty() || name.find_first_of(std::string("\\\0", 2)) != std::string::npos) {
        return nullptr;
    }
    const std::wstring wideName = win32::Widen(name);
    // Default security: the handle is not inheritable, so a program started while the lock is
    // held cannot keep the name taken after this copy has ended.
    ::SetLastError(ERROR_SUCCESS);
    const HANDLE mutex = ::CreateMutexW(nullptr, TRUE, wideName.c_str());
    const DWORD lastError = ::GetLastError();
    // Any error counts, not only ERROR_ALREADY_EXISTS: a name taken by an object of another
    // kind gives a null handle and ERROR_INVALID_HANDLE.
    if (mutex == nullptr || lastError != ERROR_SUCCESS) {
        if (mutex != nullptr) {
            ::CloseHandle(mutex); // another copy's mutex: our handle must not keep it alive
        }
        return nullptr;
    }
    return std::make_unique<MutexInstanceLock>(mutex);
}

} // namespace larkspan::platform
