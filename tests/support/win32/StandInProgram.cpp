// The Windows stand-in for the programs the widget tests let the program start: copied as
// textract.bin or pdfi.bin into a test's application folder, saved as a downloaded installer,
// or installed as the sibling product. What the shell scripts of the POSIX tests do, for a
// system without a shell; what it does depends on the name it has. Everything it leaves goes
// into its own folder. Plain Win32 calls only, so that it stays small: the tests pad it to a
// given size as a downloaded installer.
//
//   pdfi.bin ...          append "run" to runs, then print the bytes of the file output
//   textract.bin ... OUT  append "run" to runs.log and this process's id to pids.log, the
//                         values of LARKSPAN_PROGRESS_FILE and LARKSPAN_INPUT_FINGERPRINT into
//                         env.log (UTF-8, one a line), create "started"; when
//                         the file "wait" exists, start a copy of itself that waits too
//                         ("linger") and wait until the file "release" exists; then print the
//                         bytes of reply.txt, or without any write "written by the stand-in"
//                         (CR LF) into OUT, as the extractor writes only on success; create
//                         "ended"
//   opener.exe ARGS...    append each argument to opened.log, one a line (the program a
//                         file type is opened with, for the end-to-end tests)
//   any name, "linger"    append this process's id to pids.log and wait for "release"
//   any other name        create "<this program's path>-ran" and end: an installer or a
//                         program started through the shell

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <initializer_list>

namespace {

wchar_t program[MAX_PATH];
wchar_t folder[MAX_PATH];

// `name` in this program's folder.
const wchar_t* Beside(const wchar_t* name) {
    static wchar_t path[MAX_PATH + 64];
    std::swprintf(path, MAX_PATH + 64, L"%ls\\%ls", folder, name);
    return path;
}

bool Exists(const wchar_t* path) {
    return ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

void Write(const wchar_t* path, const char* bytes, DWORD size, bool append) {
    const HANDLE file =
        ::CreateFileW(path, append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                      append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(file, bytes, size, &written, nullptr);
        ::CloseHandle(file);
    }
}

void AppendLine(const wchar_t* path, const char* line) {
    char text[64];
    const int size = std::snprintf(text, sizeof text, "%s\n", line);
    Write(path, text, static_cast<DWORD>(size), true);
}

void AppendProcessId() {
    char id[32];
    std::snprintf(id, sizeof id, "%lu", ::GetCurrentProcessId());
    AppendLine(Beside(L"pids.log"), id);
}

// Writes the values of the variables into the file, in UTF-8, one a line ("" when unset).
void WriteVariables(const wchar_t* path, std::initializer_list<const wchar_t*> names) {
    static char text[32 * MAX_PATH];
    int size = 0;
    for (const wchar_t* name : names) {
        wchar_t value[4 * MAX_PATH] = L"";
        const DWORD length = ::GetEnvironmentVariableW(name, value, 4 * MAX_PATH);
        if (length > 0 && length < 4 * MAX_PATH) {
            size +=
                ::WideCharToMultiByte(CP_UTF8, 0, value, static_cast<int>(length), text + size,
                                      static_cast<int>(sizeof text) - size - 1, nullptr, nullptr);
        }
        text[size++] = '\n';
    }
    Write(path, text, static_cast<DWORD>(size), false);
}

// Copies the file to standard output, byte for byte; false when it printed nothing.
bool Print(const wchar_t* path) {
    const HANDLE file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    char buffer[4096];
    DWORD count = 0;
    bool printed = false;
    while (::ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count > 0) {
        DWORD written = 0;
        ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), buffer, count, &written, nullptr);
        printed = true;
    }
    ::CloseHandle(file);
    return printed;
}

void AwaitRelease() {
    while (!Exists(Beside(L"release"))) {
        ::Sleep(10);
    }
}

// A copy of this program that lingers like the extractor, in this process's job (so a stop
// must end it too).
void StartLingeringCopy() {
    wchar_t commandLine[MAX_PATH + 16];
    std::swprintf(commandLine, MAX_PATH + 16, L"\"%ls\" linger", program);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (::CreateProcessW(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                         &startup, &started)) {
        ::CloseHandle(started.hThread);
        ::CloseHandle(started.hProcess);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wcscpy(folder, program);
    wchar_t* name = std::wcsrchr(folder, L'\\');
    if (name == nullptr) {
        return 2;
    }
    *name++ = L'\0';
    const wchar_t* ownName = program + (name - folder);

    if (argc == 2 && std::wcscmp(argv[1], L"linger") == 0) {
        AppendProcessId();
        AwaitRelease();
        return 0;
    }
    if (_wcsicmp(ownName, L"opener.exe") == 0) {
        for (int i = 1; i < argc; ++i) {
            char line[4 * MAX_PATH];
            const int size = ::WideCharToMultiByte(
                CP_UTF8, 0, argv[i], -1, line, static_cast<int>(sizeof line) - 1, nullptr, nullptr);
            if (size > 0) {
                line[size - 1] = '\n';
                Write(Beside(L"opened.log"), line, static_cast<DWORD>(size), true);
            }
        }
        return 0;
    }
    if (_wcsicmp(ownName, L"pdfi.bin") == 0) {
        AppendLine(Beside(L"runs"), "run");
        Print(Beside(L"output"));
        return 0;
    }
    if (_wcsicmp(ownName, L"textract.bin") == 0 && argc > 1) {
        AppendLine(Beside(L"runs.log"), "run");
        AppendProcessId();
        WriteVariables(Beside(L"env.log"),
                       {L"LARKSPAN_PROGRESS_FILE", L"LARKSPAN_INPUT_FINGERPRINT"});
        Write(Beside(L"started"), "", 0, false);
        if (Exists(Beside(L"wait"))) {
            StartLingeringCopy();
            AwaitRelease();
        }
        if (!Print(Beside(L"reply.txt"))) {
            const char text[] = "written by the stand-in\r\n";
            Write(argv[argc - 1], text, sizeof text - 1, false);
        }
        Write(Beside(L"ended"), "", 0, false);
        return 0;
    }
    wchar_t ran[MAX_PATH + 8];
    std::swprintf(ran, MAX_PATH + 8, L"%ls-ran", program);
    Write(ran, "", 0, false);
    return 0;
}
