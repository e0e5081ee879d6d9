// The console's runs that write in the walk itself: create (a digest for
// each file that has none) and update (also a new digest for each file the
// record says was edited, and a new record where the contents match but the
// record does not). Each file is read and written through the one descriptor
// the walk opened, so every digest stored is of the file that was read.
#include <cstring>

#include "store/digest_record.h"
#include "store/hash_pool.h"
#include "store/operation_state.h"
#include "store/path_rules.h"
#include "store/store.h"

enum UpdateOutcome {
    UpdateNothing,    // create: it has a digest; update: it matches, and so does its record
    UpdateWritten,    // a digest where there was none
    UpdateUpdated,    // edited: its digest and record written anew
    UpdateRefreshed,  // the same contents: its record written anew
    UpdateNotWritten,
    UpdateChanged,
    UpdateUnreadable,
    UpdateMalformed,
    UpdateAltered,
    UpdateStopped,  // Exit came before the write
};

// Stores the digest (or, without one, only the record) through the open
// file, which it closes.
static UpdateOutcome WriteThrough(FileHandle file, const PathChar* path, const FileIdentity& identity,
                                  const uint8_t* digest, StreamWrite how, const FileJudgement& judgement, int* error) {
    int stored = StoreThroughFile(file, path, identity, digest, how, judgement.computed, judgement.facts, error);
    switch (stored) {
        case DigestWriteStopped:
            return UpdateStopped;
        case 0:
            return digest ? (how == StreamCreateOnly ? UpdateWritten : UpdateUpdated) : UpdateRefreshed;
        case StreamAppeared:
            *error = ErrorDigestAppeared;
            return UpdateChanged;
        case StreamVanished:
            *error = ErrorDigestChanged;
            return UpdateChanged;
        case StreamOfAnotherFile:
            *error = ErrorChangedWhileRead;
            return UpdateChanged;
        default:
            return UpdateNotWritten;
    }
}

// Whether the record beside the digest says what the file is now: usable,
// and the same size and time at the precision both have. edit tells the
// verdict where it is usable.
static bool RecordHolds(FileHandle file, const PathChar* path, const FileJudgement& judgement, EditVerdict* edit) {
    uint8_t bytes[64];
    int length = ReadStream(file, path, RecordStream, bytes, sizeof bytes);
    FileFacts recorded;
    if (ReadDigestRecord(bytes, length < 0 ? 0 : length, judgement.stored.bytes, &recorded) != RecordUsable) {
        *edit = FileUnchanged;
        return false;
    }
    *edit = JudgeEdit(recorded, judgement.facts);
    return *edit == FileUnchanged;
}

// Reads the stored digest of the open file: what needs no hashing is done
// (false), else the file to hash is in work->job (true).
bool PrepareUpdate(FileWork* work) {
    JudgedDigest& stored = work->judgement.stored;
    work->judgement.facts = FactsOf(work->before);
    work->judgement.hashed = false;
    // Not opened: the outcome was decided when it was handed over.
    if (work->file == NoFile) {
        work->error = work->openError;
        return false;
    }
    stored.length = ReadStream(work->file, work->path, DigestStream, stored.bytes, 64);
    work->error = LastPlatformError();
    work->outcome = UpdateNothing;
    if (stored.length == StreamOfAnotherFile) {
        work->outcome = UpdateChanged;
    } else if (stored.length < 0 && stored.length != NoDigestStream) {
        work->outcome = UpdateUnreadable;
    } else if (stored.length >= 0 && stored.length != 64) {
        work->outcome = UpdateMalformed;
    }
    bool update = OperationState.mode == Update;
    if (work->outcome != UpdateNothing || (stored.length >= 0 && !update)) {
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
    const JudgedDigest& stored = judgement->stored;
    FileHandle file = work->file;
    const PathChar* path = work->path;
    int* error = &work->error;
    *error = CheckHashedFile(work->job, &work->before);
    if (*error != 0) {
        CloseFile(file);
        // A file without a digest that cannot be read gets none.
        work->outcome = *error == ErrorChangedWhileRead         ? UpdateChanged
                        : stored.length == NoDigestStream       ? UpdateNotWritten
                                                                : UpdateUnreadable;
        return;
    }
    judgement->hashed = true;
    std::memcpy(judgement->computed, work->job.digest, 64);
    const FileIdentity& identity = work->before.identity;
    if (stored.length == NoDigestStream) {
        work->outcome = WriteThrough(file, path, identity, judgement->computed, StreamCreateOnly, *judgement, error);
        return;
    }
    EditVerdict edit;
    bool holds = RecordHolds(file, path, *judgement, &edit);
    if (std::memcmp(stored.bytes, judgement->computed, 64) == 0) {
        if (holds) {
            CloseFile(file);
            work->outcome = UpdateNothing;
            return;
        }
        // A file only touched must not pass its later rot off as an edit.
        work->outcome = WriteThrough(file, path, identity, nullptr, StreamReplaceOnly, *judgement, error);
        return;
    }
    if (edit == FileUnchanged) {
        // Same size and time, other contents (or no record to tell): left for
        // the user to decide.
        CloseFile(file);
        work->outcome = UpdateAltered;
        return;
    }
    // Only over the digest judged: it must still be the one read.
    uint8_t again[64];
    if (ReadStream(file, path, DigestStream, again, 64) != 64 || std::memcmp(again, stored.bytes, 64) != 0) {
        CloseFile(file);
        *error = ErrorDigestChanged;
        work->outcome = UpdateChanged;
        return;
    }
    work->outcome = WriteThrough(file, path, identity, judgement->computed, StreamReplaceOnly, *judgement, error);
    if (work->outcome == UpdateUpdated && edit == FileOlderVersion) *error = ErrorOlderVersion;
}

static void ReportUpdatedFile(UpdateOutcome outcome, const PathChar* display, int error,
                              const FileJudgement& judgement) {
    // After Exit only what was written is told: the rest merely stopped.
    bool wrote = outcome == UpdateWritten || outcome == UpdateUpdated || outcome == UpdateRefreshed;
    if (!wrote && OperationState.ExitRequested.load()) return;
    if (outcome != UpdateNothing && outcome != UpdateStopped && outcome != UpdateUnreadable) {
        DescribeJudgement(judgement);
    }
    switch (outcome) {
        case UpdateNothing:
        case UpdateStopped:
            break;
        case UpdateWritten:
            ListAppend(HashedList, display);
            break;
        case UpdateUpdated:
            ReportFile(ReportUpdated, display, error);
            ListAppend(HashedList, display);
            break;
        case UpdateRefreshed:
            ReportFile(ReportRefreshed, display, 0);
            break;
        case UpdateNotWritten:
        case UpdateChanged:
            // The files whose digest could not be written end in the list
            // of files without one.
            ReportFile(outcome == UpdateChanged ? ReportChanged : ReportNotWritten, display, error);
            ListAppend(UnhashedList, display);
            break;
        case UpdateUnreadable:
            ReportUnreadableFile(display, error);
            break;
        case UpdateMalformed:
            // Left as it is: rewrite replaces it.
            ReportFile(ReportMalformed, display, 0);
            if (OperationState.mode == Update) ListAppend(AlteredList, display);
            break;
        case UpdateAltered:
            ListAppend(AlteredList, display);
            break;
    }
}

void CommitUpdatedFile(const FileWork* work, const PathChar* text) {
    ReportUpdatedFile(static_cast<UpdateOutcome>(work->outcome), text, work->error, work->judgement);
}

// A file the run cannot open: create writes no digest where there is none,
// and leaves one that is there; for update it is unreadable. False when
// there is nothing to tell.
bool DecideUnopenedUpdate(FileWork* work, const EntryPlace& place) {
    if (OperationState.mode == Update) {
        work->outcome = UpdateUnreadable;
        return true;
    }
    FileHandle file = OpenFileForStreams(place);
    int length = file == NoFile ? DigestStreamUnreadable : QueryStream(file, place.path, DigestStream);
    CloseFile(file);
    work->outcome = length == NoDigestStream ? UpdateNotWritten : length >= 0 ? UpdateNothing : UpdateUnreadable;
    return work->outcome != UpdateNothing;
}
