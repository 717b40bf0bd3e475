#include "platform/win32/Spawn.h"

#include "platform/Policy.h"
#include <algorithm>

#include <cwchar>
#include <utility>
#include <vector>

namespace larkspan::platform::win32 {

namespace {

// An inheritable copy of `handle`, or an empty one when there is none to copy (a program
// without a console has no standard input).
void InheritableCopy(HANDLE handle, UniqueHandle& copy) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), copy.Receive(), 0,
                           TRUE, DUPLICATE_SAME_ACCESS)) {
        copy.Reset(nullptr);
    }
}

// The attribute list that names the only handles a child inherits.
class HandleList {
public:
    explicit HandleList(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (!::InitializeProcThreadAttributeList(list, 1, 0, &size)) {
            return;
        }
        list_ = list;
        if (!::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                         handles_.data(), handles_.size() * sizeof(HANDLE), nullptr,
                                         nullptr)) {
            ::DeleteProcThreadAttributeList(list_);
            list_ = nullptr;
        }
    }
    ~HandleList() {
        if (list_ != nullptr) {
            ::DeleteProcThreadAttributeList(list_);
        }
    }
    HandleList(const HandleList&) = delete;
    HandleList& operator=(const HandleList&) = delete;

    LPPROC_THREAD_ATTRIBUTE_LIST Get() const { return list_; }

private:
    std::vector<HANDLE> handles_;
    std::vector<unsigned char> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// The program's environment block with `added` set on top: "NAME=value" entries, each ending in
// a zero, and one more zero at the end. Names are compared as Windows compares them, ignoring
// case. The entries are taken as they are, without a round trip through UTF-8.
std::wstring EnvironmentBlock(const EnvironmentVariables& added) {
    std::vector<std::wstring> inherited;
    if (wchar_t* strings = ::GetEnvironmentStringsW()) {
        for (const wchar_t* entry = strings; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
            inherited.emplace_back(entry);
        }
        ::FreeEnvironmentStringsW(strings);
    }
    std::vector<std::pair<std::wstring, std::wstring>> wide;
    for (const auto& [name, value] : added) {
        wide.emplace_back(Widen(name), Widen(value));
    }
    std::wstring block;
    for (const std::wstring& entry : policy::EnvironmentWith(std::move(inherited), wide, true)) {
        block += entry;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

} // namespace

bool MakePipe(UniqueHandle& readEnd, UniqueHandle& writeEnd) {
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof attributes;
    attributes.bInheritHandle = FALSE;
    HANDLE ends[2] = {nullptr, nullptr};
    if (!::CreatePipe(&ends[0], &ends[1], &attributes, 0)) {
        return false;
    }
    readEnd.Reset(ends[0]);
    writeEnd.Reset(ends[1]);
    return true;
}

bool StartChild(ChildStart start, PROCESS_INFORMATION& started, DWORD& lastError) {
    // Every handle of ours is created non-inheritable. The child's standard handles are
    // inheritable copies that live only for this call, and the handle list makes them the only
    // ones it inherits: a child that another thread starts at the same moment through this
    // function gets none of them, and ours none of its, so each run sees end-of-data when its
    // own child is done. (Marking the originals inheritable would not give that: any child
    // started with inheritance while they are marked takes them all.)
    UniqueHandle input;
    UniqueHandle output;
    UniqueHandle error;
    InheritableCopy(start.input != nullptr ? start.input : ::GetStdHandle(STD_INPUT_HANDLE), input);
    InheritableCopy(start.output, output);
    if (start.error == start.output) {
        error.Reset(nullptr);
    } else {
        InheritableCopy(start.error, error);
    }
    std::vector<HANDLE> inherited;
    for (const UniqueHandle* handle : {&input, &output, &error}) {
        if (*handle) {
            inherited.push_back(handle->Get());
        }
    }
    const HandleList list(inherited);
    if (!inherited.empty() && list.Get() == nullptr) {
        lastError = ::GetLastError();
        return false;
    }

    STARTUPINFOEXW info{};
    info.StartupInfo.cb = sizeof info;
    info.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    if (start.hidden) {
        info.StartupInfo.dwFlags |= STARTF_USESHOWWINDOW;
        info.StartupInfo.wShowWindow = SW_HIDE;
    }
    info.StartupInfo.hStdInput = input.Get();
    info.StartupInfo.hStdOutput = output.Get();
    info.StartupInfo.hStdError = start.error == start.output ? output.Get() : error.Get();
    info.lpAttributeList = list.Get();

    std::wstring environment;
    if (start.environment != nullptr && !start.environment->empty()) {
        environment = EnvironmentBlock(*start.environment);
    }

    started = PROCESS_INFORMATION{};
    const DWORD flags = start.flags | (list.Get() != nullptr ? EXTENDED_STARTUPINFO_PRESENT : 0) |
                        (environment.empty() ? 0 : CREATE_UNICODE_ENVIRONMENT);
    // CreateProcessW may write into the command line, so it gets a copy of its own.
    if (!::CreateProcessW(start.application, start.commandLine.data(), nullptr, nullptr,
                          inherited.empty() ? FALSE : TRUE, flags,
                          environment.empty() ? nullptr : environment.data(), start.folder,
                          &info.StartupInfo, &started)) {
        lastError = ::GetLastError();
        return false;
    }
    lastError = ERROR_SUCCESS;
    return true;
}

bool MakeKillOnCloseJob(UniqueHandle& job) {
    job.Reset(::CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION killOnClose{};
    killOnClose.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    return job && ::SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation,
                                            &killOnClose, sizeof killOnClose);
}

void EndJobAndAwait(HANDLE job) {
    std::vector<ULONG_PTR> awaited;
    for (;;) {
        // Again each round: a process that was being started as the job ended joins it late.
        ::TerminateJobObject(job, 1);
        // Room for the ids of a few processes; a job with more is asked again.
        struct {
            JOBOBJECT_BASIC_PROCESS_ID_LIST list;
            ULONG_PTR more[31];
        } ids{};
        if (!::QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof ids,
                                         nullptr) &&
            ::GetLastError() != ERROR_MORE_DATA) {
            break;
        }
        const DWORD count = std::min<DWORD>(ids.list.NumberOfProcessIdsInList, 32);
        bool fresh = false;
        for (DWORD i = 0; i < count; ++i) {
            const ULONG_PTR id = ids.list.ProcessIdList[i];
            // An ended process may still be listed while a handle to it is open.
            if (std::find(awaited.begin(), awaited.end(), id) != awaited.end()) {
                continue;
            }
            fresh = true;
            awaited.push_back(id);
            const UniqueHandle process(::OpenProcess(
                SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id)));
            BOOL inJob = FALSE;
            // Not opened: gone already. Not in the job: its id went to another process meanwhile.
            if (process && ::IsProcessInJob(process.Get(), job, &inJob) && inJob) {
                ::WaitForSingleObject(process.Get(), INFINITE);
            }
        }
        if (!fresh) {
            return;
        }
    }
    // Without the list of its processes, the job's count of live ones tells when it is empty.
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    while (::QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                       sizeof accounting, nullptr) &&
           accounting.ActiveProcesses > 0) {
        ::TerminateJobObject(job, 1);
        ::Sleep(5);
    }
}

} // namespace larkspan::platform::win32
