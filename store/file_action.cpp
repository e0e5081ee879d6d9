// What a check, list or remove run does to one file, by the current mode.
#include <cstring>

#include "engine/hash_file.h"
#include "store/hash_pool.h"
#include "store/operation_state.h"
#include "store/path_rules.h"
#include "store/store.h"

const int DigestLength = 64;

static bool SameSnapshot(const FileSnapshot& a, const FileSnapshot& b) {
    return a.identity.volume == b.identity.volume && a.identity.index == b.identity.index && a.size == b.size &&
           a.stamp.value[0] == b.stamp.value[0] && a.stamp.value[1] == b.stamp.value[1] &&
           a.change.value[0] == b.change.value[0] && a.change.value[1] == b.change.value[1];
}

int HashOpenFile(FileHandle file, const FileSnapshot* before, uint8_t digest[64]) {
    ClearPlatformError();
    uint64_t read = HashFile(file, before->size, digest, OperationState.PauseGate, &OperationState.BytesDone);
    int readError = LastPlatformError();
    bool complete = read == static_cast<uint64_t>(before->size > 0 ? before->size : 0);
    // A file appended to, written in place or truncated meanwhile: its digest
    // is that of contents it no longer has.
    FileSnapshot after;
    if (!TakeFileSnapshot(file, &after)) return LastPlatformError();
    if (!SameSnapshot(*before, after)) return ErrorChangedWhileRead;
    if (!complete) return readError != 0 ? readError : ErrorShortRead;
    return 0;
}

void AddSizeIfHashed(int n) {
    PathChar* path = OperationState.PathBuffer;
    AppendSuffix(path, n, DigestStreamSuffix, DigestStreamSuffixLength);
    bool hashed = QueryDigestStream(path) == DigestLength;
    CutSuffix(path, n);
    uint64_t size = 0;
    if (hashed && QueryFileSize(path, &size)) OperationState.BytesTotal += size;
}

// What a check found of one file.
enum CheckVerdict { CheckMatched, CheckAltered, CheckUnhashed, CheckMalformed, CheckUnreadable, CheckChanged };

// Reads the stored digest of the file at path (its stream suffix appended at
// n) and hashes the file. It touches no list, so any hashing thread may run
// it; display, when given, is shown while the file is read.
static CheckVerdict JudgeFile(PathChar* path, int n, const PathChar* display, int* error) {
    uint8_t stored[DigestLength];
    int storedLength = ReadDigestStream(path, stored);
    *error = LastPlatformError();
    CutSuffix(path, n);
    if (storedLength == NoDigestStream) return CheckUnhashed;
    if (storedLength == DigestStreamUnreadable) return CheckUnreadable;
    if (storedLength != DigestLength) return CheckMalformed;
    if (display) SetStatusText(display);
    FileSnapshot before;
    FileHandle file = OpenFileForReading(path, &before);
    if (file == NoFile) {
        *error = LastPlatformError();
        return CheckUnreadable;
    }
    uint8_t computed[DigestLength];
    *error = HashOpenFile(file, &before, computed);
    CloseFile(file);
    if (*error == ErrorChangedWhileRead) return CheckChanged;
    if (*error != 0) return CheckUnreadable;
    return std::memcmp(stored, computed, DigestLength) == 0 ? CheckMatched : CheckAltered;
}

static void ReportCheckedFile(CheckVerdict verdict, const PathChar* display, int error) {
    switch (verdict) {
        case CheckMatched:
            break;
        case CheckAltered:
            ListAppend(AlteredList, display);
            break;
        case CheckUnhashed:
            ListAppend(UnhashedList, display);
            break;
        case CheckMalformed:
            // Nothing to compare with: neither a pass nor an alteration.
            ReportFile(ReportMalformed, display, 0);
            ListAppend(AlteredList, display);
            break;
        case CheckUnreadable:
            // Locked, denied, vanished or failing: neither list, never a pass.
            ReportUnreadableFile(display, error);
            break;
        case CheckChanged:
            // What was read is no version of the file: it is not called altered.
            OperationState.UnreadableCount++;
            ReportFile(ReportChanged, display, error);
            break;
    }
}

static bool ChecksPooled;

static void JudgePooledFile(PooledFile* file) {
    PathChar* path = &file->path[0];
    AppendSuffix(path, file->length, DigestStreamSuffix, DigestStreamSuffixLength);
    file->outcome = JudgeFile(path, file->length, nullptr, &file->error);
}

static void CommitCheckedFile(PooledFile* file) {
    ReportCheckedFile(static_cast<CheckVerdict>(file->outcome), file->path.c_str() + file->textAt, file->error);
}

void StartPooledChecks(int threads) {
    ChecksPooled = true;
    StartHashPool(threads, JudgePooledFile, CommitCheckedFile);
}

void FinishPooledChecks() {
    FinishHashPool();
    ChecksPooled = false;
}

static void CheckFile(PathChar* path, int n, const PathChar* display) {
    if (ChecksPooled) {
        CutSuffix(path, n);
        HandToHashPool(path, n, static_cast<int>(display - path));
        return;
    }
    int error = 0;
    CheckVerdict verdict = JudgeFile(path, n, display, &error);
    ReportCheckedFile(verdict, display, error);
}

static void ListFile(PathChar* path, int n, const PathChar* display) {
    int length = QueryDigestStream(path);
    int error = LastPlatformError();
    CutSuffix(path, n);
    if (length == NoDigestStream) {
        ListAppend(UnhashedList, display);
    } else if (length == DigestStreamUnreadable) {
        ReportUnreadableFile(display, error);
    } else {
        // A malformed value is no digest to create, but it is not missing.
        if (length != DigestLength) ReportFile(ReportMalformed, display, 0);
        ListAppend(HashedList, display);
    }
}

static void RemoveFile(PathChar* path, int n, const PathChar* display) {
    int length = QueryDigestStream(path);
    int error = LastPlatformError();
    bool removed = length == NoDigestStream;
    if (length >= 0) {
        // Guarded like a write: after Exit no deletion begins, and the one
        // under way is finished and reported.
        if (!BeginDigestWrite()) {
            CutSuffix(path, n);
            return;
        }
        removed = DeleteDigestStream(path);
        error = LastPlatformError();
        EndDigestWrite();
    }
    CutSuffix(path, n);
    if (length == DigestStreamUnreadable) {
        // Whether there is a digest is unknown: it is not reported removed.
        ReportUnreadableFile(display, error);
    } else if (removed) {
        ListAppend(UnhashedList, display);
    } else {
        ReportFile(ReportNotRemoved, display, error);
        ListAppend(HashedList, display);
    }
}

void ApplyFileAction(int n) {
    PathChar* path = OperationState.PathBuffer;
    AppendSuffix(path, n, DigestStreamSuffix, DigestStreamSuffixLength);
    const PathChar* display = DisplayTextOf(path, LongPathPrefix, LongPathPrefixLength);
    switch (OperationState.mode.load()) {
        case List:
            ListFile(path, n, display);
            break;
        case Remove:
            RemoveFile(path, n, display);
            break;
        case Check:
            CheckFile(path, n, display);
            break;
        default:
            CutSuffix(path, n);
            break;
    }
}
