// From the target text to the files a check, list or remove run visits:
// depth first, in the order the file system enumerates each folder.
#include <utility>
#include <vector>

#include "store/excludes.h"
#include "store/file_outcome.h"
#include "store/operation_state.h"
#include "store/path_rules.h"
#include "store/schedule.h"
#include "store/store.h"

const int MaxTargetLength = 32765;
const int MaxFilePathLength = 32763;    // room for the stream suffix and the terminator
const int MaxFolderPathLength = 32766;  // before its separator
const int ValidationMessageUnits = 512;

static void ShowMissingTarget(const PathString& arg, int error) {
    static const char lead[] = "Cannot retrieve properties of\n";
    PathChar message[ValidationMessageUnits];
    int n = 0;
    for (const char* p = lead; *p; ++p) message[n++] = static_cast<PathChar>(*p);
    for (size_t i = 0; i < arg.size() && n < ValidationMessageUnits - 1; ++i) message[n++] = arg[i];
    message[n] = 0;
    ShowTargetError(message, arg.c_str(), error);
}

bool ValidateTargets(const std::vector<PathString>& args) {
    // Text that splits into nothing (blanks only) names no existing target.
    if (args.empty()) {
        ShowMissingTarget(PathString(), 0);
        return false;
    }
    for (const PathString& arg : args) {
        if (QueryPathKind(arg.c_str()) == PathMissing) {
            ShowMissingTarget(arg, LastPlatformError());
            return false;
        }
    }
    // Relative targets are resolved now, against the current directory, so
    // that the walk finds them like any full path.
    OperationState.TargetArgs.clear();
    OperationState.TargetErrors.clear();
    for (const PathString& arg : args) OperationState.TargetArgs.push_back(MakeAbsolutePath(arg));
    return true;
}

bool ValidateConsoleTargets(const std::vector<PathString>& args) {
    std::vector<int> errors;
    bool anyExists = false;
    for (const PathString& arg : args) {
        bool missing = QueryPathKind(arg.c_str()) == PathMissing;
        errors.push_back(missing ? LastPlatformError() : 0);
        anyExists = anyExists || !missing;
    }
    if (!anyExists) {
        for (size_t i = 0; i < args.size(); ++i) ShowMissingTarget(args[i], errors[i]);
        return false;
    }
    OperationState.TargetArgs.clear();
    for (const PathString& arg : args) OperationState.TargetArgs.push_back(MakeAbsolutePath(arg));
    OperationState.TargetErrors = errors;
    return true;
}

bool ParseTargets(const PathChar* text) {
    if (text[0] == 0) return false;
    std::vector<PathString> args;
    SplitTargetText(text, &args);
    return ValidateTargets(args);
}

void ReportUnreadableFile(const PathChar* display, int error) { TellOutcome(VerdictUnreadable, display, error, nullptr); }

// The size pass of a check walks the same tree again: only the second walk
// reports, so that nothing is counted twice.
static void ReportWalkFailure(WalkPass pass, int length, int error) {
    if (pass == SizePass) return NoteReportable();
    // A run in several rounds reports it once.
    if (!ReportsInThisRound()) return;
    PathChar* path = OperationState.PathBuffer;
    PathChar* end = path + length;
    PathChar kept = *end;
    *end = 0;
    ReportUnreadableFile(DisplayTextOf(path, LongPathPrefix, LongPathPrefixLength), error);
    *end = kept;
}

// A folder's entries, read whole, and the folder itself, held open so that
// its entries are opened through it and never by a path that could lead
// elsewhere by now.
struct WalkLevel {
    DirectoryListing listing;
    size_t next;
    int length;         // of the folder's path, separator included
    FileHandle folder;  // NoFile while closed to stay within OpenFolderLimit
    FileIdentity identity;
};

struct WalkRecord {
    WalkPass pass;
    std::vector<WalkLevel> stack;
    uint64_t volume;  // of the target, for OneFileSystem
    int open;         // folders of the stack held open
    int below;        // where the path below the target begins in PathBuffer
};

static bool SameIdentity(const FileIdentity& a, const FileIdentity& b) {
    return a.volume == b.volume && a.index == b.index;
}

// A target as the walk met it, for the write runs that find its listed files
// again: its path as shown and the identity of what it named then.
static void RecordWalkedTarget(int length, const FileIdentity& identity) {
    const PathChar* path = OperationState.PathBuffer;
    const PathChar* shown = DisplayTextOf(path, LongPathPrefix, LongPathPrefixLength);
    WalkedTarget target;
    target.path.assign(shown, static_cast<size_t>(length - (shown - path)));
    target.identity = identity;
    OperationState.WalkedTargets.push_back(target);
}

static void RecordFileTarget(const EntryPlace& place, int length) {
    FileHandle file = OpenFileForStreams(place);
    FileSnapshot snapshot;
    if (file == NoFile) return;
    if (TakeFileSnapshot(file, &snapshot)) RecordWalkedTarget(length, snapshot.identity);
    CloseFile(file);
}

// The file at place, whose path of length units stands in PathBuffer.
static void VisitFile(WalkPass pass, const EntryPlace& place, int length) {
    if (pass == SizePass) {
        AddSizeToRead(place);
    } else {
        ApplyFileAction(place, length);
    }
}

// Past OpenFolderLimit the folder furthest up that is still open is closed;
// the walk comes back to it through its child (ReopenParent).
static void KeepWithinFolderLimit(WalkRecord* walk) {
    if (walk->open <= OpenFolderLimit()) return;
    for (WalkLevel& level : walk->stack) {
        if (level.folder == NoFile) continue;
        CloseFile(level.folder);
        level.folder = NoFile;
        --walk->open;
        return;
    }
}

// Lists the folder at place, whose path without its separator has length
// units in PathBuffer, and puts it on the stack, unless it is one of its own
// ancestors (a bind mount leading back up) or, with OneFileSystem, on
// another volume than the target's. A folder that is a link by now is not
// followed; one that is a file by now is visited as a file.
static void EnterFolder(WalkRecord* walk, const EntryPlace& place, int length) {
    bool inside = !walk->stack.empty();
    WalkLevel level;
    level.next = 0;
    level.folder = OpenFolder(place, &level.identity);
    if (level.folder == NoFile) {
        int error = LastPlatformError();
        if (error == ErrorNotFolder) {
            if (!inside && walk->pass == ActionPass) RecordFileTarget(place, length);
            VisitFile(walk->pass, place, length);
        } else if (error != ErrorIsLink) {
            ReportWalkFailure(walk->pass, length, error);
        }
        return;
    }
    PathChar* path = OperationState.PathBuffer;
    if (!inside) {
        walk->volume = level.identity.volume;
        if (walk->pass == ActionPass) RecordWalkedTarget(length, level.identity);
    }
    bool stays = !(OperationState.OneFileSystem && inside && level.identity.volume != walk->volume);
    for (const WalkLevel& ancestor : walk->stack) stays = stays && !SameIdentity(ancestor.identity, level.identity);
    // A root ("/", "C:") ends in its separator already.
    level.length = length > 0 && path[length - 1] == PathSeparator ? length : length + 1;
    if (!inside) walk->below = level.length;
    path[level.length - 1] = PathSeparator;
    path[level.length] = 0;
    if (stays && !ListDirectory(level.folder, path, level.length, &level.listing)) {
        ReportWalkFailure(walk->pass, length, LastPlatformError());
        stays = false;
    }
    if (!stays) {
        CloseFile(level.folder);
        return;
    }
    walk->stack.push_back(std::move(level));
    ++walk->open;
    KeepWithinFolderLimit(walk);
}

// Off the stack with the finished folder. The one below it, if the limit
// closed it, is opened again through the finished one and must be the
// folder it was; if it is not (moved meanwhile), the rest of it is reported
// and left.
static void LeaveFolder(WalkRecord* walk) {
    WalkLevel& done = walk->stack.back();
    if (walk->stack.size() > 1) {
        WalkLevel& parent = walk->stack[walk->stack.size() - 2];
        if (parent.folder == NoFile) {
            FileIdentity found;
            parent.folder = OpenParentFolder(done.folder, &found);
            if (parent.folder != NoFile && SameIdentity(found, parent.identity)) {
                ++walk->open;
            } else {
                CloseFile(parent.folder);
                parent.folder = NoFile;
                parent.next = parent.listing.entries.size();
                ReportWalkFailure(walk->pass, parent.length - 1, ErrorChangedWhileRead);
            }
        }
    }
    if (done.folder != NoFile) {
        CloseFile(done.folder);
        --walk->open;
    }
    walk->stack.pop_back();
}

// The folder target at place, whose path of length units (no separator)
// stands in PathBuffer. An explicit stack instead of recursion: depth is
// bounded by neither the worker's stack nor the number of open files.
static void WalkDirectory(WalkRecord* walk, const EntryPlace& target, int length) {
    PathChar* path = OperationState.PathBuffer;
    EnterFolder(walk, target, length);
    // Exit (Ctrl-C) ends the walk: nothing more is begun.
    while (!walk->stack.empty() && !OperationState.ExitRequested.load()) {
        WalkLevel& top = walk->stack.back();
        if (top.next == top.listing.entries.size()) {
            LeaveFolder(walk);
            continue;
        }
        const DirectoryEntry& entry = top.listing.entries[top.next++];
        const PathChar* name = top.listing.names.data() + entry.nameAt;
        int d = top.length;
        if (entry.kind == EntryOther) continue;  // links, FIFOs, sockets, devices
        bool isFolder = entry.kind == EntryDirectory;
        // A folder's own enumeration needs two units more (pattern and
        // terminator) behind its separator.
        bool tooLong = isFolder ? d + entry.length > MaxFolderPathLength || d + entry.length + 3 > PathBufferUnits
                                : d + entry.length > MaxFilePathLength;
        int shown = tooLong ? d : d + entry.length;
        for (int i = 0; i < shown - d; ++i) path[d + i] = name[i];
        path[shown] = 0;
        // An entry whose kind could not be looked up is reported for that
        // reason; one whose whole path does not fit, named by its folder.
        if (entry.kind == EntryUnknown || tooLong || entry.length > MaxEntryNameLength) {
            ReportWalkFailure(walk->pass, shown, entry.kind == EntryUnknown ? entry.error : ErrorPathTooLong);
            path[d] = 0;
            continue;
        }
        // An excluded folder is not entered; an excluded file is seen nowhere.
        if (!Excludes.patterns.empty() &&
            IsExcluded(path + walk->below, shown - walk->below, isFolder)) {
            path[d] = 0;
            continue;
        }
        EntryPlace place = {top.folder, name, path};
        if (isFolder) {
            EnterFolder(walk, place, shown);
        } else {
            VisitFile(walk->pass, place, shown);
        }
    }
    while (!walk->stack.empty()) LeaveFolder(walk);
}

void WalkTargets(WalkPass pass) {
    PathChar* path = OperationState.PathBuffer;
    OperationState.WalkedTargets.clear();
    WalkRecord walk;
    walk.pass = pass;
    walk.volume = 0;
    walk.open = 0;
    walk.below = 0;
    const std::vector<int>& errors = OperationState.TargetErrors;
    for (size_t i = 0; i < OperationState.TargetArgs.size(); ++i) {
        const PathString& arg = OperationState.TargetArgs[i];
        if (OperationState.ExitRequested.load()) return;
        if (i < errors.size() && errors[i] != 0) {
            if (pass == ActionPass && ReportsInThisRound()) ReportUnreadableFile(arg.c_str(), errors[i]);
            continue;
        }
        int n = FormatWalkPath(arg.c_str(), LongPathPrefix, LongPathPrefixLength, MaxTargetLength, path);
        if (n < 0) {
            if (pass == ActionPass && ReportsInThisRound()) ReportUnreadableFile(arg.c_str(), ErrorPathTooLong);
            continue;
        }
        // Without its separator: the target as the user named it, links followed.
        while (n > 1 && path[n - 1] == PathSeparator && path[n - 2] != PathSeparator && path[n - 2] != ':') {
            path[--n] = 0;
        }
        EntryPlace target = {NoFile, path, path};
        WalkDirectory(&walk, target, n);
    }
}
