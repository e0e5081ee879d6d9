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

// Read access, read sharing, existing only, sequential-scan hint. On POSIX only
// regular files (also through symbolic links) open, and the open never blocks.
FileHandle OpenFileForReading(const PathChar* path);
int64_t FileSizeOf(FileHandle file);
// Reads up to size bytes from the current position; the count delivered, 0 on
// failure or at the end.
uint32_t ReadFileChunk(FileHandle file, void* buffer, uint32_t size);
void CloseFile(FileHandle file);

// A file's last-write time as the system keeps it; opaque to the callers.
struct WriteStamp {
    int64_t value[2];
};
void GetWriteStamp(FileHandle file, WriteStamp* stamp);

enum PathKind { PathMissing, PathFile, PathDirectory, PathOther };
// Follows links. PathOther: FIFOs, sockets, devices (POSIX only).
PathKind QueryPathKind(const PathChar* path);
bool QueryFileSize(const PathChar* path, uint64_t* size);

// Volume and file index on Windows, st_dev and st_ino on POSIX.
struct FileIdentity {
    uint64_t volume;
    uint64_t index;
};
bool QueryDirectoryIdentity(const PathChar* path, FileIdentity* identity);

// ---- digest streams (stream_win32.cpp / stream_posix.cpp) -----------------
// On Windows the stream of path is path + ":z"; on POSIX the suffix is empty
// and the calls take the file's own path, the digest living in user.z.
extern const PathChar DigestStreamSuffix[];
extern const int DigestStreamSuffixLength;

bool DigestStreamExists(const PathChar* streamPath);
// The bytes read (0 to 64; a longer stream yields its first 64), or
// NoDigestStream when there is none, or DigestStreamUnreadable when there is
// one that cannot be opened (denied, locked).
const int NoDigestStream = -1;
const int DigestStreamUnreadable = -2;
int ReadDigestStream(const PathChar* streamPath, uint8_t digest[64]);
// Creates or truncates the stream, writes the 64 bytes in one write, sets the
// file's last-write time back to stamp, closes. -1 when the stream could not be
// created, else the bytes stored.
int WriteDigestStream(const PathChar* streamPath, const uint8_t digest[64], const WriteStamp* stamp);
bool DeleteDigestStream(const PathChar* streamPath);

// ---- directory enumeration -------------------------------------------------
enum EntryKind { EntryFile, EntryDirectory, EntryOther };
struct DirectoryEntry {
    const PathChar* name;  // valid until the next call on the enumeration
    int length;
    EntryKind kind;        // links followed; EntryOther only on POSIX
};
typedef void* DirectoryHandle;
// path holds a directory path of length units ending in a separator, with room
// for two more units; it is left as it was. Null when it cannot be enumerated.
DirectoryHandle OpenDirectory(PathChar* path, int length);
// Skips "." and "..". False when there are no more entries.
bool NextDirectoryEntry(DirectoryHandle directory, DirectoryEntry* entry);
void CloseDirectory(DirectoryHandle directory);

// ---- gates, clock, threads -------------------------------------------------
// An event: manual reset stays signalled until reset, auto reset lets one wait
// through per signal.
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

// ---- arguments and paths ----------------------------------------------------
// Windows: CommandLineToArgvW. POSIX: blanks separate, double quotes group a
// path with blanks, backslashes are ordinary characters.
void SplitTargetText(const PathChar* text, std::vector<PathString>* args);
// A relative path (or, on Windows, one with forward slashes) made absolute
// against the current directory; other paths come back unchanged.
PathString MakeAbsolutePath(const PathString& path);
