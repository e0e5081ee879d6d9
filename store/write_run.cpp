// The worker of Create Hashes and Rewrite Hashes: it works down a result list,
// and each entry written leaves it, so that the list ends holding exactly the
// files whose digest was not written.
#include <cstdint>

#include "engine/hash_file.h"
#include "store/operation_state.h"
#include "store/path_rules.h"
#include "store/store.h"

// The entry's text goes behind the prefix; the suffix needs room behind it.
static int ReadEntry(ResultList list, int index) {
    PathChar* entry = OperationState.PathBuffer + LongPathPrefixLength;
    return ListEntry(list, index, entry, PathBufferUnits - LongPathPrefixLength - DigestStreamSuffixLength);
}

// The file-system path of the entry in PathBuffer, and its length.
static PathChar* EntryPath(int entryLength, int* n) {
    PathChar* path = ListLayoutPath(OperationState.PathBuffer, LongPathPrefixLength);
    *n = entryLength + static_cast<int>(OperationState.PathBuffer + LongPathPrefixLength - path);
    return path;
}

// 0 written, 1 not written, -1 the user has confirmed Exit: stop at once.
static int WriteEntryDigest(PathChar* path, int n, const PathChar* entry) {
    FileSnapshot before;
    FileHandle file = OpenFileForReading(path, &before);
    if (file == NoFile) {
        ReportFile(ReportNotWritten, entry, LastPlatformError());
        return 1;
    }
    uint8_t digest[64];
    // Only the digest of contents the file still has may be stored: a read
    // that fell short or a change meanwhile would later pass for corruption.
    int problem = HashOpenFile(file, &before, digest);
    if (problem != 0) {
        CloseFile(file);
        ReportFile(problem == ErrorChangedWhileRead ? ReportChanged : ReportNotWritten, entry, problem);
        return 1;
    }

    AppendSuffix(path, n, DigestStreamSuffix, DigestStreamSuffixLength);
    // The guard covers the stream from its creation (which truncates the old
    // digest) to its close; no window request is made while it is held.
    if (!BeginDigestWrite()) {
        CloseFile(file);
        return -1;
    }
    int stored = WriteDigestStream(file, path, digest);
    int error = LastPlatformError();
    EndDigestWrite();
    CutSuffix(path, n);
    if (stored == DigestPathMoved) {
        ReportFile(ReportChanged, entry, ErrorChangedWhileRead);
        return 1;
    }
    // Fewer than 64 bytes is no digest: the entry stays and is counted.
    if (stored != 64) {
        ReportFile(ReportNotWritten, entry, stored < 0 ? error : ErrorShortWrite);
        return 1;
    }
    return 0;
}

unsigned WriteRun(void* list) {
    ResultList source = static_cast<ResultList>(reinterpret_cast<intptr_t>(list));
    OperationMode mode = static_cast<OperationMode>(OperationState.mode.load());
    PathChar* buffer = OperationState.PathBuffer;
    const PathChar* entry = buffer + LongPathPrefixLength;

    SetStatusText(PT("Calculating total size..."));
    ClearStatusBar();
    for (int i = 0; i < LongPathPrefixLength; ++i) buffer[i] = LongPathPrefix[i];
    OperationState.BytesTotal = 0;
    for (int i = 0;; ++i) {
        int length = ReadEntry(source, i);
        if (length == ListEntryPastEnd) break;
        if (length == ListEntryTooLong) continue;
        int n;
        uint64_t size = 0;
        if (QueryFileSize(EntryPath(length, &n), &size)) OperationState.BytesTotal += size;
    }
    EnableStart();
    SetStartCaption(PT("Pause"));
    BeginHashingPhase();

    int kept = 0;
    for (;;) {
        int length = ReadEntry(source, kept);
        if (length == ListEntryPastEnd) break;
        if (length == ListEntryTooLong) {
            ++kept;
            continue;
        }
        SetStatusText(entry);
        int n;
        PathChar* path = EntryPath(length, &n);
        int outcome = WriteEntryDigest(path, n, entry);
        if (outcome < 0) return 0;
        if (outcome > 0) {
            ++kept;
            continue;
        }
        ListDelete(source, kept);
        if (mode == Create) ListAppend(HashedList, entry);
    }

    if (kept == 0) {
        CloseRun(PT("Ready."), false);
        return 0;
    }
    PathChar closing[ClosingTextUnits];
    FormatCountText(closing, ClosingTextUnits, "%d hash%s could not be written.", kept, "es");
    CloseRun(closing, false);
    return 0;
}

bool StartWriteRun(ResultList source) {
    if (StartWorker(WriteRun, reinterpret_cast<void*>(static_cast<intptr_t>(source)))) return true;
    OperationState.mode = Idle;
    return false;
}
