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

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::wstring arguments = ArgumentTail(::GetCommandLineW());
    const bool silent = HasSilentSwitch(arguments);
    const std::wstring self = ModulePath();

    std::wstring programFolder = FolderOf(self);
    const std::size_t handedFolder = arguments.rfind(L"_?=");
    if (handedFolder != std::wstring::npos &&
        (handedFolder == 0 || arguments[handedFolder - 1] == L' ')) {
        programFolder = arguments.substr(handedFolder + 3);
        arguments.erase(handedFolder);
        while (!arguments.empty() && arguments.back() == L' ') {
            arguments.pop_back();
        }
    }
    while (programFolder.size() > 3 && (programFolder.back() == L'\\')) {
        programFolder.pop_back();
    }

    wchar_t tempBuffer[MAX_PATH + 1];
    const DWORD tempLength = ::GetTempPathW(MAX_PATH + 1, tempBuffer);
    if (tempLength == 0 || tempLength > MAX_PATH) {
        return static_cast<int>(Fail(silent, L"There is no temporary folder to work in."));
    }
    const std::wstring temp(tempBuffer, tempLength);
    // The program folder cannot be removed while it is anyone's current folder, this one's
    // included.
    ::SetCurrentDirectoryW(temp.c_str());

    const std::wstring body = programFolder + L"\\uninstall.dat";
    if (!Exists(body)) {
        return static_cast<int>(
            Fail(silent, L"Larkspan's uninstaller is incomplete: " + body + L" is missing."));
    }
    const std::wstring work = MakeWorkFolder(temp);
    if (work.empty()) {
        return static_cast<int>(
            Fail(silent, L"Could not make a working folder in the temporary folder " + temp));
    }
    const std::wstring copy = work + L"\\Un.exe";
    if (!::CopyFileW(body.c_str(), copy.c_str(), TRUE)) {
        ::RemoveDirectoryW(work.c_str());
        return static_cast<int>(Fail(silent, L"Could not copy the uninstaller to " + work));
    }

    // "_?=" must come last and unquoted, even with blanks in the folder.
    DWORD status = FailedStatus;
    const bool ran = RunAndWait(L"\"" + copy + L"\" " + arguments +
                                    (arguments.empty() ? L"" : L" ") + L"_?=" + programFolder,
                                temp, status);
    DeleteSoon(copy);
    if (!ran) {
        ::RemoveDirectoryW(work.c_str());
        return static_cast<int>(Fail(silent, L"Could not start the uninstaller " + copy));
    }

    // The uninstaller removes uninstall.dat with the program's files; while it is there the
    // program is still installed (a refusal, a cancel, a failure), and so is this launcher.
    std::wstring leftFile;
    std::wstring leftFolder;
    if (status == 0 && !Exists(body)) {
        const std::wstring launcher = programFolder + L"\\uninstall.exe";
        if (SameFolder(FolderOf(self), programFolder)) {
            const std::wstring moved = work + L"\\uninstall.exe";
            if (::MoveFileExW(self.c_str(), moved.c_str(), 0)) {
                leftFile = moved;
                leftFolder = work;
            } else {
                // Another drive than the temporary folder's: the program folder goes once this
                // process has ended.
                leftFile = self;
                leftFolder = programFolder;
            }
        } else {
            ::DeleteFileW(launcher.c_str());
        }
        // Only when empty: files the user put there stay.
        ::RemoveDirectoryW(programFolder.c_str());
    }
    if (leftFile.empty()) {
        ::RemoveDirectoryW(work.c_str());
    } else {
        if (leftFolder != work) {
            ::RemoveDirectoryW(work.c_str());
        }
        DeleteAfterExit(leftFile, leftFolder, temp);
    }
    return static_cast<int>(status);
}
