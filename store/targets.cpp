// From the target text to the files a check, list or remove run visits:
// depth first, in the order the file system enumerates each folder.
#include <utility>
#include <vector>

#include "store/operation_state.h"
#include "store/path_rules.h"
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
    for (const PathString& arg : args) OperationState.TargetArgs.push_back(MakeAbsolutePath(arg));
    return true;
}

bool ParseTargets(const PathChar* text) {
    if (text[0] == 0) return false;
    std::vector<PathString> args;
    SplitTargetText(text, &args);
    return ValidateTargets(args);
}

void ReportUnreadableFile(const PathChar* display, int error) {
    OperationState.UnreadableCount++;
    ReportFile(ReportUnreadable, display, error);
}

// The size pass of a check walks the same tree again: only the second walk
// reports, so that nothing is counted twice.
static void ReportWalkFailure(WalkPass pass, int length, int error) {
    if (pass == SizePass) return;
    PathChar* path = OperationState.PathBuffer;
    PathChar* end = path + length;
    PathChar kept = *end;
    *end = 0;
    ReportUnreadableFile(DisplayTextOf(path, LongPathPrefix, LongPathPrefixLength), error);
    *end = kept;
}

// The file whose path of length units stands in PathBuffer.
static void VisitFile(WalkPass pass, int length) {
    if (pass == SizePass) {
        AddSizeIfHashed(length);
    } else {
        ApplyFileAction(length);
    }
}

// A folder's entries, read whole; the folder itself is closed again at once.
struct WalkLevel {
    DirectoryListing listing;
    size_t next;
    int length;  // of the folder's path, separator included
};

static bool SameIdentity(const FileIdentity& a, const FileIdentity& b) {
    return a.volume == b.volume && a.index == b.index;
}

// Lists the folder whose path of length units stands in PathBuffer and puts
// it on the stack, unless it is one of its own ancestors (a bind mount
// leading back up) or, with OneFileSystem, on another volume than volume.
static void EnterFolder(WalkPass pass, std::vector<WalkLevel>* stack, int length, uint64_t volume) {
    WalkLevel level;
    level.next = 0;
    level.length = length;
    if (!ListDirectory(OperationState.PathBuffer, length, &level.listing)) {
        // Without its separator: the folder as the user knows it.
        ReportWalkFailure(pass, length > 1 ? length - 1 : length, LastPlatformError());
        return;
    }
    if (OperationState.OneFileSystem && !stack->empty() && level.listing.identity.volume != volume) return;
    for (const WalkLevel& ancestor : *stack) {
        if (SameIdentity(ancestor.listing.identity, level.listing.identity)) return;
    }
    stack->push_back(std::move(level));
}

// The folder whose path, ending in a separator, stands in PathBuffer. An
// explicit stack instead of recursion, and no folder held open while its
// subfolders are walked: depth is bounded by neither the worker's stack nor
// the number of open files.
static void WalkDirectory(WalkPass pass, int length) {
    PathChar* path = OperationState.PathBuffer;
    std::vector<WalkLevel> stack;
    EnterFolder(pass, &stack, length, 0);
    if (stack.empty()) return;
    uint64_t volume = stack.front().listing.identity.volume;
    // Exit (Ctrl-C) ends the walk: nothing more is begun.
    while (!stack.empty() && !OperationState.ExitRequested.load()) {
        WalkLevel& top = stack.back();
        if (top.next == top.listing.entries.size()) {
            stack.pop_back();
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
            ReportWalkFailure(pass, shown, entry.kind == EntryUnknown ? entry.error : ErrorPathTooLong);
            path[d] = 0;
            continue;
        }
        if (isFolder) {
            path[shown] = PathSeparator;
            path[shown + 1] = 0;
            EnterFolder(pass, &stack, shown + 1, volume);
        } else {
            VisitFile(pass, shown);
        }
    }
}

void WalkTargets(WalkPass pass) {
    PathChar* path = OperationState.PathBuffer;
    for (const PathString& arg : OperationState.TargetArgs) {
        if (OperationState.ExitRequested.load()) return;
        int n = FormatWalkPath(arg.c_str(), LongPathPrefix, LongPathPrefixLength, MaxTargetLength, path);
        if (n < 0) {
            if (pass == ActionPass) ReportUnreadableFile(arg.c_str(), ErrorPathTooLong);
            continue;
        }
        PathKind kind = QueryPathKind(path);
        if (kind == PathDirectory) {
            if (n == 0 || path[n - 1] != PathSeparator) {
                path[n++] = PathSeparator;
                path[n] = 0;
            }
            WalkDirectory(pass, n);
        } else if (kind == PathFile) {
            VisitFile(pass, n);
        } else {
            // Vanished since validation, or no regular file to read.
            ReportWalkFailure(pass, n, kind == PathOther ? ErrorNotRegularFile : LastPlatformError());
        }
    }
}
