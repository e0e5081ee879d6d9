// The digest lives in the NTFS alternate data stream z (path + ":z"), its
// record in zr. A stream path names the file again, so every stream opened
// here is first checked to belong to the open file (volume serial and file
// index) before its value is used, replaced or deleted.
#include <windows.h>

#include <string>

#include "platform/platform.h"

static std::wstring StreamPathOf(const PathChar* path, StreamName stream) {
    return std::wstring(path) + (stream == DigestStream ? L":z" : L":zr");
}

static bool SameIdentity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// Only a stream that is not there is none; denied, locked or failing
// streams are streams that could not be read.
static int OpenFailure() {
    return GetLastError() == ERROR_FILE_NOT_FOUND ? NoDigestStream : DigestStreamUnreadable;
}

// Closes stream with result as the outcome, keeping the last error.
static int Finish(HANDLE stream, int result) {
    DWORD error = GetLastError();
    CloseHandle(stream);
    SetLastError(error);
    return result;
}

// The stream opened for access, once known to belong to file; else
// INVALID_HANDLE_VALUE and in *failure why.
static HANDLE OpenOwnStream(FileHandle file, const PathChar* path, StreamName stream, DWORD access, DWORD sharing,
                            int* failure) {
    BY_HANDLE_FILE_INFORMATION owner, found;
    if (!GetFileInformationByHandle(reinterpret_cast<HANDLE>(file), &owner)) {
        *failure = DigestStreamUnreadable;
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = CreateFileW(StreamPathOf(path, stream).c_str(), access, sharing, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *failure = OpenFailure();
        return handle;
    }
    if (!GetFileInformationByHandle(handle, &found) || !SameIdentity(owner, found)) {
        CloseHandle(handle);
        SetLastError(static_cast<DWORD>(ErrorChangedWhileRead));
        *failure = StreamOfAnotherFile;
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

static int LengthOf(HANDLE stream) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(stream, &size)) return DigestStreamUnreadable;
    return size.QuadPart > 0x7fffffff ? 0x7fffffff : static_cast<int>(size.QuadPart);
}

int QueryStream(FileHandle file, const PathChar* path, StreamName stream) {
    int failure = 0;
    HANDLE handle = OpenOwnStream(file, path, stream, FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &failure);
    if (handle == INVALID_HANDLE_VALUE) return failure;
    return Finish(handle, LengthOf(handle));
}

int ReadStream(FileHandle file, const PathChar* path, StreamName stream, uint8_t* bytes, int capacity) {
    int failure = 0;
    HANDLE handle = OpenOwnStream(file, path, stream, GENERIC_READ, FILE_SHARE_READ, &failure);
    if (handle == INVALID_HANDLE_VALUE) return failure;
    int length = LengthOf(handle);
    DWORD got = 0;
    if (length >= 0 && !ReadFile(handle, bytes, static_cast<DWORD>(capacity), &got, nullptr)) {
        length = DigestStreamUnreadable;
    }
    // Fewer bytes than the stream holds were delivered: not the stream.
    if (length >= 0 && got != static_cast<DWORD>(length < capacity ? length : capacity)) length = DigestStreamUnreadable;
    return Finish(handle, length);
}

// The file's last-write time through a handle on the file itself.
static void SetFileLastWrite(const PathChar* path, const FILETIME* lastWrite) {
    HANDLE file = CreateFileW(path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    SetFileTime(file, nullptr, nullptr, lastWrite);
    CloseHandle(file);
}

static bool DeleteOnClose(HANDLE handle) {
    FILE_DISPOSITION_INFO remove = {TRUE};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &remove, sizeof remove) != 0;
}

static bool DeleteOwnStream(FileHandle file, const PathChar* path, StreamName stream) {
    int failure = 0;
    HANDLE handle = OpenOwnStream(file, path, stream, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  &failure);
    if (handle == INVALID_HANDLE_VALUE) return false;
    bool deleted = DeleteOnClose(handle);
    CloseHandle(handle);
    return deleted;
}

// Wine keeps sharing per file, where Windows keeps it per stream, and makes a
// new stream before it refuses it for sharing: a stream then left empty could
// not be deleted while the other program holds the file.
static bool SharingIsPerFile() {
    static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

// Shared for reading: another name of the file (a hard link) may be open for
// reading meanwhile, and where sharing is per file a stream that shares
// nothing would be refused.
const DWORD StreamWriteAccess = GENERIC_WRITE | DELETE;
const DWORD StreamWriteSharing = FILE_SHARE_READ;

// A stream that an open refused after it was made (per-file sharing): gone
// again, if it is still the empty stream of the file read.
static void DeleteEmptyStream(const BY_HANDLE_FILE_INFORMATION& read, const PathChar* path, StreamName stream) {
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE handle = CreateFileW(StreamPathOf(path, stream).c_str(), DELETE | FILE_READ_ATTRIBUTES, sharing, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return;
    BY_HANDLE_FILE_INFORMATION found;
    if (GetFileInformationByHandle(handle, &found) && SameIdentity(read, found) && LengthOf(handle) == 0) {
        DeleteOnClose(handle);
    }
    CloseHandle(handle);
}

static bool SameFileAsRead(const BY_HANDLE_FILE_INFORMATION& read, const BY_HANDLE_FILE_INFORMATION& now) {
    return SameIdentity(read, now) && read.ftLastWriteTime.dwLowDateTime == now.ftLastWriteTime.dwLowDateTime &&
           read.ftLastWriteTime.dwHighDateTime == now.ftLastWriteTime.dwHighDateTime;
}

// Writes the bytes to the stream opened as disposition says, once it is known
// to belong to the file as read; a stream made just now goes again if not.
// 0, -1, StreamAppeared, StreamVanished or StreamOfAnotherFile.
static int WriteOneStream(const BY_HANDLE_FILE_INFORMATION& read, const PathChar* path, StreamName stream,
                          DWORD disposition, const uint8_t* bytes, int length) {
    HANDLE handle = CreateFileW(StreamPathOf(path, stream).c_str(), StreamWriteAccess, StreamWriteSharing, nullptr,
                                disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS) return StreamAppeared;
        if (error == ERROR_FILE_NOT_FOUND && disposition == OPEN_EXISTING) return StreamVanished;
        if (disposition == CREATE_NEW) DeleteEmptyStream(read, path, stream);
        SetLastError(error);
        return -1;
    }
    bool created = disposition == CREATE_NEW || GetLastError() != ERROR_ALREADY_EXISTS;
    BY_HANDLE_FILE_INFORMATION now;
    if (!GetFileInformationByHandle(handle, &now) || !SameFileAsRead(read, now)) {
        if (created) DeleteOnClose(handle);
        CloseHandle(handle);
        return StreamOfAnotherFile;
    }
    DWORD written = 0;
    DWORD error = 0;
    if (!WriteFile(handle, bytes, static_cast<DWORD>(length), &written, nullptr) || !SetEndOfFile(handle)) {
        error = GetLastError();
    } else if (written != static_cast<DWORD>(length)) {
        error = ERROR_HANDLE_DISK_FULL;
    }
    // A stream made for bytes it did not take is no stream to leave.
    if (error != 0 && created) DeleteOnClose(handle);
    // Some drivers refuse times on a stream (ntfs-3g under Wine: error 87);
    // then the file's own handle puts the time back once the stream is closed.
    bool kept = error == 0 && SetFileTime(handle, nullptr, nullptr, &read.ftLastWriteTime) != 0;
    CloseHandle(handle);
    if (!kept) SetFileLastWrite(path, &read.ftLastWriteTime);
    SetLastError(error);
    return error == 0 ? 0 : -1;
}

int WriteFileStreams(FileHandle file, const PathChar* path, const uint8_t* digest, StreamWrite how,
                     const uint8_t* record, int recordLength) {
    // The file's handle is closed before its streams are opened: some systems
    // (Wine on ntfs-3g) share a stream as the file itself.
    BY_HANDLE_FILE_INFORMATION read;
    BOOL known = GetFileInformationByHandle(reinterpret_cast<HANDLE>(file), &read);
    DWORD error = GetLastError();
    CloseHandle(reinterpret_cast<HANDLE>(file));
    if (!known) {
        SetLastError(error);
        return -1;
    }
    // Where a stream would be refused after it was made, the file is asked
    // first, with the same access and sharing.
    if (SharingIsPerFile()) {
        HANDLE probe = CreateFileW(path, StreamWriteAccess, StreamWriteSharing, nullptr, OPEN_EXISTING, 0, nullptr);
        if (probe == INVALID_HANDLE_VALUE) return -1;
        CloseHandle(probe);
    }
    if (digest) {
        int written = WriteOneStream(read, path, DigestStream, how == StreamCreateOnly ? CREATE_NEW : OPEN_EXISTING,
                                     digest, 64);
        if (written != 0) return written;
    }
    if (!record) return 0;
    int stored = WriteOneStream(read, path, RecordStream, OPEN_ALWAYS, record, recordLength);
    if (stored == 0 || !digest) return stored;
    DWORD refused = GetLastError();
    // An older record must not stand beside the new digest, nor a digest
    // made just now without its record.
    HANDLE again = CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    bool unmade = false;
    if (again != INVALID_HANDLE_VALUE) {
        DeleteOwnStream(reinterpret_cast<FileHandle>(again), path, RecordStream);
        unmade = how == StreamCreateOnly && DeleteOwnStream(reinterpret_cast<FileHandle>(again), path, DigestStream);
        CloseHandle(again);
    }
    SetLastError(refused);
    return unmade ? -1 : RecordNotStored;
}

bool DeleteFileStreams(FileHandle file, const PathChar* path) {
    int failure = 0;
    HANDLE handle = OpenOwnStream(file, path, DigestStream, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  &failure);
    if (handle == INVALID_HANDLE_VALUE) {
        // A record left without its digest goes too.
        if (failure == NoDigestStream) DeleteOwnStream(file, path, RecordStream);
        return failure == NoDigestStream;
    }
    bool deleted = DeleteOnClose(handle);
    Finish(handle, 0);
    if (deleted) DeleteOwnStream(file, path, RecordStream);
    return deleted;
}
