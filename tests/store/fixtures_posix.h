// Real files in a temporary folder, and the raw extended attribute beside
// the store's own calls, for the POSIX store tests.
#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

std::string MakeTempFolder();
void RemoveTree(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
// The raw value of user.z; false when there is none.
bool GetRawDigest(const std::string& path, std::string* value);
void SetRawDigest(const std::string& path, const std::string& value);
struct timespec MTimeOf(const std::string& path);
void SetMTime(const std::string& path, struct timespec when);
bool SameTime(struct timespec a, struct timespec b);
// Immutable files refuse attribute changes even to root; false where the file
// system or the process cannot set the flag.
bool SetImmutable(const std::string& path, bool immutable);
// Without these capabilities root is refused reading like anyone else; false
// when they could not be dropped (restored by RestoreFileCapabilities).
bool DropFileReadCapabilities();
void RestoreFileCapabilities();
// The names of a folder in the order the file system enumerates them.
std::vector<std::string> EnumerationOrder(const std::string& folder);
