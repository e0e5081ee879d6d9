#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <string>

#include "platform/console.h"

void ReadCommandArguments(int, char**, std::vector<PathString>* args) {
    // argv went through the ANSI code page; the wide command line did not.
    SplitTargetText(GetCommandLineW(), args);
    if (!args->empty()) args->erase(args->begin());
}

static HANDLE ChannelHandle(ConsoleChannel channel) {
    return GetStdHandle(channel == StandardOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

static bool IsConsole(HANDLE handle) {
    DWORD mode;
    return GetConsoleMode(handle, &mode) != 0;
}

static bool OutputFailed;

static void WriteBytes(HANDLE handle, const char* bytes, size_t length) {
    while (length > 0) {
        DWORD written = 0;
        DWORD piece = length > 65536 ? 65536 : static_cast<DWORD>(length);
        if (!WriteFile(handle, bytes, piece, &written, nullptr) || written == 0) {
            if (handle == ChannelHandle(StandardOutput)) OutputFailed = true;
            return;
        }
        bytes += written;
        length -= written;
    }
}

// Redirected standard output is gathered, so that a long listing does not
// cost one system call per line.
static std::string OutputBuffer;

static void FlushOutput() {
    WriteBytes(ChannelHandle(StandardOutput), OutputBuffer.data(), OutputBuffer.size());
    OutputBuffer.clear();
}

void WriteChannel(ConsoleChannel channel, const PathChar* text, size_t length) {
    HANDLE handle = ChannelHandle(channel);
    if (channel == StandardError) FlushOutput();
    if (IsConsole(handle)) {
        // The console shows every name correctly only through the wide call.
        while (length > 0) {
            DWORD written = 0;
            DWORD piece = length > 8192 ? 8192 : static_cast<DWORD>(length);
            if (!WriteConsoleW(handle, text, piece, &written, nullptr) || written == 0) {
                if (channel == StandardOutput) OutputFailed = true;
                return;
            }
            text += written;
            length -= written;
        }
        return;
    }
    int need = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string bytes(need > 0 ? need : 0, '\0');
    if (need > 0) WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &bytes[0], need, nullptr, nullptr);
    if (channel == StandardOutput) {
        OutputBuffer += bytes;
        if (OutputBuffer.size() >= 65536) FlushOutput();
    } else {
        WriteBytes(handle, bytes.data(), bytes.size());
    }
}

void FlushChannels() { FlushOutput(); }

bool OutputComplete() { return !OutputFailed; }

bool ChannelIsTerminal(ConsoleChannel channel) { return IsConsole(ChannelHandle(channel)); }

bool RedirectStandardOutput(const PathChar* path) {
    FlushOutput();
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    return SetStdHandle(STD_OUTPUT_HANDLE, file) != 0;
}

bool StandardOutputIdentity(FileIdentity* identity) {
    HANDLE output = ChannelHandle(StandardOutput);
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileType(output) != FILE_TYPE_DISK || !GetFileInformationByHandle(output, &information)) return false;
    identity->volume = information.dwVolumeSerialNumber;
    identity->index = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    return true;
}

bool InputIsTerminal() { return IsConsole(GetStdHandle(STD_INPUT_HANDLE)); }

bool ReadInputLine(PathString* line) {
    line->clear();
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (IsConsole(input)) {
        wchar_t piece[256];
        DWORD got = 0;
        if (!ReadConsoleW(input, piece, 256, &got, nullptr) || got == 0) return false;
        line->assign(piece, got);
    } else {
        std::string bytes;
        char c;
        DWORD got = 0;
        while (ReadFile(input, &c, 1, &got, nullptr) && got == 1 && c != '\n') bytes.push_back(c);
        if (bytes.empty() && got == 0) return false;
        int need = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
        line->assign(need > 0 ? need : 0, L'\0');
        if (need > 0) MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &(*line)[0], need);
    }
    while (!line->empty() && (line->back() == L'\r' || line->back() == L'\n')) line->pop_back();
    return true;
}

bool ReadStandardInput(size_t limit, std::string* bytes) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char piece[65536];
    while (bytes->size() <= limit) {
        DWORD got = 0;
        // The writer's end of a pipe closed is its end, not a failure.
        if (!ReadFile(input, piece, sizeof piece, &got, nullptr)) return GetLastError() == ERROR_BROKEN_PIPE;
        if (got == 0) return true;
        bytes->append(piece, got);
    }
    return true;
}

static std::atomic<bool> InterruptFlag;
static void (*InterruptCall)();
static void (*EndingCall)();

static BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        // As on POSIX: the flag goes first.
        InterruptFlag = true;
        InterruptCall();
        return TRUE;
    }
    // The console closes or the session ends, and the process with it.
    EndingCall();
    return FALSE;
}

void InstallRunSignals(void (*onInterrupt)(), void (*onEnding)()) {
    InterruptCall = onInterrupt;
    EndingCall = onEnding;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool InterruptRequested() { return InterruptFlag.load(); }

// A Windows console cannot stop a process; nothing is ever stopped.
uint64_t TakeStoppedTime() { return 0; }

// Control events arrive on a thread of their own, never on the worker.
void HoldRunSignals() {}
void ReleaseRunSignals() {}

void EndProcess(int status) {
    FlushChannels();
    ExitProcess(static_cast<UINT>(status));
}
