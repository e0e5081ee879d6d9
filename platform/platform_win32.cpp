#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <cwchar>

#include "platform/platform.h"

const PathChar LongPathPrefix[] = L"\\\\?\\";
const int LongPathPrefixLength = 4;
const PathChar PathSeparator = L'\\';

static HANDLE AsHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle OpenFileForReading(const PathChar* path) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
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

void GetWriteStamp(FileHandle file, WriteStamp* stamp) {
    FILETIME written = {0, 0};
    GetFileTime(AsHandle(file), nullptr, nullptr, &written);
    stamp->value[0] = written.dwLowDateTime;
    stamp->value[1] = written.dwHighDateTime;
}

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

bool QueryDirectoryIdentity(const PathChar* path, FileIdentity* identity) {
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

struct DirectoryRecord {
    HANDLE find;
    bool pending;  // FindFirstFileW already delivered the first entry
    WIN32_FIND_DATAW data;
};

DirectoryHandle OpenDirectory(PathChar* path, int length) {
    DirectoryRecord* record = static_cast<DirectoryRecord*>(std::malloc(sizeof(DirectoryRecord)));
    if (!record) return nullptr;
    path[length] = L'*';
    path[length + 1] = 0;
    record->find = FindFirstFileW(path, &record->data);
    path[length] = 0;
    if (record->find == INVALID_HANDLE_VALUE) {
        std::free(record);
        return nullptr;
    }
    record->pending = true;
    return record;
}

bool NextDirectoryEntry(DirectoryHandle directory, DirectoryEntry* entry) {
    DirectoryRecord* record = static_cast<DirectoryRecord*>(directory);
    for (;;) {
        if (!record->pending && !FindNextFileW(record->find, &record->data)) return false;
        record->pending = false;
        const wchar_t* name = record->data.cFileName;
        if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))) continue;
        entry->name = name;
        entry->length = static_cast<int>(wcslen(name));
        entry->kind = (record->data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryDirectory : EntryFile;
        return true;
    }
}

void CloseDirectory(DirectoryHandle directory) {
    DirectoryRecord* record = static_cast<DirectoryRecord*>(directory);
    FindClose(record->find);
    std::free(record);
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
