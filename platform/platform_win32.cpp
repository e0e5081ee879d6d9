#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <cwchar>
#include <string>

#include "platform/platform.h"

const PathChar LongPathPrefix[] = L"\\\\?\\";
const int LongPathPrefixLength = 4;
const PathChar PathSeparator = L'\\';

const int MaxEntryNameLength = 260;  // a name written with its separator: 261 units

static HANDLE AsHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

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

static void FillSnapshot(const BY_HANDLE_FILE_INFORMATION& information, FileSnapshot* snapshot) {
    snapshot->identity.volume = information.dwVolumeSerialNumber;
    snapshot->identity.index = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    snapshot->size = static_cast<int64_t>((static_cast<uint64_t>(information.nFileSizeHigh) << 32) |
                                          information.nFileSizeLow);
    snapshot->stamp.value[0] = information.ftLastWriteTime.dwLowDateTime;
    snapshot->stamp.value[1] = information.ftLastWriteTime.dwHighDateTime;
}

bool TakeFileSnapshot(FileHandle file, FileSnapshot* snapshot) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(AsHandle(file), &information)) return false;
    FillSnapshot(information, snapshot);
    FILE_BASIC_INFO basic;
    if (GetFileInformationByHandleEx(AsHandle(file), FileBasicInfo, &basic, sizeof basic)) {
        snapshot->change.value[0] = basic.ChangeTime.LowPart;
        snapshot->change.value[1] = basic.ChangeTime.HighPart;
    } else {
        snapshot->change.value[0] = snapshot->change.value[1] = 0;
    }
    return true;
}

FileHandle OpenFileForReading(const PathChar* path, FileSnapshot* snapshot) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE || !snapshot) return reinterpret_cast<FileHandle>(file);
    if (!TakeFileSnapshot(reinterpret_cast<FileHandle>(file), snapshot)) {
        DWORD error = GetLastError();
        CloseHandle(file);
        SetLastError(error);
        return NoFile;
    }
    return reinterpret_cast<FileHandle>(file);
}

int64_t FileSizeOf(FileHandle file) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(AsHandle(file), &size)) return 0;
    return size.QuadPart;
}

uint32_t ReadFileChunk(FileHandle file, void* buffer, uint32_t size) {
    DWORD got = 0;
    if (!ReadFile(AsHandle(file), buffer, size, &got, nullptr)) return 0;
    return got;
}

void CloseFile(FileHandle file) { CloseHandle(AsHandle(file)); }

PathKind QueryPathKind(const PathChar* path) {
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathMissing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathDirectory : PathFile;
}

bool QueryFileSize(const PathChar* path, uint64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return false;
    *size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

static bool QueryDirectoryIdentity(const PathChar* path, FileIdentity* identity) {
    HANDLE directory = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (directory == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information;
    BOOL known = GetFileInformationByHandle(directory, &information);
    CloseHandle(directory);
    if (!known) return false;
    identity->volume = information.dwVolumeSerialNumber;
    identity->index = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    return true;
}

static EntryKind KindOf(const WIN32_FIND_DATAW& data) {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return EntryFile;
    // A folder that is a reparse point (junction, symbolic link, mount
    // point) may lead anywhere, also outside the target: not entered.
    return (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? EntryOther : EntryDirectory;
}

bool ListDirectory(PathChar* path, int length, DirectoryListing* listing) {
    listing->names.clear();
    listing->entries.clear();
    if (!QueryDirectoryIdentity(path, &listing->identity)) {
        listing->identity.volume = 0;
        listing->identity.index = 0;
    }
    WIN32_FIND_DATAW data;
    path[length] = L'*';
    path[length + 1] = 0;
    HANDLE find = FindFirstFileW(path, &data);
    DWORD error = find == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    path[length] = 0;
    if (find == INVALID_HANDLE_VALUE) {
        // An empty drive root has not even "." to show.
        SetLastError(error);
        return error == ERROR_FILE_NOT_FOUND;
    }
    do {
        const wchar_t* name = data.cFileName;
        if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))) continue;
        DirectoryEntry entry;
        entry.nameAt = static_cast<int>(listing->names.size());
        entry.length = static_cast<int>(wcslen(name));
        entry.kind = KindOf(data);
        entry.error = 0;
        listing->names.append(name, static_cast<size_t>(entry.length) + 1);
        listing->entries.push_back(entry);
    } while (FindNextFileW(find, &data));
    error = GetLastError();
    FindClose(find);
    SetLastError(error);
    return error == ERROR_NO_MORE_FILES;
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

bool StartWorker(WorkerEntry entry, void* parameter) {
    WorkerStart* start = static_cast<WorkerStart*>(std::malloc(sizeof(WorkerStart)));
    if (!start) return false;
    start->entry = entry;
    start->parameter = parameter;
    HANDLE thread = CreateThread(nullptr, 0, RunWorker, start, 0, nullptr);
    if (!thread) {
        std::free(start);
        return false;
    }
    CloseHandle(thread);
    return true;
}

void SplitTargetText(const PathChar* text, std::vector<PathString>* args) {
    args->clear();
    int count = 0;
    LPWSTR* vector = CommandLineToArgvW(text, &count);
    if (!vector) return;
    for (int i = 0; i < count; ++i) args->push_back(vector[i]);
    LocalFree(vector);
}

PathString MakeAbsolutePath(const PathString& path) {
    // A path that begins with a backslash (UNC, or already prefixed) is taken
    // as written; everything else is resolved, which also turns / into \.
    if (path.empty() || path[0] == L'\\') return path;
    DWORD need = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (need == 0) return path;
    PathString full(need, L'\0');
    DWORD got = GetFullPathNameW(path.c_str(), need, &full[0], nullptr);
    if (got == 0 || got >= need) return path;
    full.resize(got);
    return full;
}

int ProcessorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? static_cast<int>(info.dwNumberOfProcessors) : 1;
}
