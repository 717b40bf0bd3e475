// uninstall.exe in the program folder: what the list of installed programs and scripts start.
//
// The removal itself is the NSIS uninstaller kept beside it as uninstall.dat. Started as it is,
// an NSIS uninstaller copies itself to the temporary folder, starts that copy and ends at once,
// so a script that runs "uninstall.exe /S" would go on while the files are still there, and the
// copy stays in the temporary folder. This launcher instead runs a copy of uninstall.dat from a
// folder of its own with "_?=<program folder>" (which makes NSIS work in place and not hand off
// again), waits for it and returns its exit status. Once the removal has succeeded it takes
// itself out of the program folder too: a running program cannot delete its own file, but it
// can move it, so it moves it into its temporary folder and removes the emptied program folder;
// a hidden command interpreter deletes that last file and folder as soon as this process has
// ended. Arguments go to the uninstaller unchanged (/S: silent); "_?=<folder>" at the end names
// the program folder when the launcher runs from elsewhere, as the installer does on an upgrade.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

namespace {

const wchar_t* const Caption = L"Larkspan Uninstall";
// NSIS's own exit status for a run the script ended.
constexpr DWORD FailedStatus = 2;

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring FolderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The arguments after the program's own name, as the command line holds them.
std::wstring ArgumentTail(const wchar_t* line) {
    bool quoted = false;
    while (*line != L'\0' && (quoted || (*line != L' ' && *line != L'\t'))) {
        if (*line == L'"') {
            quoted = !quoted;
        }
        ++line;
    }
    while (*line == L' ' || *line == L'\t') {
        ++line;
    }
    return line;
}

// NSIS's switch for a silent run: "/S" as a word of its own.
bool HasSilentSwitch(const std::wstring& arguments) {
    for (std::size_t at = arguments.find(L"/S"); at != std::wstring::npos;
         at = arguments.find(L"/S", at + 1)) {
        const bool startsWord = at == 0 || arguments[at - 1] == L' ' || arguments[at - 1] == L'"';
        const std::size_t after = at + 2;
        const bool endsWord =
            after == arguments.size() || arguments[after] == L' ' || arguments[after] == L'"';
        if (startsWord && endsWord) {
            return true;
        }
    }
    return false;
}

// A new folder of this run's own under the temporary folder.
std::wstring MakeWorkFolder(const std::wstring& temp) {
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        const std::wstring folder = temp + L"Larkspan-uninstall-" +
                                    std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                    std::to_wstring(attempt);
        if (::CreateDirectoryW(folder.c_str(), nullptr)) {
            return folder;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            return {};
        }
    }
    return {};
}

// Runs the command line and waits for it; its exit status, or nothing when it did not start.
bool RunAndWait(std::wstring commandLine, const std::wstring& folder, DWORD& status) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.c_str(), &startup, &process)) {
        return false;
    }
    ::CloseHandle(process.hThread);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    const bool known = ::GetExitCodeProcess(process.hProcess, &status) != 0;
    ::CloseHandle(process.hProcess);
    return known;
}

// An ended program's file can be held for a moment after its process has been reported ended.
bool DeleteSoon(const std::wstring& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (::DeleteFileW(path.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND) {
            return true;
        }
        ::Sleep(50);
    }
    return false;
}

// Starts a hidden command interpreter that deletes `file` and then the folder `folder` (only
// when empty) once this process has ended. It waits on its input, a pipe whose other end only
// this process holds and which the system closes when the process ends; should the file still
// be held then, it tries again each second, ten times. The paths reach it through the
// environment and delayed expansion, so no character in them is read as a command. (Plain
// steps only: wine's command interpreter does not substitute the variable of "for /l".)
void DeleteAfterExit(const std::wstring& file, const std::wstring& folder,
                     const std::wstring& workingFolder) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        return;
    }
    ::SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    ::SetEnvironmentVariableW(L"LARKSPAN_LEFT_FILE", file.c_str());
    ::SetEnvironmentVariableW(L"LARKSPAN_LEFT_FOLDER", folder.c_str());

    wchar_t system[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(system, length < MAX_PATH ? length : 0) +
                               L"\\cmd.exe\" /d /q /v:on /s /c \"set /p x= ";
    const std::wstring erase = L" & (del /f /q \"!LARKSPAN_LEFT_FILE!\" >nul 2>&1)";
    const std::wstring pause = L" & (if exist \"!LARKSPAN_LEFT_FILE!\" ping -n 2 127.0.0.1 >nul)";
    commandLine += erase;
    for (int attempt = 1; attempt < 10; ++attempt) {
        commandLine += pause + erase;
    }
    commandLine += L" & (rd \"!LARKSPAN_LEFT_FOLDER!\" >nul 2>&1)\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = readEnd;
    PROCESS_INFORMATION process{};
    if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                         nullptr, workingFolder.c_str(), &startup, &process)) {
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::CloseHandle(readEnd);
    // The write end stays open until this process ends.
}

DWORD Fail(bool silent, const std::wstring& text) {
    if (!silent) {
        ::MessageBoxW(nullptr, text.c_str(), Caption, MB_OK | MB_ICONSTOP);
    }
    return FailedStatus;
}

// What this run was asked to do: the uninstaller's arguments and the program folder, which is
// this file's own unless "_?=<folder>" at the end names another.
struct Invocation {
    std::wstring arguments;
    bool silent = false;
    std::wstring self;
    std::wstring programFolder;
};

Invocation ReadInvocation() {
    Invocation run;
    run.arguments = ArgumentTail(::GetCommandLineW());
    run.silent = HasSilentSwitch(run.arguments);
    run.self = ModulePath();
    run.programFolder = FolderOf(run.self);
    const std::size_t handedFolder = run.arguments.rfind(L"_?=");
    if (handedFolder != std::wstring::npos &&
        (handedFolder == 0 || run.arguments[handedFolder - 1] == L' ')) {
        run.programFolder = run.arguments.substr(handedFolder + 3);
        run.arguments.erase(handedFolder);
        while (!run.arguments.empty() && run.arguments.back() == L' ') {
            run.arguments.pop_back();
        }
    }
    while (run.programFolder.size() > 3 && (run.programFolder.back() == L'\\')) {
        run.programFolder.pop_back();
    }
    return run;
}

// The temporary folder with its trailing separator, or nothing.
std::wstring TemporaryFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) {
        return {};
    }
    return std::wstring(buffer, length);
}

// Runs a copy of `body` made in `work` on the program folder and waits for it; false with a
// failure's status when it could not be copied or started.
bool RunUninstaller(const Invocation& run, const std::wstring& body, const std::wstring& work,
                    const std::wstring& temp, DWORD& status) {
    const std::wstring copy = work + L"\\Un.exe";
    if (!::CopyFileW(body.c_str(), copy.c_str(), TRUE)) {
        status = Fail(run.silent, L"Could not copy the uninstaller to " + work);
        return false;
    }
    // "_?=" must come last and unquoted, even with blanks in the folder.
    status = FailedStatus;
    const bool ran =
        RunAndWait(L"\"" + copy + L"\" " + run.arguments + (run.arguments.empty() ? L"" : L" ") +
                       L"_?=" + run.programFolder,
                   temp, status);
    DeleteSoon(copy);
    if (!ran) {
        status = Fail(run.silent, L"Could not start the uninstaller " + copy);
    }
    return ran;
}

// After a removal: this launcher leaves the program folder, which goes too when empty (files
// the user put there stay). A running program cannot delete its own file but can move it, so
// it moves into `work`, and both go once this process has ended; `work` is removed here
// otherwise.
void RemoveLauncher(const Invocation& run, const std::wstring& work, const std::wstring& temp) {
    std::wstring leftFile;
    std::wstring leftFolder;
    if (SameFolder(FolderOf(run.self), run.programFolder)) {
        const std::wstring moved = work + L"\\uninstall.exe";
        if (::MoveFileExW(run.self.c_str(), moved.c_str(), 0)) {
            leftFile = moved;
            leftFolder = work;
        } else {
            // Another drive than the temporary folder's: the program folder goes once this
            // process has ended.
            leftFile = run.self;
            leftFolder = run.programFolder;
        }
    } else {
        ::DeleteFileW((run.programFolder + L"\\uninstall.exe").c_str());
    }
    ::RemoveDirectoryW(run.programFolder.c_str());
    if (leftFolder != work) {
        ::RemoveDirectoryW(work.c_str());
    }
    if (!leftFile.empty()) {
        DeleteAfterExit(leftFile, leftFolder, temp);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const Invocation run = ReadInvocation();
    const std::wstring temp = TemporaryFolder();
    if (temp.empty()) {
        return static_cast<int>(Fail(run.silent, L"There is no temporary folder to work in."));
    }
    // The program folder cannot be removed while it is anyone's current folder, this one's
    // included.
    ::SetCurrentDirectoryW(temp.c_str());

    const std::wstring body = run.programFolder + L"\\uninstall.dat";
    if (!Exists(body)) {
        return static_cast<int>(
            Fail(run.silent, L"Larkspan's uninstaller is incomplete: " + body + L" is missing."));
    }
    const std::wstring work = MakeWorkFolder(temp);
    if (work.empty()) {
        return static_cast<int>(
            Fail(run.silent, L"Could not make a working folder in the temporary folder " + temp));
    }
    DWORD status = FailedStatus;
    // The uninstaller removes uninstall.dat with the program's files; while it is there the
    // program is still installed (a refusal, a cancel, a failure), and so is this launcher.
    if (RunUninstaller(run, body, work, temp, status) && status == 0 && !Exists(body)) {
        RemoveLauncher(run, work, temp);
    } else {
        ::RemoveDirectoryW(work.c_str());
    }
    return static_cast<int>(status);
}
