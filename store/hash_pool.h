// Hashing on several threads. The run's own thread hands files over in the
// order of its walk or list and takes their outcomes back in that same order,
// so that lists, records and counts come out as they do with one thread. At
// most HashPoolWindow files are under way at once, which bounds the memory
// whatever the number of files. Where the processor gains by it (LaneCount),
// each hashing thread hashes several files at once, one block of each per
// step.
//
// Threads: StartHashPool, HandToHashPool and FinishHashPool are called by the
// run's thread only, and only it calls PoolCommit, so the window services are
// called from the one thread that calls them without a pool. A hashing thread
// calls PoolPrepare and PoolFinish alone: they read files and digest streams
// and may write a digest (under WriteGuard), but touch no list and ask
// nothing of the front end. Hashing threads wait for work, and on the pause
// gate before each read; the run's thread waits only while the window is
// full, while a file it hands over is still under way by another name, or at
// the finish, for the file at the front. With no hashing thread to
// be had, the run's thread does the work itself, in order.
#pragma once

#include "engine/hash_file.h"
#include "platform/platform.h"
#include "store/operation_state.h"

const int HashPoolWindow = 1024;

// What one file's action keeps between its steps, on whichever thread.
struct FileWork {
    const PathChar* path;  // the file-system path, terminated
    // A file opened by the walk (NoFile: openError says why) with its
    // snapshot; a write run's entry is found again below target (an index
    // of the source list's targets; its path below it from relativeAt).
    FileHandle file;
    FileSnapshot before;
    int openError;
    int target;
    int relativeAt;
    bool metAgain;  // a write run's file opened before under another name
    int entry;      // import: the manifest's entry for the file, -1 for none
    FileJudgement judgement;
    FileHashJob job;  // the contents to hash, when the action asks for it
    int outcome;
    int error;
};

// The steps of one file: prepare decides and does what needs no hashing, and
// returns true to have work->job hashed (file and ExpectedSize filled in);
// finish follows the hash. Each action also runs them on one thread.
typedef bool (*PoolPrepare)(FileWork* work);
typedef void (*PoolFinish)(FileWork* work);
// On the run's own thread, one file at a time, in the order handed over; the
// text that names the file in lists is given.
typedef void (*PoolCommit)(const FileWork* work, const PathChar* text);

// Prepares, hashes and finishes one file on the calling thread.
void WorkOnFile(FileWork* work, PoolPrepare prepare, PoolFinish finish);

// With threads at most; the window of files under way is kept within the
// files the process may hold open, since a check's are opened when handed over.
void StartHashPool(int threads, PoolPrepare prepare, PoolFinish finish, PoolCommit commit);
// Takes the file over: its path of length units (the text that names it in
// lists begins at textAt) and work, whose path is set here. First commits the
// finished files at the front, and waits while the window is full.
void HandToHashPool(const PathChar* path, int length, int textAt, const FileWork& work);
// Waits for every file handed over, commits it, and ends the threads.
void FinishHashPool();
