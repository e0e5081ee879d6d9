// What a check or update takes on, beyond its targets: a slice of the
// digests (--slice K/N), and the files not verified within a period, oldest
// first, within a budget of time or bytes (--older-than, --budget), as the
// ledger (store/ledger.h) tells. The decisions are pure; the rest keeps one
// run's bookkeeping, on the run's own thread.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "store/ledger.h"

// The slice (1 to n) of a 64-byte digest: its first 8 bytes as a number,
// cut into n equal ranges, so that every digest falls into exactly one.
uint32_t SliceOfDigest(const uint8_t digest[64], uint32_t n);
// "K/N" with 1 <= K <= N < 2^32.
bool ParseSlice(const PathChar* text, uint32_t* k, uint32_t* n);
// An age: a whole number and m, h, d or w (minutes, hours, days, weeks);
// in minutes.
bool ParseAge(const PathChar* text, uint32_t* minutes);
// A budget: an age, or a number of bytes with K, M, G or T (powers of 1000,
// as the figures count MB). One of the two is set, the other 0.
bool ParseBudget(const PathChar* text, uint32_t* minutes, uint64_t* bytes);
// Whether a file is to be verified: unknown to the ledger, or last verified
// (minutes since 1970) period or more before now.
bool IsDue(bool known, uint32_t verified, uint32_t now, uint32_t period);
// The rounds of an oldest-first run: the last day (days since 1970, 0 for
// files never verified) of each of up to MaxScheduleRounds rounds, from the
// due files counted by day (days ascending, count each); the rounds' count.
const int MaxScheduleRounds = 4;
int ChooseRoundBounds(const uint32_t* days, const uint64_t* counts, int n, uint32_t bounds[MaxScheduleRounds]);

struct ScheduleRecord {
    // Set by the front end before the run.
    uint32_t sliceK, sliceN;  // sliceN 0: every file
    bool olderThan;           // only what is due, oldest first
    uint32_t periodMinutes;
    uint32_t budgetMinutes;   // 0: no budget of time
    uint64_t budgetBytes;     // 0: no budget of bytes
    // The run's, read by the front end once it has closed.
    bool budgetSpent;
    uint64_t dueFiles, dueBytes;          // with a digest, due when the run began
    uint64_t readFiles, readBytes;  // read whole by this run, matched or not
};
extern ScheduleRecord Schedule;

// The run's own steps (check_run.cpp, targets.cpp, file_action.cpp).
// Before the size pass.
void BeginSchedule();
// The size pass: a file of the tree, opened for its streams.
void CountDueFile(FileHandle file, const PathChar* path);
// The size pass met what the first round reports: a file or folder it could
// not open or list.
void NoteReportable();
// After it: how many action walks the run makes (0: nothing to walk for).
int PlanScheduleRounds();
void BeginScheduleRound(int round);
// Whether the current walk reports what it cannot read (only the first does).
bool ReportsInThisRound();
// Whether another round may begin: not once the budget is spent.
bool SchedulesMoreFiles();
// The opened file belongs to this round and the budget allows it: begun.
bool TakesFileInRound(FileHandle file, const PathChar* path, const FileSnapshot& before);
// The digest read: false for a file outside the slice.
bool InSlice(int storedLength, const uint8_t stored[64]);
