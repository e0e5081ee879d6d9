// The batch runs: targets and their walk, the per-file action, and the two
// workers. CheckRun and WriteRun run on a worker thread and return 0.
#pragma once

#include "engine/hash_file.h"
#include "platform/platform.h"
#include "store/file_outcome.h"
#include "store/hash_pool.h"
#include "store/operation_state.h"
#include "store/window_services.h"

// UI thread. Splits text into OperationState.TargetArgs and validates it;
// false (after ShowTargetError, or silently for an empty text) starts no run.
bool ParseTargets(const PathChar* text);
// The same validation for arguments already split (the console's).
bool ValidateTargets(const std::vector<PathString>& args);
// The console's: a missing target stops nothing while another exists (the
// walk names it, as unreadable); false, each named, when none exists.
bool ValidateConsoleTargets(const std::vector<PathString>& args);

// The size pass adds up the sizes of the files the run will read (into
// BytesTotal) and reports nothing; the action pass applies ApplyFileAction
// to each file.
enum WalkPass { SizePass, ActionPass };
void WalkTargets(WalkPass pass);
// The file at place, whose path of n units stands in OperationState.PathBuffer.
void ApplyFileAction(const EntryPlace& place, int n);
void AddSizeToRead(const EntryPlace& place);
// From Start to Finish, ApplyFileAction hands each file of a check (or of
// the console's create and update) to that many hashing threads, and the
// lists are filled in the walk's order.
void StartPooledReads(int threads);
void FinishPooledReads();
// The steps of a file of the console's create and update (update_action.cpp);
// a file it could not open is decided by DecideUnopenedUpdate (false:
// nothing to tell).
bool PrepareUpdate(FileWork* work);
void FinishUpdate(FileWork* work);
void CommitUpdatedFile(const FileWork* work, const PathChar* text);
// A file read whole, into the ledger: verified where it matched.
void NoteReadFile(const FileWork* work, bool matched);
bool DecideUnopenedUpdate(FileWork* work, const EntryPlace& place);
// Stores digest (null: the record alone) through the open file, which it
// closes: done once stored, else what became of the file (OutcomeStopped
// after Exit).
int WriteThrough(FileHandle file, const PathChar* path, const FileIdentity& identity, const uint8_t* digest,
                 StreamWrite how, const FileJudgement& judgement, Verdict done, int* error);
// The record beside a usable digest, read through the open file into judgement.
void ReadRecordOf(FileHandle file, const PathChar* path, FileJudgement* judgement);
// Tells the file or folder to the front end as unreadable.
void ReportUnreadableFile(const PathChar* display, int error);
// The verdict on the file of work, whose digest was read and, where usable,
// its contents hashed (hashProblem: CheckHashedFile's answer); reads the
// record beside a usable digest and fills work->error with the reason.
Verdict JudgeWork(FileWork* work, int hashProblem);
// A file's work that Exit stopped before its write: nothing to tell.
const int OutcomeStopped = -1;
// A file the schedule leaves out of this run (another slice): nothing to tell.
const int OutcomeNotSelected = -2;

// After HashFile filled job for the open file taken as before: 0 when the
// digest is that of the contents the file still has (every byte read, same
// identity, size and last-write time; a file whose change time alone moved
// is read once more), else the reason: ErrorChangedWhileRead, or the read
// error.
int CheckHashedFile(const FileHashJob& job, const FileSnapshot* before);
// Hashes the open file from its start; 0 when the digest is that of the
// contents the file still has (same identity, size and last-write time as in
// before, every byte read), else the reason: ErrorChangedWhileRead, or the
// read error.
int HashOpenFile(FileHandle file, const FileSnapshot* before, uint8_t digest[64]);

// Exit was confirmed before the write began: nothing was stored.
const int DigestWriteStopped = -100;
// Stores digest (null: the record alone) and the record of the file as read
// (its computed digest and facts) through the open file, which it closes,
// under WriteGuard. WriteFileStreams' answer, or DigestWriteStopped; also
// StreamOfAnotherFile when the path no longer leads to the file written
// (renamed over meanwhile: the file it names has none of it).
int StoreThroughFile(FileHandle file, const PathChar* path, const FileIdentity& identity, const uint8_t* digest,
                     StreamWrite how, const uint8_t computed[64], const FileFacts& facts, int* error);

// Check, List or Remove, as OperationState.mode says.
unsigned CheckRun(void* unused);
// Create or Rewrite; parameter: the ResultList to write from, as
// reinterpret_cast<void*>(intptr_t(list)).
unsigned WriteRun(void* list);

// Starts the worker for the mode already set; false when no thread could be
// made (the mode is then Idle again).
bool StartCheckRun();
bool StartWriteRun(ResultList source);
