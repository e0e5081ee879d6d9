// The console's runs that write in the walk itself: create (a digest for
// each file that has none) and update (also a new digest for each file the
// record says was edited, and a new record where the contents match but the
// record does not). Each file is read and written through the one descriptor
// the walk opened, so every digest stored is of the file that was read.
#include <cstring>

#include "store/digest_record.h"
#include "store/file_outcome.h"
#include "store/hash_pool.h"
#include "store/operation_state.h"
#include "store/path_rules.h"
#include "store/schedule.h"
#include "store/store.h"

int WriteThrough(FileHandle file, const PathChar* path, const FileIdentity& identity, const uint8_t* digest,
                 StreamWrite how, const FileJudgement& judgement, Verdict done, int* error) {
    int reason = *error;
    int stored = StoreThroughFile(file, path, identity, digest, how, judgement.computed, judgement.facts, error);
    switch (stored) {
        case DigestWriteStopped:
            return OutcomeStopped;
        case 0:
            *error = reason;
            return done;
        case StreamAppeared:
            *error = ErrorDigestAppeared;
            return VerdictChanged;
        case StreamVanished:
            *error = ErrorDigestChanged;
            return VerdictChanged;
        case StreamOfAnotherFile:
            *error = ErrorChangedWhileRead;
            return VerdictChanged;
        default:
            return VerdictNotWritten;
    }
}

// Reads the stored digest of the open file: what needs no hashing is done
// (false), else the file to hash is in work->job (true).
bool PrepareUpdate(FileWork* work) {
    JudgedDigest& stored = work->judgement.stored;
    work->judgement.facts = FactsOf(work->before);
    work->judgement.hashed = false;
    work->judgement.record = RecordMissing;
    // Not opened: the outcome was decided when it was handed over.
    if (work->file == NoFile) {
        work->error = work->openError;
        return false;
    }
    stored.length = ReadStream(work->file, work->path, DigestStream, stored.bytes, 64);
    work->error = LastPlatformError();
    if (!InSlice(stored.length, stored.bytes)) {
        work->outcome = OutcomeNotSelected;
        CloseFile(work->file);
        return false;
    }
    bool hash = stored.length == NoDigestStream || (stored.length == 64 && OperationState.mode == Update);
    if (!hash) {
        int error = work->error;
        // create leaves a digest that is there as it is.
        work->outcome = stored.length == 64 ? VerdictKept : JudgeWork(work, 0);
        if (work->outcome == VerdictUnreadable) work->error = error;
        CloseFile(work->file);
        return false;
    }
    work->job.file = work->file;
    work->job.ExpectedSize = work->before.size;
    return true;
}

// After the hash: writes what the file needs, through it, and closes it. It
// touches no list, so any hashing thread may run it.
void FinishUpdate(FileWork* work) {
    FileJudgement* judgement = &work->judgement;
    FileHandle file = work->file;
    const PathChar* path = work->path;
    const FileIdentity& identity = work->before.identity;
    int problem = CheckHashedFile(work->job, &work->before);
    if (judgement->stored.length == NoDigestStream) {
        work->error = problem;
        if (problem != 0) {
            // A file without a digest that cannot be read gets none.
            CloseFile(file);
            work->outcome = problem == ErrorChangedWhileRead ? VerdictChanged : VerdictNotWritten;
            return;
        }
        judgement->hashed = true;
        std::memcpy(judgement->computed, work->job.digest, 64);
        work->outcome = WriteThrough(file, path, identity, judgement->computed, StreamCreateOnly, *judgement,
                                     VerdictWritten, &work->error);
        return;
    }
    Verdict verdict = JudgeWork(work, problem);
    if (verdict == VerdictStaleRecord) {
        // A file only touched must not pass its later rot off as an edit.
        work->outcome = WriteThrough(file, path, identity, nullptr, StreamReplaceOnly, *judgement, VerdictRefreshed,
                                     &work->error);
        return;
    }
    if (verdict != VerdictEdited) {
        // Altered (left for the user to decide), matched, or not read.
        CloseFile(file);
        work->outcome = verdict;
        return;
    }
    // Only over the digest judged: it must still be the one read.
    uint8_t again[64];
    if (ReadStream(file, path, DigestStream, again, 64) != 64 || std::memcmp(again, judgement->stored.bytes, 64) != 0) {
        CloseFile(file);
        work->error = ErrorDigestChanged;
        work->outcome = VerdictChanged;
        return;
    }
    work->outcome = WriteThrough(file, path, identity, judgement->computed, StreamReplaceOnly, *judgement,
                                 VerdictUpdated, &work->error);
}

void CommitUpdatedFile(const FileWork* work, const PathChar* text) {
    if (work->outcome == OutcomeStopped || work->outcome == OutcomeNotSelected) return;
    Verdict verdict = static_cast<Verdict>(work->outcome);
    // After Exit only what was written is told: the rest merely stopped.
    bool wrote = verdict == VerdictWritten || verdict == VerdictUpdated || verdict == VerdictRefreshed;
    // Its digest is that of the contents just read whole.
    if (wrote || verdict == VerdictMatched) NoteReadFile(work, true);
    if (verdict == VerdictAltered) NoteReadFile(work, false);
    if (!wrote && OperationState.ExitRequested.load()) return;
    if (verdict == VerdictMatched || verdict == VerdictKept) {
        RunTally.count[verdict]++;
        return;
    }
    bool described = verdict != VerdictUnreadable && work->file != NoFile;
    TellOutcome(verdict, text, work->error, described ? &work->judgement : nullptr);
}

// A file the run cannot open: create writes no digest where there is none,
// and leaves one that is there; for update it is unreadable. False when
// there is nothing to tell.
bool DecideUnopenedUpdate(FileWork* work, const EntryPlace& place) {
    if (OperationState.mode == Update) {
        work->outcome = VerdictUnreadable;
        return true;
    }
    FileHandle file = OpenFileForStreams(place);
    int length = file == NoFile ? DigestStreamUnreadable : QueryStream(file, place.path, DigestStream);
    CloseFile(file);
    work->outcome = length == NoDigestStream ? VerdictNotWritten : length >= 0 ? VerdictKept : VerdictUnreadable;
    return work->outcome != VerdictKept;
}
