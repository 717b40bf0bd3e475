// Files and folders, through the wide calls so that any file name works.

#include "platform/Platform.h"

#include "platform/Policy.h"
#include "platform/win32/Win32.h"

#include <aclapi.h>

#include <cstdint>
#include <optional>
#include <random>
#include <vector>

namespace larkspan::platform {

namespace {

// The attributes of what `path` names, following a link (a symbolic link or junction) to its
// target as the POSIX stat() does; nothing when there is no such file or the link dangles.
std::optional<DWORD> TargetAttributes(const std::string& path) {
    std::wstring wide;
    if (!win32::WidePath(path, wide)) {
        return std::nullopt;
    }
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return std::nullopt;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return attributes;
    }
    // Opening without FILE_FLAG_OPEN_REPARSE_POINT follows the link; asking only for the
    // attributes needs no right to the data and meets no sharing conflict.
    const win32::UniqueHandle target(::CreateFileW(
        wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!target || !::GetFileInformationByHandle(target.Get(), &information)) {
        return std::nullopt;
    }
    return information.dwFileAttributes;
}

bool WriteAll(HANDLE file, std::string_view data) {
    while (!data.empty()) {
        const DWORD chunk = data.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(data.size());
        DWORD written = 0;
        if (!::WriteFile(file, data.data(), chunk, &written, nullptr) || written == 0) {
            return false;
        }
        data.remove_prefix(written);
    }
    return true;
}

// The full form of `path` and where its name starts; false when it names a folder ("C:\dir\")
// or cannot be a path at all.
bool SplitFullPath(const std::wstring& path, std::wstring& full, std::size_t& nameStart) {
    full.assign(MAX_PATH, L'\0');
    wchar_t* name = nullptr;
    for (;;) {
        const DWORD length =
            ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), &name);
        if (length == 0) {
            return false;
        }
        if (length < full.size()) {
            if (name == nullptr) {
                ::SetLastError(ERROR_PATH_NOT_FOUND);
                return false;
            }
            nameStart = static_cast<std::size_t>(name - full.data());
            full.resize(length);
            return true;
        }
        full.resize(length);
    }
}

std::uint64_t RandomNumber() {
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    return generator();
}

std::wstring PartialName() {
    return win32::Widen(policy::PartialFileName(RandomNumber()));
}

std::wstring UniqueSuffix() {
    wchar_t text[17];
    std::swprintf(text, 17, L"%016llx", static_cast<unsigned long long>(RandomNumber()));
    return text;
}

// Marks an open file to be deleted when its last handle closes, or takes the mark off again.
bool SetDeleteOnClose(HANDLE file, bool deleteIt) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = deleteIt ? TRUE : FALSE;
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                        sizeof disposition) != 0;
}

// Whether the file's owner is this user: the owner the process gives the files it creates
// (for an elevated administrator that is the Administrators group), or the user itself.
bool OwnedByThisUser(HANDLE file) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                          nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    bool same = false;
    win32::UniqueHandle token;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Receive())) {
        for (const TOKEN_INFORMATION_CLASS kind : {TokenOwner, TokenUser}) {
            DWORD size = 0;
            ::GetTokenInformation(token.Get(), kind, nullptr, 0, &size);
            std::vector<unsigned char> buffer(size);
            if (size == 0 ||
                !::GetTokenInformation(token.Get(), kind, buffer.data(), size, &size)) {
                continue;
            }
            // TOKEN_OWNER and TOKEN_USER both begin with the SID they name.
            const PSID sid = kind == TokenOwner
                                 ? reinterpret_cast<TOKEN_OWNER*>(buffer.data())->Owner
                                 : reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
            same = same || ::EqualSid(owner, sid) != 0;
        }
    }
    ::LocalFree(descriptor);
    return same;
}

} // namespace

std::string OpenForReadingError(const std::string& path) {
    std::wstring wide;
    if (!win32::WidePath(path, wide)) {
        return win32::ErrorText(ERROR_INVALID_NAME);
    }
    const win32::UniqueHandle file(::CreateFileW(
        wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? std::string() : win32::ErrorText(::GetLastError());
}

namespace {

// Only the attributes: no right to the data is needed and no writer is kept out.
win32::UniqueHandle OpenAttributes(const std::string& path) {
    std::wstring wide;
    if (!win32::WidePath(path, wide)) {
        return win32::UniqueHandle();
    }
    return win32::UniqueHandle(::CreateFileW(
        wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

std::uint64_t Join(DWORD high, DWORD low) {
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

std::string HandleFingerprint(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION identity{};
    if (!::GetFileInformationByHandle(file, &identity) ||
        (identity.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return {};
    }
    // The last-write time comes with the size; the change time is left out, since indexers,
    // backup tools and cloud-sync hydration move it without touching the content.
    const std::uint64_t written =
        Join(identity.ftLastWriteTime.dwHighDateTime, identity.ftLastWriteTime.dwLowDateTime);
    return std::to_string(identity.dwVolumeSerialNumber) + ':' +
           std::to_string(Join(identity.nFileIndexHigh, identity.nFileIndexLow)) + ':' +
           std::to_string(Join(identity.nFileSizeHigh, identity.nFileSizeLow)) + ':' +
           std::to_string(written);
}

} // namespace

std::string FileFingerprint(const std::string& path) {
    const win32::UniqueHandle file = OpenAttributes(path);
    return file ? HandleFingerprint(file.Get()) : std::string();
}

bool SameFile(const std::string& first, const std::string& second) {
    const win32::UniqueHandle a = OpenAttributes(first);
    const win32::UniqueHandle b = OpenAttributes(second);
    BY_HANDLE_FILE_INFORMATION one{};
    BY_HANDLE_FILE_INFORMATION other{};
    return a && b && ::GetFileInformationByHandle(a.Get(), &one) &&
           ::GetFileInformationByHandle(b.Get(), &other) && SameFile(one, other);
}

bool OtherThanFileAt(const std::string& path) {
    const auto attributes = TargetAttributes(path);
    if (!attributes) {
        return false;
    }
    if ((*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return true;
    }
    const win32::UniqueHandle file = OpenAttributes(path);
    return file && ::GetFileType(file.Get()) != FILE_TYPE_DISK;
}

bool RegularFileExists(const std::string& path) {
    const auto attributes = TargetAttributes(path);
    return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FolderExists(const std::string& path) {
    const auto attributes = TargetAttributes(path);
    return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void DeleteFileQuietly(const std::string& path) {
    std::wstring wide;
    if (win32::WidePath(path, wide)) {
        ::DeleteFileW(wide.c_str());
    }
}

bool UserCanWrite(const std::string& path) {
    const auto attributes = TargetAttributes(path);
    if (!attributes || (*attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        return false;
    }
    // The read-only attribute is not the whole story: the file's access list, or another
    // program holding it open without sharing, can refuse writing too. Opening it for writing
    // asks all of them at once; OPEN_EXISTING leaves its contents alone.
    std::wstring wide;
    win32::WidePath(path, wide);
    const win32::UniqueHandle file(::CreateFileW(
        wide.c_str(), FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
}

std::string CreatePrivateTemporaryFile(const std::string& prefix) {
    // CREATE_NEW refuses anything already at the name, a link included; the new file takes the
    // access rules of the user's temporary folder.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string path = TemporaryFile(prefix + win32::Narrow(UniqueSuffix()) + ".tmp");
        std::wstring wide;
        if (!win32::WidePath(path, wide)) {
            return {};
        }
        const win32::UniqueHandle file(
            ::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (file) {
            return path;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS) {
            return {};
        }
    }
    return {};
}

std::string ReadFileTail(const std::string& path, std::size_t maxBytes) {
    std::wstring wide;
    if (!win32::WidePath(path, wide)) {
        return {};
    }
    // Every kind of sharing, so that the writer is never kept out, not even from deleting it.
    const win32::UniqueHandle file(::CreateFileW(
        wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || ::GetFileType(file.Get()) != FILE_TYPE_DISK ||
        !::GetFileSizeEx(file.Get(), &size)) {
        return {};
    }
    const auto total = static_cast<unsigned long long>(size.QuadPart);
    const unsigned long long start = total > maxBytes ? total - maxBytes : 0;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(start & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(start >> 32);
    std::string bytes(static_cast<std::size_t>(total - start), '\0');
    DWORD count = 0;
    if (!::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &count, &at)) {
        return {};
    }
    bytes.resize(count);
    return bytes;
}

struct FileWriter::State {
    std::string path;
    std::wstring full;
    std::wstring temporary;
    win32::UniqueHandle file;
    std::uint64_t written = 0;
};

FileWriter::FileWriter() = default;

FileWriter::~FileWriter() {
    if (state_ && state_->file) {
        state_->file.Reset(nullptr);
        ::DeleteFileW(state_->temporary.c_str());
    }
}

namespace {

bool Fail(DWORD code, std::string& error, const std::string& path = {}) {
    error = win32::ErrorText(code != ERROR_SUCCESS ? code : ERROR_WRITE_FAULT, path);
    return false;
}

// A document is not written over a folder or over a file the user may not write.
bool MayReplace(const std::string& path, std::string& error) {
    const auto attributes = TargetAttributes(path);
    if (!attributes) {
        return true;
    }
    if ((*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return Fail(ERROR_DIRECTORY, error, path);
    }
    return UserCanWrite(path) || Fail(ERROR_ACCESS_DENIED, error, path);
}

} // namespace

bool FileWriter::Open(const std::string& path, FileMode mode, std::string& error) {
    // FileMode::UserExecute and Document need nothing more: whether a file may be run or read is
    // decided by its access list, which a new file inherits from its folder, not by mode bits.
    std::wstring wide;
    if (!win32::WidePath(path, wide)) {
        return Fail(ERROR_INVALID_NAME, error, path);
    }
    if (mode == FileMode::Document && !MayReplace(path, error)) {
        return false;
    }
    auto state = std::make_unique<State>();
    state->path = path;
    std::size_t nameStart = 0;
    if (!SplitFullPath(wide, state->full, nameStart)) {
        return Fail(::GetLastError(), error, path);
    }
    // Opening the path itself would write through a link someone planted there (a symbolic
    // link or junction in a shared folder, onto any file of the user's). A fresh file with an
    // unguessable name, moved over the path, replaces such a link instead of following it.
    // CREATE_NEW with FILE_FLAG_OPEN_REPARSE_POINT refuses anything already at the new name,
    // a link included. Shared with nobody while it is written, so the next start can tell a
    // file a running copy writes from one a killed copy left.
    for (int attempt = 0; attempt < 16 && !state->file; ++attempt) {
        state->temporary = state->full.substr(0, nameStart) + PartialName();
        state->file.Reset(
            ::CreateFileW(state->temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!state->file && ::GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    if (!state->file) {
        return Fail(::GetLastError(), error, path);
    }
    // Deleted by the system when its handle closes, however the process ends, until Commit
    // takes the mark off. Where a file system refuses the mark, the next start removes it.
    SetDeleteOnClose(state->file.Get(), true);
    state_ = std::move(state);
    return true;
}

bool FileWriter::IsOpen() const {
    return state_ && state_->file;
}

bool FileWriter::IsFreshFile() const {
    return IsOpen();
}

bool FileWriter::Write(std::string_view bytes, std::string& error) {
    if (!IsOpen()) {
        return Fail(ERROR_INVALID_HANDLE, error);
    }
    if (!WriteAll(state_->file.Get(), bytes)) {
        return Fail(::GetLastError(), error, state_->path);
    }
    state_->written += bytes.size();
    return true;
}

bool FileWriter::Restart(std::string& error) {
    if (!IsOpen()) {
        return Fail(ERROR_INVALID_HANDLE, error);
    }
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(state_->file.Get(), start, nullptr, FILE_BEGIN) ||
        !::SetEndOfFile(state_->file.Get())) {
        return Fail(::GetLastError(), error, state_->path);
    }
    state_->written = 0;
    return true;
}

bool FileWriter::Commit(std::string& error) {
    if (!IsOpen()) {
        return Fail(ERROR_INVALID_HANDLE, error);
    }
    State& state = *state_;
    // What was written is not stored yet: a full disk or a failing device (a network share
    // above all) may only say so when the data is flushed. Kept when closed, which happens here,
    // where a failure to close counts. MoveFileExW then replaces the name, whatever it named (a
    // link stays unfollowed); a folder at the path is not replaced and fails.
    BY_HANDLE_FILE_INFORMATION written{};
    if (!::FlushFileBuffers(state.file.Get()) ||
        !::GetFileInformationByHandle(state.file.Get(), &written)) {
        return Fail(::GetLastError(), error, state.path);
    }
    error = policy::WrittenFileProblem(
        true, true, Join(written.nFileSizeHigh, written.nFileSizeLow), state.written);
    if (!error.empty()) {
        return false;
    }
    if (!SetDeleteOnClose(state.file.Get(), false)) {
        return Fail(::GetLastError(), error, state.path);
    }
    const bool closed = ::CloseHandle(state.file.Release()) != 0;
    if (!closed || !::MoveFileExW(state.temporary.c_str(), state.full.c_str(),
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = ::GetLastError();
        ::DeleteFileW(state.temporary.c_str());
        return Fail(code, error, state.path);
    }
    const win32::UniqueHandle named = OpenAttributes(state.path);
    BY_HANDLE_FILE_INFORMATION identity{};
    const bool there = named && ::GetFileInformationByHandle(named.Get(), &identity);
    error = policy::WrittenFileProblem(there, there && SameFile(identity, written),
                                       Join(identity.nFileSizeHigh, identity.nFileSizeLow),
                                       state.written);
    return error.empty();
}

void RemoveStalePartialFiles(const std::string& folder) {
    std::wstring wide;
    if (!win32::WidePath(folder.empty() ? std::string(".") : folder, wide)) {
        return;
    }
    if (wide.back() != L'\\' && wide.back() != L'/') {
        wide += L'\\';
    }
    WIN32_FIND_DATAW found{};
    const HANDLE search =
        ::FindFirstFileExW((wide + L".larkspan-partial-*").c_str(), FindExInfoBasic, &found,
                           FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
                0 ||
            !policy::IsPartialFileName(win32::Narrow(found.cFileName))) {
            continue;
        }
        // Shared with nobody: the open fails while a running copy still writes the file. The
        // mark then deletes it as this handle closes.
        const win32::UniqueHandle file(
            ::CreateFileW((wide + found.cFileName).c_str(), DELETE | READ_CONTROL, 0, nullptr,
                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (file && OwnedByThisUser(file.Get())) {
            SetDeleteOnClose(file.Get(), true);
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

void RemoveOwnTemporaryFiles(const std::string& prefix) {
    std::wstring folder;
    if (prefix.empty() || !win32::WidePath(TemporaryFolder(), folder)) {
        return;
    }
    if (folder.back() != L'\\') {
        folder += L'\\';
    }
    WIN32_FIND_DATAW found{};
    const HANDLE search =
        ::FindFirstFileExW((folder + win32::Widen(prefix) + L"*").c_str(), FindExInfoBasic, &found,
                           FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
            0) {
            continue;
        }
        // Shared with nobody: a file still open elsewhere stays. The mark deletes it on closing.
        const win32::UniqueHandle file(
            ::CreateFileW((folder + found.cFileName).c_str(), DELETE | READ_CONTROL, 0, nullptr,
                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (file && OwnedByThisUser(file.Get())) {
            SetDeleteOnClose(file.Get(), true);
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

} // namespace larkspan::platform

namespace larkspan::platform {

namespace {

class AppendingHandle final : public AppendingFile {
public:
    explicit AppendingHandle(HANDLE file) : file_(file) {}
    void Append(std::string_view bytes) override { WriteAll(file_.Get(), bytes); }

private:
    win32::UniqueHandle file_;
};

} // namespace

std::unique_ptr<AppendingFile> OpenForAppending(const std::string& path) {
    std::wstring wide;
    if (!win32::WidePath(path, wide)) {
        return nullptr;
    }
    // Appending only, and shared every way: the reader opens, reads and finally deletes the
    // file while it is open here.
    win32::UniqueHandle file(::CreateFileW(wide.c_str(), FILE_APPEND_DATA,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || ::GetFileType(file.Get()) != FILE_TYPE_DISK) {
        return nullptr;
    }
    return std::make_unique<AppendingHandle>(file.Release());
}

namespace {

// The path the system gives an open file, links and junctions resolved: the tools open it by
// that name, which no swap of a link above it can turn into another file. "" when there is none.
std::string FinalPath(HANDLE file) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(
            file, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(length + 1);
    }
    // "\\?\C:\..." and "\\?\UNC\server\..." as the tools' own file names write them.
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        path = L"\\\\" + path.substr(8);
    } else if (path.rfind(L"\\\\?\\", 0) == 0 && path.size() > 6 && path[5] == L':') {
        path = path.substr(4);
    }
    return win32::Narrow(path);
}

class HandleDocument final : public JobDocument {
public:
    HandleDocument(HANDLE file, std::string toolPath, std::wstring deleteAtEnd)
        : file_(file), toolPath_(std::move(toolPath)), deleteAtEnd_(std::move(deleteAtEnd)) {}
    ~HandleDocument() override {
        file_.Reset(nullptr);
        if (!deleteAtEnd_.empty()) {
            ::DeleteFileW(deleteAtEnd_.c_str());
        }
    }
    HandleDocument(const HandleDocument&) = delete;
    HandleDocument& operator=(const HandleDocument&) = delete;

    const std::string& ToolPath() const override { return toolPath_; }
    std::string Fingerprint() const override { return HandleFingerprint(file_.Get()); }
    bool IsAt(const std::string& path) const override {
        const win32::UniqueHandle named = OpenAttributes(path);
        BY_HANDLE_FILE_INFORMATION opened{};
        BY_HANDLE_FILE_INFORMATION identity{};
        return named && ::GetFileInformationByHandle(file_.Get(), &opened) &&
               ::GetFileInformationByHandle(named.Get(), &identity) && SameFile(opened, identity);
    }
    bool Write(std::string_view bytes, std::string& error) override {
        return (!deleteAtEnd_.empty() && WriteAll(file_.Get(), bytes)) ||
               Fail(deleteAtEnd_.empty() ? ERROR_ACCESS_DENIED : ::GetLastError(), error);
    }

private:
    win32::UniqueHandle file_;
    std::string toolPath_;
    std::wstring deleteAtEnd_;
};

} // namespace

std::unique_ptr<JobDocument> OpenJobDocument(const std::string& path) {
    std::wstring wide;
    if (!win32::WidePath(path, wide)) {
        return nullptr;
    }
    // Reading shared, nothing else: a program that opens the file to write, rename or delete it
    // is refused, readers (the tools of the job among them) are not.
    win32::UniqueHandle file(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || ::GetFileType(file.Get()) != FILE_TYPE_DISK) {
        return nullptr;
    }
    std::string toolPath = FinalPath(file.Get());
    if (toolPath.empty()) {
        toolPath = path;
    }
    return std::make_unique<HandleDocument>(file.Release(), std::move(toolPath), std::wstring());
}

std::unique_ptr<JobDocument> CreatePrivateDocument(std::string& error) {
    // The tools open it by name, asking for no FILE_SHARE_DELETE, so it cannot be marked to go
    // when closed: it is deleted by the object, and after a kill by the next start (its name is
    // a partial-file name, and reading shared only while it is held, which such a start asks).
    // The user's temporary folder keeps it to the user.
    const std::string folder = TemporaryFolder();
    for (int attempt = 0; attempt < 16 && !folder.empty(); ++attempt) {
        std::wstring wide;
        if (!win32::WidePath(TemporaryFile(win32::Narrow(PartialName())), wide)) {
            break;
        }
        win32::UniqueHandle file(::CreateFileW(
            wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
            CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (file) {
            std::string toolPath = win32::Narrow(wide);
            return std::make_unique<HandleDocument>(file.Release(), std::move(toolPath),
                                                    std::move(wide));
        }
        if (::GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    Fail(::GetLastError(), error);
    return nullptr;
}

} // namespace larkspan::platform
