// Composing the target field from dropped paths (ComposeDroppedTargets) and a
// picked one (ComposePickedTarget, QuotePath), with growth of TargetText that
// the heap may refuse (realloc is wrapped at link time) and a TargetText that
// start-up could not allocate. Split by the window's rules, the composed text
// gives every path back whole and in order, then the field's own arguments;
// the field's text is kept to the last unit; a composition that does not fit
// changes nothing.
//
// Input: a flags byte, a size byte, then pieces separated by line feeds:
// the paths (made valid Windows path text) and last the field's text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_support.h"
#include "tests/ui/windows_split_model.h"
#include "ui/target_text.h"

extern "C" void* __real_realloc(void* block, size_t size);
static int GrowthsToRefuse;

extern "C" void* __wrap_realloc(void* block, size_t size) {
    if (GrowthsToRefuse > 0) {
        --GrowthsToRefuse;
        return nullptr;
    }
    return __real_realloc(block, size);
}

enum Flags {
    Edited = 1,
    Picked = 2,
    NoBuffer = 4,  // start-up could not allocate TargetText
    RefuseOne = 8,
    RefuseAll = 16,
    SmallBuffer = 32,  // of 8 + (second byte % 64) units
};

static bool HasBlank(const PathString& path) { return path.find(' ') != PathString::npos; }

// A first argument is read by the program-name rule, where backslashes are
// plain: the ones doubled before the closing quote come back doubled.
static PathString AsFirstArgument(const PathString& path) {
    if (!HasBlank(path)) return path;
    size_t kept = path.find_last_not_of('\\');
    size_t trailing = kept == PathString::npos ? path.size() : path.size() - 1 - kept;
    return path + PathString(trailing, '\\');
}

// Windows paths hold no quotes and no control characters; backslashes stand
// in for them, so that runs of them are common.
static PathString AsPath(const PathString& piece) {
    PathString path = piece;
    for (PathChar& c : path) {
        if (c == '"' || static_cast<unsigned char>(c) < 0x20) c = '\\';
    }
    return path;
}

static void CheckQuotePath(const PathString& path) {
    int64_t room = QuotedLength(path.c_str()) + 1;
    FUZZ_REQUIRE(room >= static_cast<int64_t>(path.size()) + 1);
    // Exactly the room QuotedLength asks for, so that a write past it is seen.
    PathChar* buffer = new PathChar[static_cast<size_t>(room)];
    std::memcpy(buffer, path.c_str(), (path.size() + 1) * sizeof(PathChar));
    QuotePath(buffer);
    FUZZ_REQUIRE(static_cast<int64_t>(PathString(buffer).size()) == room - 1);
    FUZZ_REQUIRE(SplitLaterArguments(buffer) == std::vector<PathString>({path}));
    delete[] buffer;
}

// Expected: the paths, then the field's arguments when it stays.
static void CheckComposed(const std::vector<PathString>& paths, const PathString& field, bool fieldStays) {
    PathString composed = TargetText;
    if (fieldStays) {
        FUZZ_REQUIRE(composed.size() > field.size());
        FUZZ_REQUIRE(composed.compare(composed.size() - field.size() - 1, PathString::npos, PT(" ") + field) == 0);
    } else {
        FUZZ_REQUIRE(composed.back() != ' ');
    }
    std::vector<PathString> expected = paths;
    expected[0] = AsFirstArgument(paths[0]);
    if (fieldStays) {
        std::vector<PathString> fieldArgs = SplitLaterArguments(field.c_str());
        expected.insert(expected.end(), fieldArgs.begin(), fieldArgs.end());
    }
    FUZZ_REQUIRE(SplitByWindowsRules(composed.c_str()) == expected);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    int flags = data[0];
    PathString text(reinterpret_cast<const PathChar*>(data + 2), size - 2);
    std::vector<PathString> pieces;
    for (size_t start = 0;;) {
        size_t end = text.find('\n', start);
        pieces.push_back(text.substr(start, end == PathString::npos ? PathString::npos : end - start));
        if (end == PathString::npos) break;
        start = end + 1;
    }
    // The field comes from an edit control: no terminator inside.
    PathString field = pieces.back();
    for (PathChar& c : field) {
        if (c == 0) c = ' ';
    }
    pieces.pop_back();
    std::vector<PathString> paths;
    for (const PathString& piece : pieces) {
        if (!piece.empty()) paths.push_back(AsPath(piece));
    }
    if (paths.empty()) return 0;
    for (const PathString& path : paths) CheckQuotePath(path);

    bool edited = (flags & Edited) != 0;
    if (flags & NoBuffer) {
        TargetText = nullptr;
        TargetCapacity = 0;
    } else if (flags & SmallBuffer) {
        // Less room than the composition needs, as 65536 units are for a
        // long one, in small: the growth (and its refusal) comes cheap.
        TargetCapacity = 8 + data[1] % 64;
        TargetText = static_cast<PathChar*>(std::malloc(sizeof(PathChar) * TargetCapacity));
        FUZZ_REQUIRE(TargetText);
        std::strcpy(TargetText, "before");
    } else {
        FUZZ_REQUIRE(AllocateTargetText());
        std::strcpy(TargetText, "before");
    }
    GrowthsToRefuse = flags & RefuseAll ? 1 << 30 : flags & RefuseOne ? 1 : 0;

    PathChar* bufferBefore = TargetText;
    int capacityBefore = TargetCapacity;
    PathString textBefore = TargetText ? TargetText : PT("");
    bool composed;
    std::vector<PathString> placed;
    bool fieldStays;
    if (flags & Picked) {
        // The picker writes its path into TargetText, which it first makes
        // room for, as FolderPicker does.
        placed.push_back(paths[0]);
        fieldStays = edited && !field.empty();
        composed = GrowTargetText(static_cast<int64_t>(paths[0].size()));
        if (composed) {
            std::strcpy(TargetText, paths[0].c_str());
            bufferBefore = TargetText;
            capacityBefore = TargetCapacity;
            textBefore = TargetText;
            composed = ComposePickedTarget(field.c_str(), static_cast<int>(field.size()), edited);
        }
    } else {
        placed = paths;
        std::vector<const PathChar*> pointers;
        for (const PathString& path : placed) pointers.push_back(path.c_str());
        fieldStays = edited && !field.empty();
        composed = ComposeDroppedTargets(pointers.data(), static_cast<int>(pointers.size()), field.c_str(), edited);
    }
    bool refused = GrowthsToRefuse != (flags & RefuseAll ? 1 << 30 : flags & RefuseOne ? 1 : 0);
    GrowthsToRefuse = 0;

    if (composed) {
        CheckComposed(placed, field, fieldStays);
    } else {
        // Only a refused growth fails, and then nothing changed.
        FUZZ_REQUIRE(refused);
        FUZZ_REQUIRE(TargetText == bufferBefore && TargetCapacity == capacityBefore);
        FUZZ_REQUIRE(!TargetText || PathString(TargetText) == textBefore);
    }
    std::free(TargetText);
    TargetText = nullptr;
    TargetCapacity = 0;
    return 0;
}
