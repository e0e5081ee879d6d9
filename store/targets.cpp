// From the target text to the files a check, list or remove run visits:
// depth first, in the order the file system enumerates each folder.
#include <vector>

#include "store/operation_state.h"
#include "store/path_rules.h"
#include "store/store.h"

const int MaxTargetLength = 32765;
const int MaxFilePathLength = 32763;    // room for the stream suffix and the terminator
const int MaxFolderPathLength = 32766;  // before its separator
const int MaxFolderNameLength = 260;    // a name written with its separator: 261 units
const int ValidationMessageUnits = 512;

static void ShowMissingTarget(const PathString& arg) {
    static const char lead[] = "Cannot retrieve properties of\n";
    PathChar message[ValidationMessageUnits];
    int n = 0;
    for (const char* p = lead; *p; ++p) message[n++] = static_cast<PathChar>(*p);
    for (size_t i = 0; i < arg.size() && n < ValidationMessageUnits - 1; ++i) message[n++] = arg[i];
    message[n] = 0;
    ShowTargetError(message);
}

bool ValidateTargets(const std::vector<PathString>& args) {
    // Text that splits into nothing (blanks only) names no existing target.
    if (args.empty()) {
        ShowMissingTarget(PathString());
        return false;
    }
    for (const PathString& arg : args) {
        if (QueryPathKind(arg.c_str()) == PathMissing) {
            ShowMissingTarget(arg);
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

struct WalkLevel {
    DirectoryHandle directory;
    int length;  // of the folder's path, separator included
    bool identified;
    FileIdentity identity;
};

static bool SameIdentity(const FileIdentity& a, const FileIdentity& b) {
    return a.volume == b.volume && a.index == b.index;
}

// Opens the folder whose path of length units stands in PathBuffer and puts it
// on the stack, unless it is one of its own ancestors (a link leading back up).
static void EnterFolder(std::vector<WalkLevel>* stack, int length) {
    PathChar* path = OperationState.PathBuffer;
    WalkLevel level;
    level.length = length;
    level.identified = QueryDirectoryIdentity(path, &level.identity);
    if (level.identified) {
        for (const WalkLevel& ancestor : *stack) {
            if (ancestor.identified && SameIdentity(ancestor.identity, level.identity)) return;
        }
    }
    level.directory = OpenDirectory(path, length);
    if (level.directory) stack->push_back(level);
}

// The folder whose path, ending in a separator, stands in PathBuffer. An
// explicit stack instead of recursion: the depth is bounded only by the path
// length, far beyond what a worker's stack holds.
static void WalkDirectory(int length) {
    PathChar* path = OperationState.PathBuffer;
    std::vector<WalkLevel> stack;
    EnterFolder(&stack, length);
    while (!stack.empty()) {
        WalkLevel& top = stack.back();
        DirectoryEntry entry;
        if (!NextDirectoryEntry(top.directory, &entry)) {
            CloseDirectory(top.directory);
            stack.pop_back();
            continue;
        }
        int d = top.length;
        if (entry.kind == EntryDirectory) {
            // The folder's own enumeration needs two units more (pattern and
            // terminator) behind its separator.
            int folderLength = d + entry.length + 1;
            if (d + entry.length > MaxFolderPathLength || entry.length > MaxFolderNameLength ||
                folderLength + 2 > PathBufferUnits) {
                continue;
            }
            for (int i = 0; i < entry.length; ++i) path[d + i] = entry.name[i];
            path[folderLength - 1] = PathSeparator;
            path[folderLength] = 0;
            EnterFolder(&stack, folderLength);
        } else if (entry.kind == EntryFile) {
            if (d + entry.length > MaxFilePathLength) continue;
            for (int i = 0; i < entry.length; ++i) path[d + i] = entry.name[i];
            path[d + entry.length] = 0;
            ApplyFileAction(d + entry.length);
        }
        // Anything else (FIFOs, sockets, devices) is no file to read.
    }
}

void WalkTargets() {
    PathChar* path = OperationState.PathBuffer;
    for (const PathString& arg : OperationState.TargetArgs) {
        int n = FormatWalkPath(path, arg.c_str(), LongPathPrefix, LongPathPrefixLength, MaxTargetLength);
        if (n < 0) continue;
        PathKind kind = QueryPathKind(path);
        if (kind == PathDirectory) {
            if (n == 0 || path[n - 1] != PathSeparator) {
                if (n + 3 > PathBufferUnits) continue;
                path[n++] = PathSeparator;
                path[n] = 0;
            }
            WalkDirectory(n);
        } else if (kind == PathFile) {
            ApplyFileAction(n);
        }
        // Vanished since validation, or no regular file: skipped.
    }
}
