// The worker of Create Hashes and Rewrite Hashes: it works down a result list,
// and each entry written leaves it, so that the list ends holding exactly the
// files whose digest was not written.
#include <cstdint>

#include "engine/hash_file.h"
#include "store/hash_pool.h"
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

enum WriteOutcome { EntryWritten, EntryNotWritten, EntryChanged, EntryStopped };

// Hashes the file at path and stores its digest. It touches no list, so any
// hashing thread may run it; EntryStopped once the user has confirmed Exit.
static WriteOutcome WriteEntryDigest(PathChar* path, int n, int* error) {
    FileSnapshot before;
    FileHandle file = OpenFileForReading(path, &before);
    if (file == NoFile) {
        *error = LastPlatformError();
        return EntryNotWritten;
    }
    uint8_t digest[64];
    // Only the digest of contents the file still has may be stored: a read
    // that fell short or a change meanwhile would later pass for corruption.
    *error = HashOpenFile(file, &before, digest);
    if (*error != 0) {
        CloseFile(file);
        return *error == ErrorChangedWhileRead ? EntryChanged : EntryNotWritten;
    }

    AppendSuffix(path, n, DigestStreamSuffix, DigestStreamSuffixLength);
    // The guard covers the write from the stream's opening to its close; no
    // window request is made while it is held.
    if (!BeginDigestWrite()) {
        CloseFile(file);
        return EntryStopped;
    }
    int stored = WriteDigestStream(file, path, digest);
    *error = LastPlatformError();
    EndDigestWrite();
    CutSuffix(path, n);
    if (stored == DigestPathMoved) {
        *error = ErrorChangedWhileRead;
        return EntryChanged;
    }
    // Fewer than 64 bytes is no digest: the entry stays and is counted.
    if (stored != 64) {
        if (stored >= 0) *error = ErrorShortWrite;
        return EntryNotWritten;
    }
    return EntryWritten;
}

// The run's place in its source list: entries before Kept stay (their digest
// was not written); Pending entries behind them are with the hashing threads.
struct WritingRecord {
    ResultList source;
    OperationMode mode;
    int kept;
    int pending;
};
static WritingRecord Writing;

// The outcome of the entry at index Writing.kept, in the list's order.
static void CommitEntry(const PathChar* entry, WriteOutcome outcome, int error) {
    if (outcome == EntryWritten) {
        ListDelete(Writing.source, Writing.kept);
        if (Writing.mode == Create) ListAppend(HashedList, entry);
        return;
    }
    ReportFile(outcome == EntryChanged ? ReportChanged : ReportNotWritten, entry, error);
    ++Writing.kept;
}

static void WritePooledEntry(PooledFile* file) {
    if (file->length < 0) return;
    file->outcome = WriteEntryDigest(&file->path[0], file->length, &file->error);
}

static void CommitPooledEntry(PooledFile* file) {
    --Writing.pending;
    WriteOutcome outcome = static_cast<WriteOutcome>(file->outcome);
    // After Exit only the digests written are told: the rest merely stopped.
    bool stopped = outcome == EntryStopped || (outcome != EntryWritten && OperationState.ExitRequested.load());
    if (file->length < 0 || stopped) {
        ++Writing.kept;
        return;
    }
    CommitEntry(file->path.c_str() + file->textAt, outcome, file->error);
}

// One entry after another on this thread; false when Exit stopped the run.
static bool WriteEntries() {
    const PathChar* entry = OperationState.PathBuffer + LongPathPrefixLength;
    for (;;) {
        int length = ReadEntry(Writing.source, Writing.kept);
        if (length == ListEntryPastEnd) return true;
        if (length == ListEntryTooLong) {
            ++Writing.kept;
            continue;
        }
        SetStatusText(entry);
        int n;
        PathChar* path = EntryPath(length, &n);
        int error = 0;
        WriteOutcome outcome = WriteEntryDigest(path, n, &error);
        if (outcome == EntryStopped) return false;
        CommitEntry(entry, outcome, error);
    }
}

// The same with hashing threads: entries are handed over in the list's order
// and their outcomes committed in it, so that the list and the records end as
// they would on one thread.
static bool WriteEntriesPooled(int threads) {
    const PathChar* entry = OperationState.PathBuffer + LongPathPrefixLength;
    StartHashPool(threads, WritePooledEntry, CommitPooledEntry);
    while (!OperationState.ExitRequested.load()) {
        int length = ReadEntry(Writing.source, Writing.kept + Writing.pending);
        if (length == ListEntryPastEnd) break;
        ++Writing.pending;
        if (length == ListEntryTooLong) {
            HandToHashPool(PT(""), -1, 0);
            continue;
        }
        int n;
        PathChar* path = EntryPath(length, &n);
        HandToHashPool(path, n, static_cast<int>(entry - path));
    }
    FinishHashPool();
    return !OperationState.ExitRequested.load();
}

unsigned WriteRun(void* list) {
    Writing.source = static_cast<ResultList>(reinterpret_cast<intptr_t>(list));
    Writing.mode = static_cast<OperationMode>(OperationState.mode.load());
    Writing.kept = 0;
    Writing.pending = 0;
    PathChar* buffer = OperationState.PathBuffer;

    SetStatusText(PT("Calculating total size..."));
    ClearStatusBar();
    for (int i = 0; i < LongPathPrefixLength; ++i) buffer[i] = LongPathPrefix[i];
    OperationState.BytesTotal = 0;
    for (int i = 0; !OperationState.TotalSkipped; ++i) {
        int length = ReadEntry(Writing.source, i);
        if (length == ListEntryPastEnd) break;
        if (length == ListEntryTooLong) continue;
        int n;
        uint64_t size = 0;
        if (QueryFileSize(EntryPath(length, &n), &size)) OperationState.BytesTotal += size;
    }
    EnableStart();
    SetStartCaption(PT("Pause"));
    BeginHashingPhase();

    int threads = OperationState.HashThreads;
    bool finished = threads > 1 ? WriteEntriesPooled(threads) : WriteEntries();
    // Exit is ending the process: no closing.
    if (!finished) return 0;

    if (Writing.kept == 0) {
        CloseRun(PT("Ready."), false);
        return 0;
    }
    PathChar closing[ClosingTextUnits];
    FormatCountText("%d hash%s could not be written.", Writing.kept, "es", closing, ClosingTextUnits);
    CloseRun(closing, false);
    return 0;
}

bool StartWriteRun(ResultList source) {
    if (StartWorker(WriteRun, reinterpret_cast<void*>(static_cast<intptr_t>(source)))) return true;
    OperationState.mode = Idle;
    return false;
}
