// Hashing on several threads. The run's own thread hands files over in the
// order of its walk or list and takes their outcomes back in that same order,
// so that lists, records and counts come out as they do with one thread. At
// most HashPoolWindow files are under way at once, which bounds the memory
// whatever the number of files.
//
// Threads: StartHashPool, HandToHashPool and FinishHashPool are called by the
// run's thread only, and only it calls PoolCommit, so the window services are
// called from the one thread that calls them without a pool. A hashing thread
// calls PoolWork alone: it reads files and digest streams and may write a
// digest (under WriteGuard), but touches no list and asks nothing of the front
// end. Hashing threads wait for work, and on the pause gate inside HashFile;
// the run's thread waits only while the window is full or at the finish, for
// the file at the front. With no hashing thread to be had, the run's thread
// does the work itself, in order.
#pragma once

#include "platform/platform.h"
#include "store/operation_state.h"

const int HashPoolWindow = 1024;

struct PooledFile {
    // The file-system path, terminated at length; the text that names the
    // file in lists begins at textAt.
    PathString path;
    int length;
    int textAt;
    // A check's file, opened by the run's thread (NoFile: openError says
    // why), with its snapshot; a write run's entry, found again by its
    // hashing thread below target (an index of the source list's targets;
    // its path below it from relativeAt), with the stored value the check
    // judged.
    FileHandle file;
    FileSnapshot before;
    int openError;
    int target;
    int relativeAt;
    FileJudgement judgement;
    // Filled in by the hashing thread for the commit.
    int outcome;
    int error;
    bool done;
};

// On a hashing thread; must not call the window services.
typedef void (*PoolWork)(PooledFile* file);
// On the run's own thread, one file at a time, in the order handed over.
typedef void (*PoolCommit)(PooledFile* file);

// With threads at most; the window of files under way is kept within the
// files the process may hold open, since a check's are opened when handed over.
void StartHashPool(int threads, PoolWork work, PoolCommit commit);
// Takes the file over (path, length, textAt, outcome, error and the fields
// its work needs filled in); first commits the finished files at the front, and waits while
// the window is full.
void HandToHashPool(PooledFile* file);
// Waits for every file handed over, commits it, and ends the threads.
void FinishHashPool();
