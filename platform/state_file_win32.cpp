#include <windows.h>

#include "platform/state_file.h"

PathString StateFolderPath() {
    wchar_t folder[MAX_PATH + 1];
    DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return PathString();
    return PathString(folder, n) + L"\\Quorvane";
}

bool MakeStateFolder(const PathString& path) {
    // Each folder from the first one below the drive or share.
    for (size_t at = 3; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != L'\\') continue;
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    }
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

FileHandle OpenStateFile(const PathString& path, bool create, bool* writable) {
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                              create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    *writable = file != INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND) {
        DWORD error = GetLastError();
        file = CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) SetLastError(error);
    }
    return file == INVALID_HANDLE_VALUE ? NoFile : reinterpret_cast<FileHandle>(file);
}

bool LockStateFile(FileHandle file, bool wait) {
    OVERLAPPED at = {};
    DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    return LockFileEx(reinterpret_cast<HANDLE>(file), flags, 0, MAXDWORD, MAXDWORD, &at) != 0;
}

static OVERLAPPED AtOffset(uint64_t offset) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

int ReadStateAt(FileHandle file, uint64_t offset, void* bytes, uint32_t size) {
    OVERLAPPED at = AtOffset(offset);
    DWORD read = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(file), bytes, size, &read, &at)) {
        return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    }
    return static_cast<int>(read);
}

bool WriteStateAt(FileHandle file, uint64_t offset, const void* bytes, uint32_t size) {
    OVERLAPPED at = AtOffset(offset);
    DWORD written = 0;
    return WriteFile(reinterpret_cast<HANDLE>(file), bytes, size, &written, &at) && written == size;
}

bool FlushStateFile(FileHandle file) { return FlushFileBuffers(reinterpret_cast<HANDLE>(file)) != 0; }

bool SetStateFileSize(FileHandle file, uint64_t size) {
    FILE_END_OF_FILE_INFO end;
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    return SetFileInformationByHandle(reinterpret_cast<HANDLE>(file), FileEndOfFileInfo, &end, sizeof end) != 0;
}

bool ReplaceStateFile(const PathString& from, const PathString& to) {
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void DeleteStateFile(const PathString& path) { DeleteFileW(path.c_str()); }

uint8_t* MapStateFile(FileHandle file, uint64_t size, bool writable) {
    HANDLE mapping = CreateFileMappingW(reinterpret_cast<HANDLE>(file), nullptr, writable ? PAGE_READWRITE : PAGE_READONLY,
                                        static_cast<DWORD>(size >> 32), static_cast<DWORD>(size), nullptr);
    if (!mapping) return nullptr;
    void* view = MapViewOfFile(mapping, writable ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(size));
    // The view keeps the mapping.
    CloseHandle(mapping);
    return static_cast<uint8_t*>(view);
}

bool FlushStateView(uint8_t* view, uint64_t size) { return FlushViewOfFile(view, static_cast<SIZE_T>(size)) != 0; }

void UnmapStateFile(uint8_t* view, uint64_t) { UnmapViewOfFile(view); }
