// What a check, list or remove run does to one file, by the current mode.
#include <cstring>

#include "engine/hash_file.h"
#include "store/operation_state.h"
#include "store/path_rules.h"
#include "store/store.h"

const int DigestLength = 64;

static bool SameSnapshot(const FileSnapshot& a, const FileSnapshot& b) {
    return a.identity.volume == b.identity.volume && a.identity.index == b.identity.index && a.size == b.size &&
           a.stamp.value[0] == b.stamp.value[0] && a.stamp.value[1] == b.stamp.value[1];
}

int HashOpenFile(FileHandle file, const FileSnapshot* before, uint8_t digest[64]) {
    uint64_t start = OperationState.BytesDone.load();
    ClearPlatformError();
    HashFile(file, before->size, digest, OperationState.PauseGate, &OperationState.BytesDone);
    int readError = LastPlatformError();
    bool complete = OperationState.BytesDone.load() - start == static_cast<uint64_t>(before->size > 0 ? before->size : 0);
    // A file appended to, written in place or truncated meanwhile: its digest
    // is that of contents it no longer has.
    FileSnapshot after;
    if (!TakeFileSnapshot(file, &after)) return LastPlatformError();
    if (!SameSnapshot(*before, after)) return ErrorChangedWhileRead;
    if (!complete) return readError != 0 ? readError : ErrorShortRead;
    return 0;
}

static void AddToTotal(const PathChar* path) {
    uint64_t size = 0;
    if (QueryFileSize(path, &size)) OperationState.BytesTotal += size;
}

static void CheckFile(PathChar* path, int n, const PathChar* display) {
    uint8_t stored[DigestLength];
    int storedLength = ReadDigestStream(path, stored);
    int error = LastPlatformError();
    CutSuffix(path, n);
    if (storedLength == NoDigestStream) {
        ListAppend(UnhashedList, display);
        return;
    }
    if (storedLength == DigestStreamUnreadable) {
        ReportUnreadableFile(display, error);
        return;
    }
    if (storedLength != DigestLength) {
        // Nothing to compare with: neither a pass nor an alteration.
        ReportFile(ReportMalformed, display, 0);
        ListAppend(AlteredList, display);
        return;
    }
    SetStatusText(display);
    FileSnapshot before;
    FileHandle file = OpenFileForReading(path, &before);
    if (file == NoFile) {
        // Locked, denied or vanished: neither list, but never taken for a pass.
        ReportUnreadableFile(display, LastPlatformError());
        return;
    }
    uint8_t computed[DigestLength];
    int problem = HashOpenFile(file, &before, computed);
    CloseFile(file);
    if (problem == ErrorChangedWhileRead) {
        // What was read is no version of the file: it is not called altered.
        OperationState.UnreadableCount++;
        ReportFile(ReportChanged, display, problem);
    } else if (problem != 0) {
        ReportUnreadableFile(display, problem);
    } else if (std::memcmp(stored, computed, DigestLength) != 0) {
        ListAppend(AlteredList, display);
    }
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
        removed = DeleteDigestStream(path);
        error = LastPlatformError();
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
        case SizeScan: {
            bool hashed = QueryDigestStream(path) == DigestLength;
            CutSuffix(path, n);
            if (hashed) AddToTotal(path);
            break;
        }
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
