// What became of one file in a run, as one value: the verdict, its reason,
// and what was read to reach it. The runs decide it (JudgeFile for the
// contents, the write's answer for what was stored) and hand it to the front
// end in one call (CommitOutcome); the window shows it as list entries and
// marks, the console as a record, a JSON line and an exit flag.
#pragma once

#include <cstdint>

#include "store/digest_record.h"
#include "store/operation_state.h"
#include "store/window_services.h"

enum Verdict : uint8_t {
    VerdictMatched,      // contents as stored, record in step: nothing to tell
    VerdictStaleRecord,  // contents as stored, but no record fits the file now
    VerdictAltered,      // other contents, and nothing says the file was written since
    VerdictEdited,       // other contents, written since (reason ErrorOlderVersion: an older one)
    VerdictNoDigest,
    VerdictMalformed,    // a stored value that is no 64-byte digest
    VerdictUnreadable,
    VerdictChanged,      // changed while read, or replaced meanwhile: nothing compared or written
    VerdictHashed,       // list: it has a digest
    VerdictKept,         // create: it has a digest already, left as it is
    VerdictWritten,      // a digest where there was none, or a rewrite
    VerdictUpdated,      // edited: digest and record written anew
    VerdictRefreshed,    // same contents: the record written anew
    VerdictNotWritten,
    VerdictRemoved,
    VerdictNotRemoved,
    VerdictConflict,     // import: a digest of its own that is not the manifest's, left as it is
    VerdictUnlisted,     // import: a file the manifest does not name
    VerdictCount
};

struct FileOutcome {
    Verdict verdict;
    // A failure's error, or the store's own reason (ErrorOlderVersion, the
    // record's state for a stale record); 0 for none.
    int reason;
    const PathChar* text;  // as the lists show the file
    // What was read of the file; null where nothing was (a folder, a file
    // that could not be opened).
    const FileJudgement* judgement;
};

// Everything the judging of a file's contents depends on.
struct FileReading {
    int storedLength;      // ReadStream's answer for the digest
    int hashProblem;       // CheckHashedFile's answer; unused without a usable digest
    bool sameContents;     // the computed digest is the stored one
    RecordState record;
    FileFacts recorded;    // where the record is usable
    FileFacts current;
    // The ledger saw the file verified whole against this digest at its
    // current size and last-write time: other contents now are no edit.
    bool ledgerVerified;
};

// The verdict on a file whose digest was read (and, where there is a usable
// one, whose contents were hashed), with its reason; the README's decision
// table, row by row. Pure.
Verdict JudgeFile(const FileReading& reading, int* reason);

// Everything the import of a manifest's digest into a file depends on.
struct ImportReading {
    bool listed;          // the manifest names the file
    int storedLength;     // ReadStream's answer for the file's own digest
    bool storedIsListed;  // that digest is the manifest's
    bool sizeDiffers;     // the manifest gives another size
    int hashProblem;      // CheckHashedFile's answer, once hashed
    bool contentsListed;  // the contents hashed to the manifest's digest
};

// What import does with the file: VerdictWritten where the manifest's digest
// is to be written (a file without one, whose contents hash to it); a file
// with a digest, or another size, is not read. Pure; the README's import table.
Verdict JudgeImport(const ImportReading& reading, int* reason);

// Where a front end lists a file of this verdict in a run of mode; -1 for
// none. The write runs take the entry they wrote out of their source list
// themselves.
int ListOfOutcome(OperationMode mode, Verdict verdict);

// The outcomes of the current run by verdict: written by the run's thread,
// read for its closing text and, once it has closed, by the front end.
struct RunTallyRecord {
    int32_t count[VerdictCount];
};
extern RunTallyRecord RunTally;
void ResetRunTally();

// Counts the outcome for the run's closing text and exit status, keeps the
// altered list's judged values in step, and commits it to the front end.
// The run's thread only.
void TellOutcome(Verdict verdict, const PathChar* text, int reason, const FileJudgement* judgement);
