// The worker of Create Hashes and Rewrite Hashes: it works down a result list,
// and each entry written leaves it, so that the list ends holding exactly the
// files whose digest was not written. Each entry is found again below the
// target it was listed under, following no link there, and its digest is
// written through the file that was read: Create only where the file has no
// digest at that moment, Rewrite only over the value the check judged.
#include <cstdint>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "engine/hash_file.h"
#include "store/hash_pool.h"
#include "store/operation_state.h"
#include "store/path_rules.h"
#include "store/store.h"

// The entry's text goes behind the prefix.
static int ReadEntry(ResultList list, int index) {
    PathChar* entry = OperationState.PathBuffer + LongPathPrefixLength;
    return ListEntry(list, index, entry, PathBufferUnits - LongPathPrefixLength);
}

// The file-system path of the entry in PathBuffer, and its length.
static PathChar* EntryPath(int entryLength, int* n) {
    PathChar* path = ListLayoutPath(OperationState.PathBuffer, LongPathPrefixLength);
    *n = entryLength + static_cast<int>(OperationState.PathBuffer + LongPathPrefixLength - path);
    return path;
}

enum WriteOutcome { EntryWritten, EntryNotWritten, EntryChanged, EntryStopped };

// The target of an entry too long for the buffer, or passed over: it is
// kept, untried.
const int KeptEntry = -2;

// The run's place in its source list: entries before Kept stay (their digest
// was not written); Pending entries behind them are with the hashing threads.
// The source list's targets are held open for the run.
struct WritingRecord {
    ResultList source;
    OperationMode mode;
    int kept;
    int pending;
    int passedOver;  // kept entries that were not to be written
    std::vector<TargetRoot> roots;
    std::vector<int> rootErrors;  // why a root could not be opened
    std::set<std::pair<uint64_t, uint64_t>> opened;  // the files opened so far, by volume and index
};
static WritingRecord Writing;

static void OpenTargetRoots() {
    const std::vector<WalkedTarget>& targets = OperationState.ListTargets[Writing.source];
    Writing.roots.assign(targets.size(), TargetRoot());
    Writing.rootErrors.assign(targets.size(), 0);
    for (size_t i = 0; i < targets.size(); ++i) {
        PathString path = targets[i].path;
        if (!UsesPathAsGiven(path.c_str())) path.insert(0, LongPathPrefix);
        if (!OpenTargetRoot(path.c_str(), targets[i].identity, &Writing.roots[i])) {
            Writing.rootErrors[i] = LastPlatformError();
        }
    }
}

static void CloseTargetRoots() {
    for (TargetRoot& root : Writing.roots) CloseTargetRoot(&root);
    Writing.roots.clear();
}

// The target the entry was listed under: the longest whose path leads to it;
// -1 for none.
static int FindTarget(const PathChar* entry, int length) {
    const std::vector<WalkedTarget>& targets = OperationState.ListTargets[Writing.source];
    int found = -1;
    size_t best = 0;
    for (size_t i = 0; i < targets.size(); ++i) {
        const PathString& target = targets[i].path;
        size_t t = target.size();
        if (t > static_cast<size_t>(length) || target.compare(0, t, entry, t) != 0) continue;
        bool boundary = t == static_cast<size_t>(length) || entry[t] == PathSeparator ||
                        (t > 0 && target[t - 1] == PathSeparator);
        if (boundary && (found < 0 || t > best)) {
            found = static_cast<int>(i);
            best = t;
        }
    }
    return found;
}

static bool SameAsJudged(const uint8_t* bytes, int length, const JudgedDigest& judged) {
    return length == judged.length && std::memcmp(bytes, judged.bytes, length < 64 ? length : 64) == 0;
}

// What a failed open or write of the streams means for the entry.
static WriteOutcome OutcomeOfStreams(int stored, int* error) {
    switch (stored) {
        case 0:
            return EntryWritten;
        case StreamAppeared:
            *error = ErrorDigestAppeared;
            return EntryChanged;
        case StreamVanished:
            *error = ErrorDigestChanged;
            return EntryChanged;
        case StreamOfAnotherFile:
            *error = ErrorChangedWhileRead;
            return EntryChanged;
        default:
            return EntryNotWritten;
    }
}

// Finds the entry's file again below its target (its path below it from
// work->relativeAt), on the run's thread, so that a file listed under two
// names waits in the pool for its first; without it, the outcome.
static void OpenEntry(FileWork* work) {
    work->file = NoFile;
    int target = work->target;
    if (target < 0 || Writing.roots[target].handle == NoFile) {
        work->error = target < 0 ? ErrorTargetMoved : Writing.rootErrors[target];
        work->outcome = work->error == ErrorTargetMoved ? EntryChanged : EntryNotWritten;
        return;
    }
    work->file = OpenFileBelowRoot(Writing.roots[target], work->path, work->relativeAt, &work->before);
    if (work->file == NoFile) {
        work->error = LastPlatformError();
        work->outcome = work->error == ErrorIsLink || work->error == ErrorTargetMoved ? EntryChanged : EntryNotWritten;
        return;
    }
    const FileIdentity& identity = work->before.identity;
    work->metAgain = !Writing.opened.insert(std::make_pair(identity.volume, identity.index)).second;
}

// Has the opened entry hashed; false when it could not be opened. It touches
// no list, so any hashing thread may run it.
static bool PrepareEntry(FileWork* work) {
    if (work->file == NoFile) return false;
    work->job.file = work->file;
    work->job.ExpectedSize = work->before.size;
    return true;
}

// Stores the digest hashed, and the record beside it; EntryStopped once the
// user has confirmed Exit.
static void FinishEntry(FileWork* work) {
    FileHandle file = work->file;
    const PathChar* path = work->path;
    int* error = &work->error;
    // Only the digest of contents the file still has may be stored: a read
    // that fell short or a change meanwhile would later pass for corruption.
    *error = CheckHashedFile(work->job, &work->before);
    if (*error != 0) {
        CloseFile(file);
        work->outcome = *error == ErrorChangedWhileRead ? EntryChanged : EntryNotWritten;
        return;
    }
    work->judgement.hashed = true;
    std::memcpy(work->judgement.computed, work->job.digest, 64);
    work->judgement.facts = FactsOf(work->before);
    uint8_t held[64];
    int length = NoDigestStream;
    if (Writing.mode == Rewrite || work->metAgain) length = ReadStream(file, path, DigestStream, held, 64);
    // A file listed again under another name (a hard link, a target named
    // twice) holds the digest its first name wrote: that of these contents.
    if (work->metAgain && length == 64 && std::memcmp(held, work->job.digest, 64) == 0) {
        CloseFile(file);
        work->outcome = EntryWritten;
        return;
    }
    if (Writing.mode == Rewrite) {
        if (length < 0 && length != NoDigestStream) {
            *error = LastPlatformError();
            CloseFile(file);
            work->outcome = length == StreamOfAnotherFile ? EntryChanged : EntryNotWritten;
            return;
        }
        if (!SameAsJudged(held, length, work->judgement.stored)) {
            *error = ErrorDigestChanged;
            CloseFile(file);
            work->outcome = EntryChanged;
            return;
        }
    }
    int stored = StoreThroughFile(file, path, work->before.identity, work->job.digest,
                                  Writing.mode == Create ? StreamCreateOnly : StreamReplaceOnly, work->job.digest,
                                  FactsOf(work->before), error);
    work->outcome = stored == DigestWriteStopped ? EntryStopped : OutcomeOfStreams(stored, error);
}

// The outcome of the entry at index Writing.kept, in the list's order.
static void CommitEntry(const PathChar* entry, WriteOutcome outcome, const FileWork& work) {
    // What was read of the file, where it was opened.
    const FileJudgement* judgement = work.file != NoFile ? &work.judgement : nullptr;
    int error = work.error;
    if (outcome == EntryWritten) {
        TellOutcome(VerdictWritten, entry, 0, judgement);
        ListDelete(Writing.source, Writing.kept);
        if (Writing.source == AlteredList) {
            OperationState.AlteredJudged.erase(OperationState.AlteredJudged.begin() + Writing.kept);
        }
        return;
    }
    TellOutcome(outcome == EntryChanged ? VerdictChanged : VerdictNotWritten, entry, error, judgement);
    ++Writing.kept;
}

// What the check judged of the entry at index, for a rewrite.
static AlteredEntry JudgedAt(int index) {
    const std::deque<AlteredEntry>& judged = OperationState.AlteredJudged;
    AlteredEntry none = {};
    none.stored.length = NoDigestStream;
    bool known = Writing.source == AlteredList && index >= 0 && static_cast<size_t>(index) < judged.size();
    return known ? judged[static_cast<size_t>(index)] : none;
}

// A rewrite of the edits alone passes over the files changed without one.
static bool PassedOver(const AlteredEntry& judged) {
    return Writing.source == AlteredList && OperationState.RewriteEditsOnly && !judged.edited;
}

static void CommitPooledEntry(const FileWork* work, const PathChar* text) {
    --Writing.pending;
    WriteOutcome outcome = static_cast<WriteOutcome>(work->outcome);
    // After Exit only the digests written are told: the rest merely stopped.
    bool stopped = outcome == EntryStopped || (outcome != EntryWritten && OperationState.ExitRequested.load());
    if (work->target == KeptEntry || stopped) {
        ++Writing.kept;
        return;
    }
    CommitEntry(text, outcome, *work);
}

// The entry of length units in PathBuffer: its path, the target it was
// listed under, and where the path below that target begins.
static PathChar* LocateEntry(int length, int* n, int* target, int* relativeAt) {
    const PathChar* entry = OperationState.PathBuffer + LongPathPrefixLength;
    int ignored;
    PathChar* path = EntryPath(length, n != nullptr ? n : &ignored);
    *target = FindTarget(entry, length);
    int below = *target < 0 ? 0 : static_cast<int>(OperationState.ListTargets[Writing.source][*target].path.size());
    *relativeAt = static_cast<int>(entry - path) + below;
    return path;
}

// One entry after another on this thread; false when Exit stopped the run.
static bool WriteEntries() {
    const PathChar* entry = OperationState.PathBuffer + LongPathPrefixLength;
    for (;;) {
        int length = ReadEntry(Writing.source, Writing.kept);
        if (length == ListEntryPastEnd) return true;
        AlteredEntry judged = JudgedAt(Writing.kept);
        if (length == ListEntryTooLong || PassedOver(judged)) {
            Writing.passedOver += length != ListEntryTooLong;
            ++Writing.kept;
            continue;
        }
        SetStatusText(entry);
        FileWork work = {};
        work.path = LocateEntry(length, nullptr, &work.target, &work.relativeAt);
        work.judgement.stored = judged.stored;
        OpenEntry(&work);
        WorkOnFile(&work, PrepareEntry, FinishEntry);
        if (work.outcome == EntryStopped) return false;
        CommitEntry(entry, static_cast<WriteOutcome>(work.outcome), work);
    }
}

// The same with hashing threads: entries are handed over in the list's order
// and their outcomes committed in it, so that the list and the records end as
// they would on one thread.
static bool WriteEntriesPooled(int threads) {
    const PathChar* entry = OperationState.PathBuffer + LongPathPrefixLength;
    StartHashPool(threads, PrepareEntry, FinishEntry, CommitPooledEntry);
    while (!OperationState.ExitRequested.load()) {
        int index = Writing.kept + Writing.pending;
        int length = ReadEntry(Writing.source, index);
        if (length == ListEntryPastEnd) break;
        ++Writing.pending;
        FileWork work = {};
        work.file = NoFile;
        work.outcome = EntryNotWritten;
        AlteredEntry judged = JudgedAt(index);
        if (length == ListEntryTooLong || PassedOver(judged)) {
            // Kept in its place, in the list's order.
            Writing.passedOver += length != ListEntryTooLong;
            work.target = KeptEntry;
            HandToHashPool(entry, 0, 0, work);
            continue;
        }
        // The entry handed over: the one being read may be further back.
        SetStatusText(entry);
        int n;
        PathChar* path = LocateEntry(length, &n, &work.target, &work.relativeAt);
        work.judgement.stored = judged.stored;
        work.path = path;
        OpenEntry(&work);
        HandToHashPool(path, n, static_cast<int>(entry - path), work);
    }
    FinishHashPool();
    return !OperationState.ExitRequested.load();
}

unsigned WriteRun(void* list) {
    Writing.source = static_cast<ResultList>(reinterpret_cast<intptr_t>(list));
    Writing.mode = static_cast<OperationMode>(OperationState.mode.load());
    Writing.kept = 0;
    Writing.pending = 0;
    Writing.passedOver = 0;
    ResetRunTally();
    Writing.opened.clear();
    PathChar* buffer = OperationState.PathBuffer;

    SetStatusText(PT("Calculating total size..."));
    ClearStatusBar();
    for (int i = 0; i < LongPathPrefixLength; ++i) buffer[i] = LongPathPrefix[i];
    OperationState.BytesTotal = 0;
    for (int i = 0; !OperationState.TotalSkipped; ++i) {
        int length = ReadEntry(Writing.source, i);
        if (length == ListEntryPastEnd) break;
        if (length == ListEntryTooLong || PassedOver(JudgedAt(i))) continue;
        int n;
        uint64_t size = 0;
        if (QueryFileSize(EntryPath(length, &n), &size)) OperationState.BytesTotal += size;
    }
    OpenTargetRoots();
    EnableStart();
    SetStartCaption(PT("Pause"));
    BeginHashingPhase();

    int threads = OperationState.HashThreads;
    bool finished = threads > 1 ? WriteEntriesPooled(threads) : WriteEntries();
    CloseTargetRoots();
    Writing.opened.clear();
    // Exit is ending the process: no closing.
    if (!finished) return 0;

    int failed = Writing.kept - Writing.passedOver;
    if (failed == 0) {
        CloseRun(PT("Ready."), false);
        return 0;
    }
    PathChar closing[ClosingTextUnits];
    FormatCountText("%d hash%s could not be written.", failed, "es", closing, ClosingTextUnits);
    CloseRun(closing, false);
    return 0;
}

bool StartWriteRun(ResultList source) {
    if (StartWorker(WriteRun, reinterpret_cast<void*>(static_cast<intptr_t>(source)))) return true;
    OperationState.mode = Idle;
    return false;
}
