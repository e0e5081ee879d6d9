// The digest lives in the NTFS alternate data stream z: path + ":z".
#include <windows.h>

#include <string>

#include "platform/platform.h"

const PathChar DigestStreamSuffix[] = L":z";
const int DigestStreamSuffixLength = 2;

bool DigestStreamExists(const PathChar* streamPath) {
    return GetFileAttributesW(streamPath) != INVALID_FILE_ATTRIBUTES;
}

int ReadDigestStream(const PathChar* streamPath, uint8_t digest[64]) {
    HANDLE stream = CreateFileW(streamPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (stream == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) ? DigestStreamUnreadable
                                                                                  : NoDigestStream;
    }
    DWORD got = 0;
    if (!ReadFile(stream, digest, 64, &got, nullptr)) got = 0;
    CloseHandle(stream);
    return static_cast<int>(got);
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

int WriteDigestStream(const PathChar* streamPath, const uint8_t digest[64], const WriteStamp* stamp) {
    HANDLE stream = CreateFileW(streamPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (stream == INVALID_HANDLE_VALUE) return -1;
    DWORD written = 0;
    if (!WriteFile(stream, digest, 64, &written, nullptr)) written = 0;
    // Setting the time on the stream's handle sets it for the file. Some
    // drivers refuse times on a stream (ntfs-3g under Wine: error 87); then
    // the file's own handle puts it back once the stream is closed.
    FILETIME lastWrite;
    lastWrite.dwLowDateTime = static_cast<DWORD>(stamp->value[0]);
    lastWrite.dwHighDateTime = static_cast<DWORD>(stamp->value[1]);
    bool kept = SetFileTime(stream, nullptr, nullptr, &lastWrite) != 0;
    CloseHandle(stream);
    if (!kept) SetFileLastWrite(streamPath, &lastWrite);
    return static_cast<int>(written);
}

bool DeleteDigestStream(const PathChar* streamPath) { return DeleteFileW(streamPath) != 0; }
