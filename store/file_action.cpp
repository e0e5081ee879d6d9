// What a check, list or remove run does to one file, by the current mode.
#include <cstring>

#include "engine/hash_file.h"
#include "store/operation_state.h"
#include "store/path_rules.h"
#include "store/store.h"

static void AddToTotal(const PathChar* path) {
    uint64_t size = 0;
    if (QueryFileSize(path, &size)) OperationState.BytesTotal += size;
}

static void CheckFile(PathChar* path, int n, const PathChar* display) {
    uint8_t stored[64];
    int storedLength = ReadDigestStream(path, stored);
    CutSuffix(path, n);
    if (storedLength == NoDigestStream) {
        ListAppend(UnhashedList, display);
        return;
    }
    FileHandle file = NoFile;
    if (storedLength != DigestStreamUnreadable) {
        SetStatusText(display);
        file = OpenFileForReading(path);
    }
    if (file == NoFile) {
        // Locked, denied or vanished: neither list, but never taken for a pass.
        OperationState.UnreadableCount++;
        ReportUnreadable(display);
        return;
    }
    uint8_t computed[64];
    HashFile(file, FileSizeOf(file), computed, OperationState.PauseGate, &OperationState.BytesDone);
    CloseFile(file);
    // A stored value shorter than 64 bytes never matches.
    if (storedLength < 64 || std::memcmp(stored, computed, 64) != 0) ListAppend(AlteredList, display);
}

void ApplyFileAction(int n) {
    PathChar* path = OperationState.PathBuffer;
    AppendSuffix(path, n, DigestStreamSuffix, DigestStreamSuffixLength);
    const PathChar* display = DisplayTextOf(path, LongPathPrefix, LongPathPrefixLength);
    switch (OperationState.mode.load()) {
        case SizeScan: {
            bool hashed = DigestStreamExists(path);
            CutSuffix(path, n);
            if (hashed) AddToTotal(path);
            break;
        }
        case List: {
            bool hashed = DigestStreamExists(path);
            CutSuffix(path, n);
            ListAppend(hashed ? HashedList : UnhashedList, display);
            break;
        }
        case Remove: {
            bool left = DigestStreamExists(path) && !DeleteDigestStream(path);
            CutSuffix(path, n);
            ListAppend(left ? HashedList : UnhashedList, display);
            break;
        }
        case Check:
            CheckFile(path, n, display);
            break;
        default:
            CutSuffix(path, n);
            break;
    }
}
