#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <string>

#include "cli/console.h"
#include "engine/hash_file.h"
#include "store/operation_state.h"

const PathChar ProgramName[] = L"quorvane-cli";

void ReadCommandArguments(int, char**, std::vector<PathString>* args) {
    // argv went through the ANSI code page; the wide command line did not.
    args->clear();
    int count = 0;
    LPWSTR* vector = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!vector) return;
    for (int i = 1; i < count; ++i) args->push_back(vector[i]);
    LocalFree(vector);
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

int LastSystemError() { return static_cast<int>(GetLastError()); }

PathString SystemErrorText(int error) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    PathString message;
    if (n != 0 && text) message.assign(text, n);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ' ||
                                message.back() == L'.')) {
        message.pop_back();
    }
    if (message.empty()) message = L"error " + std::to_wstring(error);
    return message;
}

static std::atomic<bool> InterruptFlag;

static BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        // As on POSIX: from here on no digest write begins and no hashing
        // reads on; the interrupt goes first.
        InterruptFlag = true;
        OperationState.ExitRequested = 1;
        HashingAbandoned = true;
        return TRUE;
    }
    // The console closes or the session ends, and the process with it: let a
    // digest write under way finish and begin no other.
    RequestExitAndWaitForWrites();
    return FALSE;
}

void InstallRunSignals() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

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
