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

int WriteDigestStream(FileHandle file, const PathChar* streamPath, const uint8_t digest[64]) {
    // The file stays open without write or delete sharing until this returns,
    // so the path still names the file read. Its last-write time is taken
    // just before the write and set back through the stream's handle.
    FILETIME lastWrite = {0, 0};
    BOOL timeKnown = GetFileTime(reinterpret_cast<HANDLE>(file), nullptr, nullptr, &lastWrite);
    HANDLE stream = CreateFileW(streamPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (stream == INVALID_HANDLE_VALUE) return -1;
    DWORD written = 0;
    DWORD error = 0;
    if (!WriteFile(stream, digest, 64, &written, nullptr)) {
        written = 0;
        error = GetLastError();
    }
    // Some drivers refuse times on a stream (ntfs-3g under Wine: error 87);
    // then the file's own handle puts the time back once the stream is closed.
    bool kept = timeKnown && SetFileTime(stream, nullptr, nullptr, &lastWrite);
    CloseHandle(stream);
    if (timeKnown && !kept) SetFileLastWrite(streamPath, &lastWrite);
    SetLastError(error);
    return written == 0 ? -1 : static_cast<int>(written);
}

bool DeleteDigestStream(const PathChar* streamPath) { return DeleteFileW(streamPath) != 0; }
