// The one record that the front end (UI thread) and the worker of the current
// run share. Fields written by one side and read by the other are atomics;
// 64-bit counters are atomics above all, since a plain 64-bit store tears on i686.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <vector>

#include "platform/platform.h"
#include "store/digest_record.h"
#include "store/front_end_text.h"

enum OperationMode : uint8_t {
    Idle = 0,
    Check = 1,
    List = 2,
    Remove = 3,
    Rewrite = 4,
    Create = 6,
    // The console's runs that write in the walk itself, through each file as
    // it is read: digests where there are none (create), and update.
    Update = 8,
    CreateMissing = 9,
    // The console's manifests: export lists the stored digests (reading no
    // contents, or, verified, as a check reads them); import writes the
    // manifest's digests in the walk.
    Export = 10,
    ExportVerified = 11,
    Import = 12,
};

const int PathBufferUnits = 32768;

// A target as a walk went through it: its path as shown, and the identity of
// the file or folder it named.
struct WalkedTarget {
    PathString path;
    FileIdentity identity;
};

// A stored value as a check read it: up to 64 bytes, and its whole length.
// A Whirlpool digest's bytes: what a stored value of any other length is not.
const int DigestLength = 64;

struct JudgedDigest {
    uint8_t bytes[DigestLength];
    int length;
};

// Everything a run learns of one file it reads: the stored value, the digest
// of the contents (when hashed), the size and time they were read at, and
// the record beside the digest (recorded only where it is usable).
struct FileJudgement {
    JudgedDigest stored;
    uint8_t computed[64];
    bool hashed;
    FileFacts facts;
    RecordState record;
    FileFacts recorded;
};

// An entry of the altered list: the stored value the check compared (a
// rewrite replaces only that value), and whether the file was edited.
struct AlteredEntry {
    JudgedDigest stored;
    bool edited;
};

struct OperationStateRecord {
    std::atomic<uint8_t> mode;
    std::atomic<uint8_t> Paused;
    // Manual reset; signalled = the run may read on. Null when it could not
    // be created: a pause then does not hold the run, which goes on to its end.
    GateHandle PauseGate;
    // The digest writes under way: each counts from just before its stream is
    // created until it is closed.
    std::atomic<uint8_t> WriteGuard;
    // Set once the user confirmed Exit: no new digest write may begin.
    std::atomic<uint8_t> ExitRequested;
    std::atomic<uint64_t> BytesTotal;
    std::atomic<uint64_t> BytesDone;
    std::atomic<uint64_t> BytesAtLastTick;
    std::atomic<uint64_t> RunStart;  // moved later by every pause
    std::atomic<uint64_t> LastTick;
    std::atomic<uint64_t> PauseStart;
    std::atomic<int32_t> AlteredCount;
    std::atomic<int32_t> UnhashedCount;
    // The walk stays on the file system of each target (console -x).
    bool OneFileSystem;
    // Threads that hash at once (console -j); the window hashes on its worker.
    int HashThreads;
    // A console that shows no progress figures saves the pass that adds up
    // the sizes for them.
    bool TotalSkipped;
    PathChar PathBuffer[PathBufferUnits];
    // The targets of the current check, list or remove run, already absolute.
    std::vector<PathString> TargetArgs;
    // The console's: for each target, why it could not be looked up (0: it
    // could); the walk names those in their place. Empty for the window.
    std::vector<int> TargetErrors;
    // The targets the current walk went through, and, for each result list,
    // those of the run that filled it: a write run finds its entries again
    // below them, following no link there.
    std::vector<WalkedTarget> WalkedTargets;
    std::vector<WalkedTarget> ListTargets[3];
    // For each entry of the altered list, in its order, what the check judged.
    std::deque<AlteredEntry> AlteredJudged;
    // A rewrite of the altered list leaves the files changed without an edit.
    bool RewriteEditsOnly;
};

extern OperationStateRecord OperationState;

// Resets the shared record for a new process (tests) and creates PauseGate
// when it does not exist yet (again, when an earlier creation failed).
void InitOperationState();

// Start of the hashing phase: counters to zero, timer on, RunStart = now.
void BeginHashingPhase();

// The time bookkeeping of Pause and Resume; the front end does the rest
// (gate, timer, caption, taskbar) in its own order.
void MarkPauseStart(uint64_t now);
void MoveRunTimesPastPause(uint64_t now);

// A progress tick: false (and nothing touched) while BytesDone is 0; else the
// counters and times the figures are made of, with LastTick and
// BytesAtLastTick moved on for the next tick.
bool TakeProgressTick(uint64_t now, ProgressInput* input);

// The write handshake: the worker takes WriteGuard and then looks for an exit
// request, the front end sets ExitRequested and then waits for WriteGuard to
// clear, so either the write is skipped or it is finished before the exit.
bool BeginDigestWrite();
void EndDigestWrite();
void RequestExitAndWaitForWrites();
