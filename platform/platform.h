// The thin layer under engine/ and store/: files, digest streams, directory
// enumeration, gates, the clock, worker threads and argument splitting.
// One implementation per system (platform_win32.cpp, platform_posix.cpp);
// the digest stream calls live in a file of their own (stream_*.cpp) so that
// a test can link a double in their place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Paths are the system's native strings: UTF-16 on Windows, bytes on POSIX.
#ifdef _WIN32
typedef wchar_t PathChar;
#define PT(s) L##s
#else
typedef char PathChar;
#define PT(s) s
#endif
typedef std::basic_string<PathChar> PathString;

// "\\?\" on Windows, empty on POSIX, where paths reach the system as given.
extern const PathChar LongPathPrefix[];
extern const int LongPathPrefixLength;
extern const PathChar PathSeparator;

// ---- files ----------------------------------------------------------------
// A HANDLE on Windows, a descriptor on POSIX; NoFile when an open failed.
typedef intptr_t FileHandle;
const FileHandle NoFile = -1;

// The error of the platform call that just failed (errno, GetLastError), or
// one of the store's own reasons below; read it before the next call.
int LastPlatformError();
void ClearPlatformError();
// Reasons of the store's own, below any system error number.
const int ErrorChangedWhileRead = -1001;
const int ErrorNotRegularFile = -1002;
const int ErrorShortRead = -1003;
const int ErrorPathTooLong = -1004;
const int ErrorShortWrite = -1005;

// A file's last-write time as the system keeps it; opaque to the callers.
struct WriteStamp {
    int64_t value[2];
};

// Volume and file index on Windows, st_dev and st_ino on POSIX.
struct FileIdentity {
    uint64_t volume;
    uint64_t index;
};

// What a file was when read: taken from the open handle before the first
// read and again after the last, so that a change in between is seen.
struct FileSnapshot {
    FileIdentity identity;
    int64_t size;
    WriteStamp stamp;
    // The change time, which no one sets back: a write whose last-write time
    // was put back afterwards still moves it.
    WriteStamp change;
};

// Read access, read sharing, existing only, sequential-scan hint; snapshot
// (when given) is taken from the handle. On POSIX only regular files (also
// through symbolic links) open, and the open never blocks.
FileHandle OpenFileForReading(const PathChar* path, FileSnapshot* snapshot = nullptr);
bool TakeFileSnapshot(FileHandle file, FileSnapshot* snapshot);
int64_t FileSizeOf(FileHandle file);
// Reads up to size bytes from the current position; the count delivered, 0 on
// failure or at the end.
uint32_t ReadFileChunk(FileHandle file, void* buffer, uint32_t size);
void CloseFile(FileHandle file);

enum PathKind { PathMissing, PathFile, PathDirectory, PathOther };
// Follows links. PathOther: FIFOs, sockets, devices (POSIX only). PathMissing
// also when the path cannot be looked at; LastPlatformError says why.
PathKind QueryPathKind(const PathChar* path);
bool QueryFileSize(const PathChar* path, uint64_t* size);

// ---- digest streams (stream_win32.cpp / stream_posix.cpp) -----------------
// On Windows the stream of path is path + ":z"; on POSIX the suffix is empty
// and the calls take the file's own path, the digest living in user.z.
extern const PathChar DigestStreamSuffix[];
extern const int DigestStreamSuffixLength;

// Only "no such stream" (ENODATA, ERROR_FILE_NOT_FOUND) means no digest; any
// other failure is a digest that could not be read, never taken for none.
const int NoDigestStream = -1;
const int DigestStreamUnreadable = -2;
// The stream's length in bytes, or one of the two above.
int QueryDigestStream(const PathChar* streamPath);
// The stream's length (only the first 64 bytes are copied), or one of the two.
int ReadDigestStream(const PathChar* streamPath, uint8_t digest[64]);
// Stores the 64 bytes with the open file (the file read for them) at path,
// leaving its last-write time as it is, and closes the file. The bytes
// stored, -1 when nothing could be stored (LastPlatformError says why), or
// DigestPathMoved when path no longer names that file as it was read (renamed
// over, or written since).
const int DigestPathMoved = -3;
int WriteDigestStream(FileHandle file, const PathChar* streamPath, const uint8_t digest[64]);
bool DeleteDigestStream(const PathChar* streamPath);

// ---- directory enumeration -------------------------------------------------
enum EntryKind { EntryFile, EntryDirectory, EntryOther, EntryUnknown };
struct DirectoryEntry {
    int nameAt;  // in DirectoryListing.names, terminated
    int length;
    // Links are not followed: a symbolic link (or, on Windows, a folder that
    // is a reparse point) is EntryOther, like FIFOs, sockets and devices.
    // EntryUnknown: its kind could not be looked up, for the reason in error.
    EntryKind kind;
    int error;
};
struct DirectoryListing {
    PathString names;
    std::vector<DirectoryEntry> entries;
    FileIdentity identity;  // of the folder itself
};
// The longest entry name the walk takes, in units (Windows' 260; none on POSIX).
extern const int MaxEntryNameLength;
// Reads every entry (less "." and "..") of the folder whose path of length
// units ends in a separator, then closes it again, so that a walk holds no
// folder open while it descends. path has room for two more units and is left
// as it was. False when it cannot be listed (LastPlatformError says why).
bool ListDirectory(PathChar* path, int length, DirectoryListing* listing);

// ---- gates, clock, threads -------------------------------------------------
// An event: manual reset stays signalled until reset, auto reset lets one wait
// through per signal. Null when it could not be made; a null gate holds no
// one: setting and resetting it do nothing, WaitGate returns at once and
// WaitGateFor returns false at once.
typedef void* GateHandle;
GateHandle CreateGate(bool manualReset, bool signalled);
void SetGate(GateHandle gate);
void ResetGate(GateHandle gate);
void WaitGate(GateHandle gate);
// True when the gate was signalled within the time.
bool WaitGateFor(GateHandle gate, uint32_t milliseconds);

// 100-nanosecond intervals since 1601-01-01 UTC.
uint64_t SystemTimeNow();
void SleepMilliseconds(uint32_t milliseconds);

typedef unsigned (*WorkerEntry)(void* parameter);
// A detached thread, running at once. False when it could not be created.
bool StartWorker(WorkerEntry entry, void* parameter);
// The processors this process may run on; at least 1.
int ProcessorCount();

// ---- arguments and paths ----------------------------------------------------
// Windows: CommandLineToArgvW. POSIX: blanks separate, double quotes group a
// path with blanks, backslashes are ordinary characters.
void SplitTargetText(const PathChar* text, std::vector<PathString>* args);
// A relative path (or, on Windows, one with forward slashes) made absolute
// against the current directory; other paths come back unchanged.
PathString MakeAbsolutePath(const PathString& path);
