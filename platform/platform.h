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
// The system's own words for a system error number.
PathString PlatformErrorText(int error);
// Reasons of the store's own, below any system error number.
const int ErrorChangedWhileRead = -1001;
const int ErrorNotRegularFile = -1002;
const int ErrorShortRead = -1003;
const int ErrorPathTooLong = -1004;
const int ErrorDigestAppeared = -1009;  // a digest appeared where none was to be replaced
const int ErrorDigestChanged = -1010;   // the digest is not the one judged any more
const int ErrorOlderVersion = -1011;    // other contents and an older last-write time than recorded
const int ErrorBeyondSize = -1012;      // reads on past the size the file reports (a file of the system's own)
// Why a digest that matches has no record that fits the file now.
const int ErrorNoRecord = -1013;         // no record beside the digest
const int ErrorRecordStale = -1014;      // a record that does not fit the digest
const int ErrorRecordOutOfStep = -1015;  // the file's time or size moved since the record was written
// A file a manifest names below the targets that the walk did not reach.
const int ErrorNotWalked = -1021;

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
    // was put back afterwards still moves it. So does a change of metadata.
    WriteStamp change;
};

// How a last-write time counts. Both are kept at the system's full precision
// and told apart, so that a disk moved between the systems still compares.
enum TimeUnit : uint8_t {
    TimeUnitWindows = 1,  // 100 ns since 1601-01-01 UTC (FILETIME, NTFS)
    TimeUnitPosix = 2,    // nanoseconds since 1970-01-01 UTC
};

// A file's size and last-write time as the system reports them.
struct FileFacts {
    uint64_t size;
    int64_t time;
    TimeUnit unit;
};
FileFacts FactsOf(const FileSnapshot& snapshot);

// Where the walk found an entry: name in the open folder it listed (which
// the walk holds open), and path, its whole path. A target itself has folder
// NoFile and is reached by path, links followed; below a target no link is
// followed: POSIX opens name relative to folder without following it;
// Windows opens path and refuses a reparse point there, while the folders on
// the way are held open so that none can be renamed or swapped.
struct EntryPlace {
    FileHandle folder;
    const PathChar* name;
    const PathChar* path;
};

// Reasons for an entry that is no longer what the walk listed.
const int ErrorIsLink = -1006;       // a symbolic link or other reparse point now
const int ErrorNotFolder = -1007;    // no folder any more
const int ErrorTargetMoved = -1008;  // the target of a listed file is not the one walked

// A regular file, for reading: read access, existing only, sequential-scan
// hint; the snapshot is taken from the handle. FIFOs and devices never block
// the open. ErrorIsLink, ErrorNotRegularFile, or the system's error when it
// fails. Windows shares reading, writing and deletion, so that another name
// of the file can wait open while the first one's streams are written; the
// snapshots tell a change meanwhile.
FileHandle OpenFileForReading(const EntryPlace& place, FileSnapshot* snapshot);
// The same for a path, links followed (targets of show and digest).
FileHandle OpenFileForReading(const PathChar* path, FileSnapshot* snapshot = nullptr);
// A file for its streams only, when its contents are not read: also a file
// that may not be read (POSIX: then a path-only descriptor).
FileHandle OpenFileForStreams(const EntryPlace& place);
bool TakeFileSnapshot(FileHandle file, FileSnapshot* snapshot);
int64_t FileSizeOf(FileHandle file);
// Reads until size bytes are in or the file ends: the count delivered, short
// only at the end of the file or on an error (LastPlatformError says which).
uint32_t ReadFileChunk(FileHandle file, void* buffer, uint32_t size);
void CloseFile(FileHandle file);
// Back to the start of the file, to read it once more.
bool RewindFile(FileHandle file);
// How many files a run may hold open at once besides its folders (POSIX:
// within the descriptors the process may have, which it raises to the most
// it is allowed first).
int OpenFileRoom();

enum PathKind { PathMissing, PathFile, PathDirectory, PathOther };
// Follows links. PathOther: FIFOs, sockets, devices (POSIX only). PathMissing
// also when the path cannot be looked at; LastPlatformError says why.
PathKind QueryPathKind(const PathChar* path);
bool QueryFileSize(const PathChar* path, uint64_t* size);

// A target that a write run finds its listed files under again: opened as
// the user named it (links followed) and checked to be the one the walk
// went through.
struct TargetRoot {
    FileHandle handle;
    FileIdentity identity;
    PathString finalPath;  // Windows: where the system resolves it
};
bool OpenTargetRoot(const PathChar* path, const FileIdentity& walked, TargetRoot* root);
void CloseTargetRoot(TargetRoot* root);
// The listed file at path, found below root again (path holds root's path,
// then from relativeAt on the path below it) without following any link
// below root; as OpenFileForReading otherwise.
FileHandle OpenFileBelowRoot(const TargetRoot& root, const PathChar* path, int relativeAt, FileSnapshot* snapshot);
// Whether path still leads to the file of identity, through a link at its
// end too (a target may be one): false when renamed over or moved away since
// it was opened.
bool PathNamesFile(const PathChar* path, const FileIdentity& identity);

// ---- streams kept with a file (stream_win32.cpp / stream_posix.cpp) --------
// The digest (z) and the record beside it (zr): on Windows the NTFS streams
// path:z and path:zr, on POSIX the extended attributes user.z and user.zr,
// which is how ntfs-3g shows those streams. Every call goes through the open
// file: POSIX reaches the attribute through its descriptor; Windows opens
// the stream by path and checks that it belongs to the open file (volume and
// file index) before its value is used, replaced or deleted.
enum StreamName { DigestStream, RecordStream };

// Only "no such stream" (ENODATA, ERROR_FILE_NOT_FOUND) means there is none;
// any other failure is a stream that could not be read, never taken for none.
const int NoDigestStream = -1;
const int DigestStreamUnreadable = -2;
// The stream does not belong to the open file any more (Windows: the path
// names another file now).
const int StreamOfAnotherFile = -3;
// The stream's length in bytes, or one of the three above.
int QueryStream(FileHandle file, const PathChar* path, StreamName stream);
// Copies up to capacity bytes; the stream's length, or one of the three.
int ReadStream(FileHandle file, const PathChar* path, StreamName stream, uint8_t* bytes, int capacity);

enum StreamWrite {
    StreamCreateOnly,   // where the file has no digest at this moment
    StreamReplaceOnly,  // where it has one at this moment
};
// A digest that appeared, or vanished, against the write's condition.
const int StreamAppeared = -4;
const int StreamVanished = -5;
// The record could not be stored beside a digest that was; any record the
// file had is deleted then, so that none is left that does not belong to it.
// A digest that the write created goes too (then -1), where it can.
const int RecordNotStored = -6;
// Stores the digest (64 bytes, when given) and then the record beside it
// (when given, created or replaced) with the open file that was read, and
// closes the file; its last-write time stays as it was. 0 when all was
// stored; -1 when nothing could be stored (LastPlatformError says why);
// StreamAppeared or StreamVanished; StreamOfAnotherFile when the file is not
// the one read any more (Windows: renamed over or written since); or
// RecordNotStored.
int WriteFileStreams(FileHandle file, const PathChar* path, const uint8_t* digest, StreamWrite how,
                     const uint8_t* record, int recordLength);
// Deletes the digest and the record beside it. True when the digest is gone
// or was never there (the record goes with it where it can).
bool DeleteFileStreams(FileHandle file, const PathChar* path);
// Windows: whether the volume holding path keeps named streams (FAT, exFAT
// and many shares do not); true where the volume cannot tell.
bool VolumeKeepsStreams(const PathChar* path);

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
};
// The longest entry name the walk takes, in units (Windows' 260; none on POSIX).
extern const int MaxEntryNameLength;
// A folder to list and walk, held open until CloseFile (on Windows without
// delete sharing, so that it can be neither renamed nor deleted meanwhile);
// identity is the folder's own. ErrorIsLink, ErrorNotFolder, or the system's
// error when it fails.
FileHandle OpenFolder(const EntryPlace& place, FileIdentity* identity);
// Folders a walk holds open at once, at most: beyond, it closes the ones
// furthest up and comes back to them through OpenParentFolder.
int OpenFolderLimit();
// The folder that holds the open folder child, again (POSIX: its ".."), for
// a walk that closed it to stay within its descriptors.
FileHandle OpenParentFolder(FileHandle child, FileIdentity* identity);
// Reads every entry (less "." and "..") of the open folder, whose path of
// length units ends in a separator (path has room for two more units and is
// left as it was). False when it cannot be listed (LastPlatformError says why).
bool ListDirectory(FileHandle folder, PathChar* path, int length, DirectoryListing* listing);

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
typedef uintptr_t WorkerThread;
// A thread, running at once; what the platform keeps for a thread (a folder
// descriptor on POSIX) is released when entry returns. Without thread it is
// detached; with it, AwaitWorker must be called once. False when it could
// not be created.
bool StartWorker(WorkerEntry entry, void* parameter, WorkerThread* thread = nullptr);
// Returns once the thread has ended: a process may end then without the
// thread still running through what the ending tears down.
void AwaitWorker(WorkerThread thread);
// The processors this process may run on; at least 1.
int ProcessorCount();

// Whether the volume that holds path says reading it costs seeks, so that
// several files read at once are slower there than one after another.
// Windows asks the volume's device; POSIX cannot tell (a rotational flag is
// not to be trusted: virtual disks report one).
enum SeekPenalty { SeekPenaltyUnknown, SeekPenaltyNone, SeekPenaltyPresent };
SeekPenalty QuerySeekPenalty(const PathChar* path);

// ---- arguments and paths ----------------------------------------------------
// Windows: CommandLineToArgvW. POSIX: blanks separate, double quotes group a
// path with blanks, backslashes are ordinary characters.
void SplitTargetText(const PathChar* text, std::vector<PathString>* args);
// A relative path (or, on Windows, one with forward slashes) made absolute
// against the current directory; other paths come back unchanged. Windows
// keeps each name as written (a trailing dot or blank, a device's name), for
// the long-path prefix to take literally.
PathString MakeAbsolutePath(const PathString& path);
