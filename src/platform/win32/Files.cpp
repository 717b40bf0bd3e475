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

std::string FileFingerprint(const std::string& path) {
    std::wstring wide;
    if (!win32::WidePath(path, wide)) {
        return {};
    }
    // Only the attributes: no right to the data is needed and no writer is kept out.
    const win32::UniqueHandle file(::CreateFileW(
        wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION identity{};
    FILE_BASIC_INFO times{};
    if (!file || !::GetFileInformationByHandle(file.Get(), &identity) ||
        !::GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &times, sizeof times) ||
        (identity.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return {};
    }
    const auto join = [](DWORD high, DWORD low) {
        return std::to_string((static_cast<unsigned long long>(high) << 32) | low);
    };
    // Not the change time: indexers, backup tools and cloud-sync hydration move it without
    // touching the content.
    return std::to_string(identity.dwVolumeSerialNumber) + ':' +
           join(identity.nFileIndexHigh, identity.nFileIndexLow) + ':' +
           join(identity.nFileSizeHigh, identity.nFileSizeLow) + ':' +
           std::to_string(times.LastWriteTime.QuadPart);
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
};

FileWriter::FileWriter() = default;

FileWriter::~FileWriter() {
    if (state_ && state_->file) {
        state_->file.Reset(nullptr);
        ::DeleteFileW(state_->temporary.c_str());
    }
}

namespace {

bool Fail(const std::string& path, DWORD code, std::string& error) {
    error = "Cannot create file \"" + path + "\". " + win32::ErrorText(code, path);
    return false;
}

} // namespace

bool FileWriter::Open(const std::string& path, FileMode mode, std::string& error) {
    // Nothing to do for FileMode::UserExecute: whether a file may be run is decided by its
    // access list, which a new file inherits from its folder (the user's own temporary folder
    // lets the user run what the user wrote there), not by a mode bit.
    static_cast<void>(mode);
    std::wstring wide;
    if (!win32::WidePath(path, wide)) {
        return Fail(path, ERROR_INVALID_NAME, error);
    }
    auto state = std::make_unique<State>();
    state->path = path;
    std::size_t nameStart = 0;
    if (!SplitFullPath(wide, state->full, nameStart)) {
        return Fail(path, ::GetLastError(), error);
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
        return Fail(path, ::GetLastError(), error);
    }
    // Deleted by the system when its handle closes, however the process ends, until Commit
    // takes the mark off. Where a file system refuses the mark, the next start removes it.
    SetDeleteOnClose(state->file.Get(), true);
    state_ = std::move(state);
    return true;
}

bool FileWriter::Write(std::string_view bytes, std::string& error) {
    if (!state_ || !state_->file) {
        return Fail(state_ ? state_->path : std::string(), ERROR_INVALID_HANDLE, error);
    }
    return WriteAll(state_->file.Get(), bytes) || Fail(state_->path, ::GetLastError(), error);
}

bool FileWriter::Commit(std::string& error) {
    if (!state_ || !state_->file) {
        return Fail(state_ ? state_->path : std::string(), ERROR_INVALID_HANDLE, error);
    }
    // Kept when closed, which happens here, where a failure to close (the last data not
    // reaching the disk) counts. MoveFileExW then replaces the name, whatever it named (a link
    // stays unfollowed); a folder at the path is not replaced and fails.
    if (!SetDeleteOnClose(state_->file.Get(), false)) {
        const DWORD code = ::GetLastError();
        state_->file.Reset(nullptr);
        return Fail(state_->path, code, error);
    }
    const bool closed = ::CloseHandle(state_->file.Release()) != 0;
    if (!closed || !::MoveFileExW(state_->temporary.c_str(), state_->full.c_str(),
                                  MOVEFILE_REPLACE_EXISTING)) {
        const DWORD code = ::GetLastError();
        ::DeleteFileW(state_->temporary.c_str());
        return Fail(state_->path, code, error);
    }
    error.clear();
    return true;
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

} // namespace larkspan::platform

namespace larkspan::platform {

namespace {

// The system's words without the full stop they end in, so that callers can place them.
std::string Reason(DWORD code) {
    std::string text = win32::ErrorText(code);
    while (!text.empty() && (text.back() == '.' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

} // namespace

struct TextOutput::State {
    win32::UniqueHandle file;
    std::wstring path;
    bool regular = false;
    BY_HANDLE_FILE_INFORMATION opened{};
    std::uint64_t written = 0;
};

TextOutput::TextOutput() = default;
TextOutput::~TextOutput() = default;

bool TextOutput::Open(const std::string& path, std::string& error) {
    auto state = std::make_unique<State>();
    if (!win32::WidePath(path, state->path)) {
        error = Reason(ERROR_INVALID_NAME);
        return false;
    }
    // As the C runtime's fopen "wb" does, but shared for reading only: nobody writes to,
    // renames or deletes the file while its text is being written.
    state->file.Reset(::CreateFileW(state->path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!state->file) {
        error = Reason(::GetLastError());
        return false;
    }
    state->regular = ::GetFileType(state->file.Get()) == FILE_TYPE_DISK;
    if (state->regular && !::GetFileInformationByHandle(state->file.Get(), &state->opened)) {
        error = Reason(::GetLastError());
        return false;
    }
    state_ = std::move(state);
    return true;
}

bool TextOutput::IsOpen() const {
    return state_ && state_->file;
}

bool TextOutput::IsRegularFile() const {
    return IsOpen() && state_->regular;
}

bool TextOutput::Write(std::string_view bytes, std::string& error) {
    if (!IsOpen()) {
        error = Reason(ERROR_INVALID_HANDLE);
        return false;
    }
    if (!WriteAll(state_->file.Get(), bytes)) {
        const DWORD code = ::GetLastError();
        error = Reason(code != ERROR_SUCCESS ? code : ERROR_WRITE_FAULT);
        return false;
    }
    state_->written += bytes.size();
    return true;
}

bool TextOutput::Restart(std::string& error) {
    if (!IsRegularFile()) {
        error = Reason(ERROR_INVALID_FUNCTION);
        return false;
    }
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(state_->file.Get(), start, nullptr, FILE_BEGIN) ||
        !::SetEndOfFile(state_->file.Get())) {
        error = Reason(::GetLastError());
        return false;
    }
    state_->written = 0;
    return true;
}

bool TextOutput::Finish(std::string& error) {
    if (!IsOpen()) {
        error = Reason(ERROR_INVALID_HANDLE);
        return false;
    }
    State& state = *state_;
    BY_HANDLE_FILE_INFORMATION now{};
    // What was written is not stored yet: a full disk or a failing device (a network share
    // above all) may only say so when the data is flushed.
    if (state.regular && (!::FlushFileBuffers(state.file.Get()) ||
                          !::GetFileInformationByHandle(state.file.Get(), &now))) {
        error = Reason(::GetLastError());
        return false;
    }
    if (!::CloseHandle(state.file.Release())) {
        error = Reason(::GetLastError());
        return false;
    }
    if (!state.regular) {
        return true;
    }
    const win32::UniqueHandle named(::CreateFileW(
        state.path.c_str(), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION identity{};
    const bool there = named && ::GetFileInformationByHandle(named.Get(), &identity);
    const std::uint64_t size = (static_cast<std::uint64_t>(now.nFileSizeHigh) << 32) |
                               now.nFileSizeLow;
    error = policy::WrittenFileProblem(there, there && SameFile(identity, state.opened), size,
                                       state.written);
    return error.empty();
}

namespace {

class AppendingHandle final : public AppendingFile {
public:
    explicit AppendingHandle(HANDLE file) : file_(file) {}
    void Append(std::string_view bytes) override { WriteAll(file_.Get(), bytes); }

private:
    win32::UniqueHandle file_;
};

class HeldFile final : public FileHold {
public:
    explicit HeldFile(HANDLE file) : file_(file) {}

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
    win32::UniqueHandle file(::CreateFileW(
        wide.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || ::GetFileType(file.Get()) != FILE_TYPE_DISK) {
        return nullptr;
    }
    return std::make_unique<AppendingHandle>(file.Release());
}

std::unique_ptr<FileHold> HoldAgainstChanges(const std::string& path) {
    std::wstring wide;
    if (!win32::WidePath(path, wide)) {
        return nullptr;
    }
    // Reading shared, nothing else: a program that opens the file to write, rename or delete it
    // is refused, readers (the tools of the job among them) are not.
    win32::UniqueHandle file(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return nullptr;
    }
    return std::make_unique<HeldFile>(file.Release());
}

} // namespace larkspan::platform
