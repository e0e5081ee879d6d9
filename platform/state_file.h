// Files a program keeps about its runs, outside the trees it reads: the
// state folder, and a file read and written at offsets under a lock.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// $XDG_STATE_HOME/quorvane (default ~/.local/state/quorvane) on POSIX,
// %LOCALAPPDATA%\Quorvane on Windows; empty where neither can be found.
PathString StateFolderPath();
// The folder and those above it; true when it exists afterwards.
bool MakeStateFolder(const PathString& path);
// Opened for reading and writing (created when missing, where create says),
// else for reading only; NoFile when neither. *writable says which.
FileHandle OpenStateFile(const PathString& path, bool create, bool* writable);
// An exclusive lock on the whole file, held until it is closed: wait for it,
// or false at once while another process holds it.
bool LockStateFile(FileHandle file, bool wait);
// Bytes at offset: the count read (short at the end of the file) or -1.
int ReadStateAt(FileHandle file, uint64_t offset, void* bytes, uint32_t size);
bool WriteStateAt(FileHandle file, uint64_t offset, const void* bytes, uint32_t size);
// To the disk, before a rename makes a new file the one in use.
bool FlushStateFile(FileHandle file);
bool SetStateFileSize(FileHandle file, uint64_t size);
// Renames from over to, in one step, and makes the rename durable.
bool ReplaceStateFile(const PathString& from, const PathString& to);
void DeleteStateFile(const PathString& path);
// The file's first size bytes in memory, shared with the file (what is
// written there is the file's at once, as a write's is); null when they
// cannot be mapped. The file must hold size bytes, every one stored (no
// holes), so that a full disk cannot fail a store into the view.
uint8_t* MapStateFile(FileHandle file, uint64_t size, bool writable);
// What was stored in the view, to the disk.
bool FlushStateView(uint8_t* view, uint64_t size);
void UnmapStateFile(uint8_t* view, uint64_t size);
