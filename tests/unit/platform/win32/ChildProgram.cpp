// The program the Windows platform tests start, so that process tests need no outside
// programs. It is built with wmain, so its arguments are split by the C runtime's rules and
// arrive whole, outside the 8-bit code page too.
//
//   (no arguments)          write this program's current folder and argument count to
//                           started.txt beside the program (written whole, then renamed)
//   args A...               print each argument as [A], in UTF-8
//   streams out:T err:T ... write each text to standard output or error, in order;
//                           code:N as the last item ends with exit status N
//   flood OUT ERR           write ERR bytes to standard error, then OUT bytes to output
//   endless                 write "y" to standard output until it fails
//   bytes                   write 300 bytes holding two zero bytes in one write
//   stdin                   copy standard input to standard output
//   sleep MS [MARKER]       create the file MARKER (when given), then sleep
//   hold FILE MARKER        create FILE, write to it and keep it open (shared for reading
//                           only) with no console handle of its own, create MARKER, sleep 30 s
//   parent                  print the command line of the process that started this one
//   tree PIDFILE            start a copy of this program that sleeps 30 s and inherits this
//                           one's handles, write its process id to PIDFILE, sleep 30 s and
//                           print "never"
//   nested PIDFILE          start a copy that sleeps 30 s in a kill-on-close job of this one's
//                           own and with none of its handles, as a tool runs its helpers; write
//                           "<own id> <copy's id>" to PIDFILE, sleep 30 s
//   texts TITLE             print the text of each visible control of the shown window whose
//                           title begins with TITLE, one a line (for the end-to-end tests)
//   volatile KEY            create HKEY_LOCAL_MACHINE\KEY (64-bit view) as a volatile key, under
//                           which no lasting key can be made: writes there fail

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <tlhelp32.h>
#include <winternl.h>

#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int needed =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, utf8.data(), needed, nullptr, nullptr);
    return utf8;
}

void Write(DWORD stream, const std::string& bytes) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(stream), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                nullptr);
}

// Written under another name first and renamed, so a reader never sees half of it.
void WriteWhole(const std::wstring& path, const std::string& bytes) {
    const std::wstring part = path + L".part";
    const HANDLE file = ::CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    ::MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

std::wstring OwnPath() {
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

int ReportStart(int argc) {
    std::wstring folder(32768, L'\0');
    folder.resize(::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    const std::wstring self = OwnPath();
    WriteWhole(self.substr(0, self.find_last_of(L'\\') + 1) + L"started.txt",
               Utf8(folder) + "\n" + std::to_string(argc - 1) + "\n");
    return 0;
}

// Read out of the parent's process parameters, where the system keeps it.
std::wstring ParentCommandLine() {
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD parentId = 0;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
         more = ::Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == ::GetCurrentProcessId()) {
            parentId = entry.th32ParentProcessID;
        }
    }
    ::CloseHandle(snapshot);
    const HANDLE parent =
        ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, parentId);
    PROCESS_BASIC_INFORMATION basic{};
    PEB peb{};
    RTL_USER_PROCESS_PARAMETERS parameters{};
    std::wstring line;
    if (parent != nullptr &&
        ::NtQueryInformationProcess(parent, ProcessBasicInformation, &basic, sizeof basic,
                                    nullptr) == 0 &&
        ::ReadProcessMemory(parent, basic.PebBaseAddress, &peb, sizeof peb, nullptr) &&
        ::ReadProcessMemory(parent, peb.ProcessParameters, &parameters, sizeof parameters,
                            nullptr)) {
        line.resize(parameters.CommandLine.Length / sizeof(wchar_t));
        if (!::ReadProcessMemory(parent, parameters.CommandLine.Buffer, line.data(),
                                 parameters.CommandLine.Length, nullptr)) {
            line.clear();
        }
    }
    if (parent != nullptr) {
        ::CloseHandle(parent);
    }
    return line;
}

int Tree(const std::wstring& pidFile) {
    std::wstring commandLine = L"child sleep 30000";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(OwnPath().c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                          nullptr, &startup, &process)) {
        return 2;
    }
    WriteWhole(pidFile, std::to_string(process.dwProcessId));
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    ::Sleep(30000);
    Write(STD_OUTPUT_HANDLE, "never");
    return 0;
}

int Nested(const std::wstring& pidFile) {
    const HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    std::wstring commandLine = L"child sleep 30000";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (job == nullptr ||
        !::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                                   sizeof limits) ||
        !::CreateProcessW(OwnPath().c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                          CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                          &process)) {
        return 2;
    }
    if (!::AssignProcessToJobObject(job, process.hProcess)) {
        ::TerminateProcess(process.hProcess, 3);
        return 3;
    }
    ::ResumeThread(process.hThread);
    WriteWhole(pidFile,
               std::to_string(::GetCurrentProcessId()) + " " + std::to_string(process.dwProcessId));
    ::Sleep(30000);
    return 0;
}

struct WindowSearch {
    std::wstring title;
    HWND found = nullptr;
};

BOOL CALLBACK FindTitled(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    wchar_t text[512] = {};
    ::GetWindowTextW(window, text, 512);
    if (::IsWindowVisible(window) && std::wstring(text).rfind(search->title, 0) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK PrintText(HWND control, LPARAM) {
    wchar_t text[4096] = {};
    if (::IsWindowVisible(control) && ::GetWindowTextW(control, text, 4096) > 0) {
        Write(STD_OUTPUT_HANDLE, Utf8(text) + "\n");
    }
    return TRUE;
}

int Texts(const std::wstring& title) {
    WindowSearch search{title};
    ::EnumWindows(FindTitled, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) {
        return 1;
    }
    ::EnumChildWindows(search.found, PrintText, 0);
    return 0;
}

int VolatileKey(const std::wstring& name) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, name.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                          KEY_WRITE | KEY_WOW64_64KEY, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return 1;
    }
    ::RegCloseKey(key);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::vector<std::wstring> args(argv, argv + argc);
    if (argc < 2) {
        return ReportStart(argc);
    }
    const std::wstring& command = args[1];
    if (command == L"args") {
        std::string line;
        for (int i = 2; i < argc; ++i) {
            line += "[" + Utf8(args[i]) + "]";
        }
        Write(STD_OUTPUT_HANDLE, line);
        return 0;
    }
    if (command == L"streams") {
        for (int i = 2; i < argc; ++i) {
            const std::string item = Utf8(args[i]);
            if (item.rfind("out:", 0) == 0) {
                Write(STD_OUTPUT_HANDLE, item.substr(4));
            } else if (item.rfind("err:", 0) == 0) {
                Write(STD_ERROR_HANDLE, item.substr(4));
            } else if (item.rfind("code:", 0) == 0) {
                return std::stoi(item.substr(5));
            }
        }
        return 0;
    }
    if (command == L"flood" && argc == 4) {
        Write(STD_ERROR_HANDLE, std::string(std::stoul(args[3]), 'e'));
        Write(STD_OUTPUT_HANDLE, std::string(std::stoul(args[2]), 'o'));
        return 0;
    }
    if (command == L"endless") {
        const std::string lines(4096, 'y');
        DWORD written = 0;
        while (::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), lines.data(),
                           static_cast<DWORD>(lines.size()), &written, nullptr)) {
        }
        return 0;
    }
    if (command == L"bytes") {
        Write(STD_OUTPUT_HANDLE, std::string(10, 'A') + '\0' + std::string(244, 'B') +
                                     std::string(20, 'C') + '\0' + std::string(24, 'D'));
        return 0;
    }
    if (command == L"stdin") {
        char buffer[4096];
        DWORD count = 0;
        while (
            ::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &count, nullptr) &&
            count > 0) {
            Write(STD_OUTPUT_HANDLE, std::string(buffer, count));
        }
        return 0;
    }
    if (command == L"sleep" && argc >= 3) {
        if (argc >= 4) {
            WriteWhole(args[3], "");
        }
        ::Sleep(static_cast<DWORD>(std::stoul(args[2])));
        return 0;
    }
    if (command == L"parent") {
        Write(STD_OUTPUT_HANDLE, Utf8(ParentCommandLine()));
        return 0;
    }
    if (command == L"hold" && argc == 4) {
        // A tool that writes its output file while its console output goes nowhere: only the
        // file shows when it has gone.
        for (const DWORD stream : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE, STD_INPUT_HANDLE}) {
            ::CloseHandle(::GetStdHandle(stream));
        }
        const HANDLE file = ::CreateFileW(args[2].c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        ::WriteFile(file, "partial", 7, &written, nullptr);
        WriteWhole(args[3], "");
        ::Sleep(30000);
        return 0;
    }
    if (command == L"tree" && argc == 3) {
        return Tree(args[2]);
    }
    if (command == L"nested" && argc == 3) {
        return Nested(args[2]);
    }
    if (command == L"texts" && argc == 3) {
        return Texts(args[2]);
    }
    if (command == L"volatile" && argc == 3) {
        return VolatileKey(args[2]);
    }
    return 125;
}
