#include "store/manifest_run.h"

#include <cstring>

#include "store/excludes.h"
#include "store/file_outcome.h"
#include "store/path_rules.h"
#include "store/store.h"

ManifestRunRecord ManifestRun;

void ResetManifestRun(const PathString& base) {
    ManifestRun = ManifestRunRecord();
    ManifestRun.windowsRules = PathSeparator == PathChar('\\');
    ManifestRun.base = CleanRunPath(MakeAbsolutePath(base));
}

PathString CleanRunPath(const PathString& path) {
    return ResolveManifestPath(PathString(), path, ManifestRun.windowsRules);
}

static PathString KeyOf(const ManifestEntry<PathChar>& entry) {
    return ResolveManifestPath(ManifestRun.base, entry.path, ManifestRun.windowsRules);
}

bool LoadManifest(const char* text, size_t length, ManifestProblem* problem) {
    std::vector<ManifestEntry<PathChar>> entries;
    if (!ParseManifest(text, length, &entries, problem)) return false;
    std::unordered_map<PathString, int>& byPath = ManifestRun.byPath;
    byPath.clear();
    byPath.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        auto placed = byPath.emplace(KeyOf(entries[i]), static_cast<int>(i));
        if (!placed.second && std::memcmp(entries[placed.first->second].digest, entries[i].digest, 64) != 0) {
            *problem = {entries[i].line, ManifestNamedTwice};
            byPath.clear();
            return false;
        }
    }
    ManifestRun.met.assign(entries.size(), 0);
    ManifestRun.entries = std::move(entries);
    return true;
}

void ExportFile(const EntryPlace& place, const PathChar* display) {
    FileHandle file = OpenFileForStreams(place);
    FileSnapshot snapshot;
    int error = LastPlatformError();
    if (file != NoFile && !TakeFileSnapshot(file, &snapshot)) {
        error = LastPlatformError();
        CloseFile(file);
        file = NoFile;
    }
    if (file == NoFile) {
        // A link by now is not followed, as no link below a target is.
        if (error != ErrorIsLink) ReportUnreadableFile(display, error);
        return;
    }
    if (ManifestRun.ownKnown && snapshot.identity.volume == ManifestRun.own.volume &&
        snapshot.identity.index == ManifestRun.own.index) {
        CloseFile(file);
        return;
    }
    FileJudgement judgement = {};
    judgement.facts = FactsOf(snapshot);
    judgement.record = RecordMissing;
    judgement.stored.length = ReadStream(file, place.path, DigestStream, judgement.stored.bytes, DigestLength);
    error = LastPlatformError();
    if (judgement.stored.length == DigestLength) ReadRecordOf(file, place.path, &judgement);
    CloseFile(file);
    // Nothing read: the digest stands for the contents where its record
    // still fits the file.
    FileReading reading = {};
    reading.storedLength = judgement.stored.length;
    reading.sameContents = true;
    reading.record = judgement.record;
    reading.recorded = judgement.recorded;
    reading.current = judgement.facts;
    int reason;
    Verdict verdict = JudgeFile(reading, &reason);
    if (verdict == VerdictUnreadable) {
        ReportUnreadableFile(display, error);
        return;
    }
    TellOutcome(verdict, display, reason, &judgement);
}

int FindManifestEntry(const PathChar* display) {
    // The targets were cleaned, and the names below them are as listed.
    PathString key = display;
    if (key == ManifestRun.ownPath) return ManifestOwnFile;
    auto found = ManifestRun.byPath.find(key);
    if (found == ManifestRun.byPath.end()) return -1;
    ManifestRun.met[found->second] = 1;
    return found->second;
}

// Reads the file's own digest: what needs no hashing is decided (false),
// else the file to hash is in work->job (true).
bool PrepareImport(FileWork* work) {
    FileJudgement& judgement = work->judgement;
    judgement.facts = FactsOf(work->before);
    judgement.hashed = false;
    judgement.record = RecordMissing;
    ImportReading reading = {};
    reading.listed = work->entry >= 0;
    if (!reading.listed || work->file == NoFile) {
        work->outcome = reading.listed ? VerdictUnreadable : VerdictUnlisted;
        work->error = work->openError;
        return false;
    }
    const ManifestEntry<PathChar>& entry = ManifestRun.entries[work->entry];
    reading.storedLength = ReadStream(work->file, work->path, DigestStream, judgement.stored.bytes, DigestLength);
    judgement.stored.length = reading.storedLength;
    int error = LastPlatformError();
    reading.storedIsListed = std::memcmp(judgement.stored.bytes, entry.digest, DigestLength) == 0;
    reading.sizeDiffers = entry.size >= 0 && entry.size != work->before.size;
    if (reading.storedLength == NoDigestStream && !reading.sizeDiffers) {
        work->job.file = work->file;
        work->job.ExpectedSize = work->before.size;
        return true;
    }
    work->outcome = JudgeImport(reading, &work->error);
    if (work->outcome == VerdictUnreadable) work->error = error;
    CloseFile(work->file);
    return false;
}

// After the hash: the manifest's digest is written through the file, where
// its contents hash to it, as create writes one. Any hashing thread may run it.
void FinishImport(FileWork* work) {
    FileJudgement& judgement = work->judgement;
    ImportReading reading = {};
    reading.listed = true;
    reading.storedLength = NoDigestStream;
    reading.hashProblem = CheckHashedFile(work->job, &work->before);
    reading.contentsListed =
        std::memcmp(work->job.digest, ManifestRun.entries[work->entry].digest, DigestLength) == 0;
    Verdict verdict = JudgeImport(reading, &work->error);
    judgement.hashed = reading.hashProblem == 0;
    std::memcpy(judgement.computed, work->job.digest, DigestLength);
    if (verdict != VerdictWritten) {
        CloseFile(work->file);
        work->outcome = verdict;
        return;
    }
    work->outcome = WriteThrough(work->file, work->path, work->before.identity, judgement.computed, StreamCreateOnly,
                                 judgement, VerdictWritten, &work->error);
}

// Whether the path below a target (length units) or a folder on its way is excluded.
static bool ExcludedOnTheWay(const PathChar* below, int length) {
    for (int i = 0; i < length; ++i) {
        if (below[i] == PathSeparator && IsExcluded(below, i, true)) return true;
    }
    return IsExcluded(below, length, false);
}

void ReportUnmetEntries() {
    std::vector<PathString> targets;
    for (const PathString& target : OperationState.TargetArgs) targets.push_back(CleanRunPath(target));
    for (size_t i = 0; i < ManifestRun.entries.size() && !OperationState.ExitRequested.load(); ++i) {
        if (ManifestRun.met[i]) continue;
        PathString key = KeyOf(ManifestRun.entries[i]);
        // The manifest itself (hashdeep lists the file it writes), and a
        // second line for a file, whose first line tells.
        if (key == ManifestRun.ownPath || ManifestRun.byPath.find(key)->second != static_cast<int>(i)) continue;
        const PathString* under = nullptr;
        for (const PathString& target : targets) {
            bool root = !target.empty() && target.back() == PathSeparator;
            bool inside = key.size() > target.size() && key.compare(0, target.size(), target) == 0 &&
                          (root || key[target.size()] == PathSeparator);
            if (key == target || inside) under = &target;
        }
        if (!under) continue;
        int below = static_cast<int>(under->size()) + (under->back() == PathSeparator ? 0 : 1);
        if (below < static_cast<int>(key.size()) &&
            ExcludedOnTheWay(key.c_str() + below, static_cast<int>(key.size()) - below)) {
            continue;
        }
        PathString path = key;
        if (!UsesPathAsGiven(path.c_str())) path.insert(0, LongPathPrefix);
        PathKind kind = QueryPathKind(path.c_str());
        int error = kind == PathMissing ? LastPlatformError() : kind == PathFile ? ErrorNotWalked : ErrorNotRegularFile;
        ReportUnreadableFile(key.c_str(), error);
    }
}
