// The digest lives in the NTFS alternate data stream z: path + ":z".
#include <windows.h>

#include <string>

#include "platform/platform.h"

const PathChar DigestStreamSuffix[] = L":z";
const int DigestStreamSuffixLength = 2;

// Only a stream that is not there is no digest; denied, locked or failing
// streams are digests that could not be read.
static int OpenFailure() {
    return GetLastError() == ERROR_FILE_NOT_FOUND ? NoDigestStream : DigestStreamUnreadable;
}

static int LengthOf(HANDLE stream) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(stream, &size)) return DigestStreamUnreadable;
    return size.QuadPart > 0x7fffffff ? 0x7fffffff : static_cast<int>(size.QuadPart);
}

int QueryDigestStream(const PathChar* streamPath) {
    HANDLE stream = CreateFileW(streamPath, FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                0, nullptr);
    if (stream == INVALID_HANDLE_VALUE) return OpenFailure();
    int length = LengthOf(stream);
    DWORD error = GetLastError();
    CloseHandle(stream);
    SetLastError(error);
    return length;
}

int ReadDigestStream(const PathChar* streamPath, uint8_t digest[64]) {
    HANDLE stream = CreateFileW(streamPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (stream == INVALID_HANDLE_VALUE) return OpenFailure();
    int length = LengthOf(stream);
    DWORD got = 0;
    if (length >= 0 && !ReadFile(stream, digest, 64, &got, nullptr)) length = DigestStreamUnreadable;
    // Fewer bytes than the stream holds were delivered: not the stream.
    if (length >= 0 && got != static_cast<DWORD>(length < 64 ? length : 64)) length = DigestStreamUnreadable;
    DWORD error = GetLastError();
    CloseHandle(stream);
    SetLastError(error);
    return length;
}

// The file's last-write time through a handle on the file itself: streamPath
// less its suffix.
static void SetFileLastWrite(const PathChar* streamPath, const FILETIME* lastWrite) {
    std::wstring path(streamPath);
    path.resize(path.size() - DigestStreamSuffixLength);
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    SetFileTime(file, nullptr, nullptr, lastWrite);
    CloseHandle(file);
}

static bool SameFileAsRead(const BY_HANDLE_FILE_INFORMATION& read, const BY_HANDLE_FILE_INFORMATION& now) {
    return read.dwVolumeSerialNumber == now.dwVolumeSerialNumber && read.nFileIndexHigh == now.nFileIndexHigh &&
           read.nFileIndexLow == now.nFileIndexLow &&
           read.ftLastWriteTime.dwLowDateTime == now.ftLastWriteTime.dwLowDateTime &&
           read.ftLastWriteTime.dwHighDateTime == now.ftLastWriteTime.dwHighDateTime;
}

int WriteDigestStream(FileHandle file, const PathChar* streamPath, const uint8_t digest[64]) {
    // The file's handle is closed before its stream is opened: some systems
    // (Wine on ntfs-3g) share the stream as the file itself, and a handle of
    // ours that shares no writing would refuse the stream, after creating it.
    BY_HANDLE_FILE_INFORMATION read;
    BOOL known = GetFileInformationByHandle(reinterpret_cast<HANDLE>(file), &read);
    DWORD error = GetLastError();
    CloseHandle(reinterpret_cast<HANDLE>(file));
    if (!known) {
        SetLastError(error);
        return -1;
    }
    // Opened without truncating, so that nothing is lost before the stream is
    // known to belong to the file that was read.
    HANDLE stream = CreateFileW(streamPath, GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (stream == INVALID_HANDLE_VALUE) return -1;
    bool created = GetLastError() != ERROR_ALREADY_EXISTS;
    BY_HANDLE_FILE_INFORMATION now;
    if (!GetFileInformationByHandle(stream, &now) || !SameFileAsRead(read, now)) {
        // Renamed over or written since it was read: a stream made just now
        // goes again, an old one stays as it was.
        if (created) {
            FILE_DISPOSITION_INFO disposition = {TRUE};
            SetFileInformationByHandle(stream, FileDispositionInfo, &disposition, sizeof disposition);
        }
        CloseHandle(stream);
        return DigestPathMoved;
    }
    DWORD written = 0;
    error = 0;
    if (!WriteFile(stream, digest, 64, &written, nullptr) || !SetEndOfFile(stream)) error = GetLastError();
    // Some drivers refuse times on a stream (ntfs-3g under Wine: error 87);
    // then the file's own handle puts the time back once the stream is closed.
    bool kept = SetFileTime(stream, nullptr, nullptr, &read.ftLastWriteTime) != 0;
    CloseHandle(stream);
    if (!kept) SetFileLastWrite(streamPath, &read.ftLastWriteTime);
    SetLastError(error);
    if (written == 0) return -1;
    return error != 0 ? 0 : static_cast<int>(written);
}

bool DeleteDigestStream(const PathChar* streamPath) { return DeleteFileW(streamPath) != 0; }
