// The runs of the console's export and import: what export tells of each
// file (its stored digest and whether its record still fits, no contents
// read), and import's manifest, keyed by the clean absolute path of each
// entry, with the steps of a file in the hashing pool.
#pragma once

#include <unordered_map>
#include <vector>

#include "store/hash_pool.h"
#include "store/manifest.h"

struct ManifestRunRecord {
    bool windowsRules;  // the system's path rules
    PathString base;    // the folder the manifest's paths are relative to, absolute and clean
    // Import: the manifest itself (clean), never taken for a file it fails to name.
    PathString ownPath;
    // Export: the manifest being written, never exported.
    bool ownKnown;
    FileIdentity own;
    std::vector<ManifestEntry<PathChar>> entries;
    std::unordered_map<PathString, int> byPath;
    std::vector<uint8_t> met;
};

extern ManifestRunRecord ManifestRun;

// The system's rules and base (as given, made absolute here), and no entries.
void ResetManifestRun(const PathString& base);
// A path as walked, or named, as one clean absolute path.
PathString CleanRunPath(const PathString& path);
// Takes the manifest's entries; false at its first bad line, or at an entry
// that names a file named before with another digest (nothing taken then).
bool LoadManifest(const char* text, size_t length, ManifestProblem* problem);

// Export: the file's outcome from its stored digest and record (matched
// where a record fits the file as it is), reading no contents.
void ExportFile(const EntryPlace& place, const PathChar* display);
const int ManifestOwnFile = -2;
// Import: the entry that names the file shown as display, marked as met; -1
// when the manifest does not name it, ManifestOwnFile for the manifest itself.
int FindManifestEntry(const PathChar* display);
bool PrepareImport(FileWork* work);
void FinishImport(FileWork* work);
// After the walk: each entry below the targets that it did not meet, as a
// file that could not be read (missing, or beyond the walk's reach).
void ReportUnmetEntries();
