#include <windows.h>
#include <shellapi.h>
#include <winioctl.h>

#include <cstddef>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "platform/platform.h"

const PathChar LongPathPrefix[] = L"\\\\?\\";
const int LongPathPrefixLength = 4;
const PathChar PathSeparator = L'\\';

int LastPlatformError() { return static_cast<int>(GetLastError()); }
void ClearPlatformError() { SetLastError(0); }

PathString PlatformErrorText(int error) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    PathString message;
    if (n != 0 && text) message.assign(text, n);
    if (text) LocalFree(text);
    // Without the line end and the full stop, to stand after "path: ".
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ' ||
                                message.back() == L'.')) {
        message.pop_back();
    }
    if (message.empty()) message = L"error " + std::to_wstring(error);
    return message;
}

GateHandle CreateGate(bool manualReset, bool signalled) {
    return CreateEventW(nullptr, manualReset, signalled, nullptr);
}

void SetGate(GateHandle gate) { SetEvent(gate); }
void ResetGate(GateHandle gate) { ResetEvent(gate); }
void WaitGate(GateHandle gate) { WaitForSingleObject(gate, INFINITE); }

bool WaitGateFor(GateHandle gate, uint32_t milliseconds) {
    return WaitForSingleObject(gate, milliseconds) == WAIT_OBJECT_0;
}

uint64_t SystemTimeNow() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

void SleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

struct WorkerStart {
    WorkerEntry entry;
    void* parameter;
};

static DWORD WINAPI RunWorker(LPVOID start) {
    WorkerStart begin = *static_cast<WorkerStart*>(start);
    std::free(start);
    return begin.entry(begin.parameter);
}

bool StartWorker(WorkerEntry entry, void* parameter, WorkerThread* thread) {
    WorkerStart* start = static_cast<WorkerStart*>(std::malloc(sizeof(WorkerStart)));
    if (!start) return false;
    start->entry = entry;
    start->parameter = parameter;
    HANDLE started = CreateThread(nullptr, 0, RunWorker, start, 0, nullptr);
    if (!started) {
        std::free(start);
        return false;
    }
    if (thread) *thread = reinterpret_cast<WorkerThread>(started);
    else CloseHandle(started);
    return true;
}

void AwaitWorker(WorkerThread thread) {
    HANDLE handle = reinterpret_cast<HANDLE>(thread);
    WaitForSingleObject(handle, INFINITE);
    CloseHandle(handle);
}

void SplitTargetText(const PathChar* text, std::vector<PathString>* args) {
    args->clear();
    int count = 0;
    LPWSTR* vector = CommandLineToArgvW(text, &count);
    if (!vector) return;
    for (int i = 0; i < count; ++i) args->push_back(vector[i]);
    LocalFree(vector);
}

// How many units of path are its root ("C:", "\\server\share", "\\?\C:"),
// which ".." does not climb above.
static size_t RootLength(const PathString& path) {
    size_t at = path.compare(0, 4, L"\\\\?\\") == 0 ? 4 : 0;
    if (path.size() >= at + 2 && path[at + 1] == L':') return at + 2;
    if (at == 4 && path.compare(4, 4, L"UNC\\") == 0) at = 8;
    else if (path.compare(0, 2, L"\\\\") == 0) at = 2;
    else return 0;
    // Server and share.
    for (int part = 0; part < 2; ++part) {
        size_t next = path.find(L'\\', at);
        if (next == PathString::npos) return path.size();
        at = part == 0 ? next + 1 : next;
    }
    return at;
}

// The folder a path relative to it is resolved against: the current one, or
// for "C:name" the current one of that drive.
static PathString BaseFolderOf(const PathString& drive) {
    DWORD need = GetFullPathNameW(drive.empty() ? L"." : drive.c_str(), 0, nullptr, nullptr);
    PathString base(need, L'\0');
    DWORD got = need == 0 ? 0 : GetFullPathNameW(drive.empty() ? L"." : drive.c_str(), need, &base[0], nullptr);
    base.resize(got < need ? got : 0);
    return base;
}

PathString MakeAbsolutePath(const PathString& given) {
    // A path that begins with a backslash (UNC, or already prefixed) is taken
    // as written; everything else is resolved, which also turns / into \.
    if (given.empty() || given[0] == L'\\') return given;
    PathString path = given;
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    if (path.compare(0, 2, L"\\\\") == 0) return path;
    // Done here rather than by GetFullPathNameW, which cuts dots and blanks
    // off the end of a name and turns "nul.txt" into a device: the names are
    // taken as typed, and the long-path prefix keeps them so.
    bool drive = path.size() >= 2 && path[1] == L':';
    PathString full;
    size_t rest = 0;
    if (drive && path.size() > 2 && path[2] == L'\\') {
        full = path.substr(0, 2);
        rest = 2;
    } else {
        full = BaseFolderOf(drive ? path.substr(0, 2) : PathString());
        if (full.empty()) return given;
        rest = drive ? 2 : 0;
        // "\name": the root of the current folder's drive.
        if (path[rest] == L'\\') full.resize(RootLength(full));
    }
    size_t root = RootLength(full);
    if (root == 0) return given;
    while (full.size() > root && full.back() == L'\\') full.pop_back();
    size_t at = rest;
    while (at <= path.size()) {
        size_t end = path.find(L'\\', at);
        if (end == PathString::npos) end = path.size();
        PathString name = path.substr(at, end - at);
        if (name == L"..") {
            size_t cut = full.rfind(L'\\');
            full.resize(cut == PathString::npos || cut < root ? root : cut);
        } else if (!name.empty() && name != L".") {
            full += L'\\';
            full += name;
        }
        at = end + 1;
    }
    // A trailing separator stays, as for a drive's root.
    if (full.size() == root || path.back() == L'\\') full += L'\\';
    return full;
}

int ProcessorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? static_cast<int>(info.dwNumberOfProcessors) : 1;
}

// The device of the volume whose root is volume (a drive's root, with or
// without the long-path prefix, or a folder a volume is mounted on): \\.\C:
// for a drive letter, else the volume's own name less its last backslash.
// Empty where there is none, as for a share.
static std::wstring VolumeDevice(const wchar_t* volume) {
    const wchar_t* root = std::wcsncmp(volume, L"\\\\?\\", 4) == 0 ? volume + 4 : volume;
    bool letter = ((root[0] >= L'A' && root[0] <= L'Z') || (root[0] >= L'a' && root[0] <= L'z')) && root[1] == L':' &&
                  root[2] == L'\\' && root[3] == 0;
    if (letter) return std::wstring(L"\\\\.\\") + root[0] + L':';
    wchar_t name[MAX_PATH];
    if (!GetVolumeNameForVolumeMountPointW(volume, name, MAX_PATH)) return std::wstring();
    std::wstring device = name;
    if (!device.empty() && device.back() == L'\\') device.pop_back();
    return device;
}

SeekPenalty QuerySeekPenalty(const PathChar* path) {
    std::wstring volume(std::wcslen(path) + MAX_PATH + 1, L'\0');
    if (!GetVolumePathNameW(path, &volume[0], static_cast<DWORD>(volume.size()))) return SeekPenaltyUnknown;
    std::wstring device = VolumeDevice(volume.c_str());
    if (device.empty()) return SeekPenaltyUnknown;
    // Access 0: the device's properties, with no right to read it.
    HANDLE handle = CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE) return SeekPenaltyUnknown;
    STORAGE_PROPERTY_QUERY query = {};
    query.PropertyId = StorageDeviceSeekPenaltyProperty;
    query.QueryType = PropertyStandardQuery;
    DEVICE_SEEK_PENALTY_DESCRIPTOR answer = {};
    DWORD got = 0;
    BOOL asked = DeviceIoControl(handle, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &answer, sizeof answer,
                                 &got, nullptr);
    CloseHandle(handle);
    size_t needed = offsetof(DEVICE_SEEK_PENALTY_DESCRIPTOR, IncursSeekPenalty) + sizeof answer.IncursSeekPenalty;
    if (!asked || got < needed) return SeekPenaltyUnknown;
    return answer.IncursSeekPenalty ? SeekPenaltyPresent : SeekPenaltyNone;
}
