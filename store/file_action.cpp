// What a check, list or remove run does to one file, by the current mode.
// Each file is opened first, through the folder the walk holds, and its
// digest is read, compared or deleted through that open file: digest and
// contents always belong to one file, whatever its path names meanwhile.
#include <cstring>

#include "engine/hash_file.h"
#include "store/digest_record.h"
#include "store/file_outcome.h"
#include "store/hash_pool.h"
#include "store/manifest_run.h"
#include "store/operation_state.h"
#include "store/ledger.h"
#include "store/path_rules.h"
#include "store/schedule.h"
#include "store/store.h"

static bool SameContentsMark(const FileSnapshot& a, const FileSnapshot& b) {
    return a.identity.volume == b.identity.volume && a.identity.index == b.identity.index && a.size == b.size &&
           a.stamp.value[0] == b.stamp.value[0] && a.stamp.value[1] == b.stamp.value[1];
}

static bool SameChangeTime(const FileSnapshot& a, const FileSnapshot& b) {
    return a.change.value[0] == b.change.value[0] && a.change.value[1] == b.change.value[1];
}

// 0 when every byte of the expected size came, else why not.
static int ProblemOfRead(uint64_t read, int readError, int64_t size) {
    if (read == static_cast<uint64_t>(size > 0 ? size : 0)) return 0;
    return readError != 0 ? readError : ErrorShortRead;
}

int CheckHashedFile(const FileHashJob& job, const FileSnapshot* before) {
    int problem = ProblemOfRead(job.bytesRead, job.readError, before->size);
    // A file of size 0 may still give contents (/proc): its digest would be
    // that of nothing. One read tells, only for these.
    uint8_t probe;
    if (problem == 0 && before->size == 0 && ReadFileChunk(job.file, &probe, 1) != 0) return ErrorBeyondSize;
    // A file appended to, written in place or truncated meanwhile: its digest
    // is that of contents it no longer has.
    FileSnapshot after;
    if (!TakeFileSnapshot(job.file, &after)) return LastPlatformError();
    if (!SameContentsMark(*before, after)) return ErrorChangedWhileRead;
    if (problem != 0) return problem;
    if (SameChangeTime(*before, after)) return 0;
    // Only the change time moved: a change of metadata (a chmod, a digest
    // written by another run), or an edit whose last-write time was put back.
    // Read once more: the same digest twice means the contents held still.
    uint8_t again[64];
    OperationState.BytesDone -= job.bytesRead;
    if (!RewindFile(job.file)) return LastPlatformError();
    ClearPlatformError();
    uint64_t read = HashFile(job.file, before->size, OperationState.PauseGate, &OperationState.BytesDone, again);
    problem = ProblemOfRead(read, LastPlatformError(), before->size);
    if (!TakeFileSnapshot(job.file, &after)) return LastPlatformError();
    if (!SameContentsMark(*before, after)) return ErrorChangedWhileRead;
    if (problem != 0) return problem;
    return std::memcmp(job.digest, again, DigestLength) == 0 ? 0 : ErrorChangedWhileRead;
}

int HashOpenFile(FileHandle file, const FileSnapshot* before, uint8_t digest[64]) {
    FileHashJob job;
    job.file = file;
    job.ExpectedSize = before->size;
    ClearPlatformError();
    job.bytesRead = HashFile(file, before->size, OperationState.PauseGate, &OperationState.BytesDone, job.digest);
    job.readError = LastPlatformError();
    int problem = CheckHashedFile(job, before);
    std::memcpy(digest, job.digest, DigestLength);
    return problem;
}

int StoreThroughFile(FileHandle file, const PathChar* path, const FileIdentity& identity, const uint8_t* digest,
                     StreamWrite how, const uint8_t computed[64], const FileFacts& facts, int* error) {
    uint8_t record[DigestRecordBytes];
    EncodeDigestRecord(computed, facts, record);
    // No window request is made while the guard is held.
    if (!BeginDigestWrite()) {
        CloseFile(file);
        return DigestWriteStopped;
    }
    int stored = WriteFileStreams(file, path, digest, how, record, DigestRecordBytes);
    *error = LastPlatformError();
    EndDigestWrite();
    if ((stored == 0 || stored == RecordNotStored) && !PathNamesFile(path, identity)) {
        *error = ErrorChangedWhileRead;
        return StreamOfAnotherFile;
    }
    return stored;
}

void AddSizeToRead(const EntryPlace& place) {
    FileHandle file = OpenFileForStreams(place);
    if (file == NoFile) return NoteReportable();
    OperationMode mode = static_cast<OperationMode>(OperationState.mode.load());
    if (mode == Check && Schedule.olderThan) {
        CountDueFile(file, place.path);
        CloseFile(file);
        return;
    }
    // A slice's digests are read to tell which files it reads.
    uint8_t digest[64];
    int length = Schedule.sliceN == 0 ? QueryStream(file, place.path, DigestStream)
                                      : ReadStream(file, place.path, DigestStream, digest, 64);
    // A check reads the files with a digest, create and import those without, update all.
    bool without = mode == CreateMissing || mode == Import;
    bool read = mode == Update || (without ? length == NoDigestStream : length == DigestLength);
    read = read && InSlice(length, digest);
    if (read) OperationState.BytesTotal += FileSizeOf(file);
    CloseFile(file);
}

RunTallyRecord RunTally;

void ResetRunTally() { RunTally = RunTallyRecord(); }

void TellOutcome(Verdict verdict, const PathChar* text, int reason, const FileJudgement* judgement) {
    RunTally.count[verdict]++;
    OperationMode mode = static_cast<OperationMode>(OperationState.mode.load());
    if (mode == Check && ListOfOutcome(mode, verdict) == AlteredList) {
        OperationState.AlteredJudged.push_back(AlteredEntry{judgement->stored, verdict == VerdictEdited});
    }
    FileOutcome outcome = {verdict, reason, text, judgement};
    CommitOutcome(outcome);
}

void ReadRecordOf(FileHandle file, const PathChar* path, FileJudgement* judgement) {
    uint8_t bytes[64];
    int length = ReadStream(file, path, RecordStream, bytes, sizeof bytes);
    judgement->record = ReadDigestRecord(bytes, length < 0 ? 0 : length, judgement->stored.bytes, &judgement->recorded);
}

// The verdict on the file of work, whose digest was read and, where usable,
// its contents hashed (hashProblem: CheckHashedFile's answer).
Verdict JudgeWork(FileWork* work, int hashProblem) {
    FileJudgement& judgement = work->judgement;
    judgement.hashed = hashProblem == 0 && judgement.stored.length == DigestLength;
    if (judgement.hashed) {
        std::memcpy(judgement.computed, work->job.digest, DigestLength);
        ReadRecordOf(work->file, work->path, &judgement);
    }
    FileReading reading = {};
    reading.storedLength = judgement.stored.length;
    reading.hashProblem = hashProblem;
    reading.sameContents = judgement.hashed && std::memcmp(judgement.stored.bytes, judgement.computed, 64) == 0;
    reading.record = judgement.hashed ? judgement.record : RecordMissing;
    reading.recorded = judgement.recorded;
    reading.current = judgement.facts;
    reading.ledgerVerified = judgement.hashed && !reading.sameContents &&
                             FindVerified(work->before.identity, judgement.facts, judgement.stored.bytes, nullptr);
    return JudgeFile(reading, &work->error);
}

// Reads the stored digest of the open file: the verdict when there is
// nothing to hash (false), else the file to hash in work->job (true).
static bool PrepareCheck(FileWork* work) {
    JudgedDigest& stored = work->judgement.stored;
    work->judgement.hashed = false;
    work->judgement.record = RecordMissing;
    work->judgement.facts = FactsOf(work->before);
    if (work->file == NoFile) {
        work->outcome = VerdictUnreadable;
        work->error = work->openError;
        return false;
    }
    stored.length = ReadStream(work->file, work->path, DigestStream, stored.bytes, DigestLength);
    if (!InSlice(stored.length, stored.bytes)) {
        work->outcome = OutcomeNotSelected;
        CloseFile(work->file);
        return false;
    }
    if (stored.length != DigestLength) {
        int error = LastPlatformError();
        work->outcome = JudgeWork(work, 0);
        if (work->outcome == VerdictUnreadable) work->error = error;
        CloseFile(work->file);
        return false;
    }
    work->job.file = work->file;
    work->job.ExpectedSize = work->before.size;
    return true;
}

// Compares what was hashed with the stored digest. It touches no list, so any
// hashing thread may run it.
static void FinishCheck(FileWork* work) {
    work->outcome = JudgeWork(work, CheckHashedFile(work->job, &work->before));
    CloseFile(work->file);
}

void NoteReadFile(const FileWork* work, bool matched) {
    const FileJudgement& judgement = work->judgement;
    // An entry is keyed by a digest: a file read without a match and without
    // one of its own (an import's) has nothing to key it by.
    if (!matched && judgement.stored.length != DigestLength) return;
    RecordRead(work->before.identity, judgement.facts, matched ? judgement.computed : judgement.stored.bytes, matched);
    ++Schedule.readFiles;
    Schedule.readBytes += judgement.facts.size;
}

static void CommitCheckedFile(const FileWork* work, const PathChar* text) {
    if (work->outcome == OutcomeNotSelected) return;
    Verdict verdict = static_cast<Verdict>(work->outcome);
    if (verdict == VerdictMatched || verdict == VerdictStaleRecord) NoteReadFile(work, true);
    // Read in vain: it waits its turn again rather than taking every budget.
    if (verdict == VerdictAltered || verdict == VerdictEdited) NoteReadFile(work, false);
    // A verified export tells the matched files too: they are its manifest.
    if (verdict == VerdictMatched && OperationState.mode == Check) {
        RunTally.count[verdict]++;
        return;
    }
    TellOutcome(verdict, text, work->error, verdict == VerdictUnreadable ? nullptr : &work->judgement);
}

// The steps of the runs that read contents: a check's, or those of the
// console's create and update, which write in the walk.
struct ReadSteps {
    PoolPrepare prepare;
    PoolFinish finish;
    PoolCommit commit;
};

static ReadSteps StepsOfRun() {
    switch (OperationState.mode.load()) {
        case Check:
        case ExportVerified:
            return {PrepareCheck, FinishCheck, CommitCheckedFile};
        case Import:
            return {PrepareImport, FinishImport, CommitUpdatedFile};
        default:
            return {PrepareUpdate, FinishUpdate, CommitUpdatedFile};
    }
}

static bool ReadsPooled;

void StartPooledReads(int threads) {
    ReadsPooled = true;
    ReadSteps steps = StepsOfRun();
    StartHashPool(threads, steps.prepare, steps.finish, steps.commit);
}

void FinishPooledReads() {
    FinishHashPool();
    ReadsPooled = false;
}

// The file is opened here, on the walk's thread, while its folder is held;
// with the pool a hashing thread reads it.
static void ReadFileInWalk(const EntryPlace& place, int n, const PathChar* display) {
    FileWork work = {};
    work.path = place.path;
    OperationMode mode = static_cast<OperationMode>(OperationState.mode.load());
    // Import opens only the files its manifest names.
    work.entry = mode == Import ? FindManifestEntry(display) : -1;
    if (work.entry == ManifestOwnFile) return;
    bool opens = mode != Import || work.entry >= 0;
    work.file = opens ? OpenFileForReading(place, &work.before) : NoFile;
    work.openError = opens ? LastPlatformError() : 0;
    // A link by now is not followed, as no link below a target is.
    if (work.file == NoFile && work.openError == ErrorIsLink) return;
    if (work.file == NoFile ? !ReportsInThisRound() : !TakesFileInRound(work.file, place.path, work.before)) {
        CloseFile(work.file);
        return;
    }
    bool writesAny = mode == Update || mode == CreateMissing;
    if (work.file == NoFile && writesAny && !DecideUnopenedUpdate(&work, place)) return;
    // With hashing threads this names the file handed over, not one being read.
    if (work.file != NoFile) SetStatusText(display);
    if (ReadsPooled) {
        HandToHashPool(place.path, n, static_cast<int>(display - place.path), work);
        return;
    }
    ReadSteps steps = StepsOfRun();
    WorkOnFile(&work, steps.prepare, steps.finish);
    steps.commit(&work, display);
}

static void ListFile(const EntryPlace& place, const PathChar* display) {
    FileHandle file = OpenFileForStreams(place);
    int length = file == NoFile ? DigestStreamUnreadable : QueryStream(file, place.path, DigestStream);
    int error = LastPlatformError();
    CloseFile(file);
    if (file == NoFile && error == ErrorIsLink) return;
    if (length == NoDigestStream) {
        TellOutcome(VerdictNoDigest, display, 0, nullptr);
    } else if (length < 0) {
        TellOutcome(VerdictUnreadable, display, error, nullptr);
    } else {
        // A malformed value is no digest to create, but it is not missing.
        TellOutcome(length == DigestLength ? VerdictHashed : VerdictMalformed, display, 0, nullptr);
    }
}

static void RemoveFile(const EntryPlace& place, const PathChar* display) {
    FileHandle file = OpenFileForStreams(place);
    int length = file == NoFile ? DigestStreamUnreadable : QueryStream(file, place.path, DigestStream);
    int error = LastPlatformError();
    if (file == NoFile && error == ErrorIsLink) return;
    bool removed = false;
    // A record left beside no digest goes too, but the file had no digest.
    bool strayRecord = length == NoDigestStream && QueryStream(file, place.path, RecordStream) >= 0;
    if (length >= 0 || strayRecord) {
        // Guarded like a write: after Exit no deletion begins, and the one
        // under way is finished and reported.
        if (!BeginDigestWrite()) {
            CloseFile(file);
            return;
        }
        removed = DeleteFileStreams(file, place.path);
        error = LastPlatformError();
        EndDigestWrite();
    }
    CloseFile(file);
    if (length < 0 && length != NoDigestStream) {
        // Whether there is a digest is unknown: it is not reported removed.
        TellOutcome(VerdictUnreadable, display, error, nullptr);
    } else if (removed || (length == NoDigestStream && !strayRecord)) {
        TellOutcome(length == NoDigestStream ? VerdictNoDigest : VerdictRemoved, display, 0, nullptr);
    } else {
        TellOutcome(VerdictNotRemoved, display, error, nullptr);
    }
}

void ApplyFileAction(const EntryPlace& place, int n) {
    const PathChar* display = DisplayTextOf(place.path, LongPathPrefix, LongPathPrefixLength);
    switch (OperationState.mode.load()) {
        case List:
            ListFile(place, display);
            break;
        case Remove:
            RemoveFile(place, display);
            break;
        case Export:
            ExportFile(place, display);
            break;
        case Check:
        case Update:
        case CreateMissing:
        case ExportVerified:
        case Import:
            ReadFileInWalk(place, n, display);
            break;
        default:
            break;
    }
}
