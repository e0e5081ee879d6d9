// Paths longer than the system takes in one call (PATH_MAX) are reached
// through an open descriptor of their folder.
#pragma once

#include <climits>

const int ReachablePathUnits = PATH_MAX;

// path itself when the system takes it as it is; else "/proc/self/fd/N/name"
// in buffer (ReachablePathUnits bytes), N a descriptor of the folder of path,
// kept open for the calling thread. Null when that folder cannot be opened
// (errno says why).
const char* ReachablePath(const char* path, char* buffer);
// Closes the calling thread's folder descriptor; called as a thread ends.
void ReleaseReachablePath();
