#include "ui/target_text.h"

#include <cstdlib>

#include "store/path_rules.h"

PathChar* TargetText = nullptr;
int TargetCapacity = 0;

bool AllocateTargetText() {
    TargetText = static_cast<PathChar*>(std::malloc(sizeof(PathChar) * TargetTextGrowth));
    TargetCapacity = TargetText ? TargetTextGrowth : 0;
    return TargetText != nullptr;
}

void GrowTargetText(int n) {
    if (n < TargetCapacity) return;
    int capacity = n + TargetTextGrowth;
    void* grown = std::realloc(TargetText, sizeof(PathChar) * static_cast<size_t>(capacity));
    if (!grown) return;
    TargetText = static_cast<PathChar*>(grown);
    TargetCapacity = capacity;
}

void QuotePath(PathChar* text) {
    int n = TextLength(text);
    bool blank = false;
    for (int i = 0; i < n && !blank; ++i) blank = text[i] == PathChar(' ');
    if (!blank) return;
    for (int i = n; i > 0; --i) text[i] = text[i - 1];
    text[0] = PathChar('"');
    text[n + 1] = PathChar('"');
    text[n + 2] = 0;
}

// Copies at most room - 1 units of source and always terminates (room > 0).
static void CopyBounded(PathChar* target, const PathChar* source, int room) {
    int i = 0;
    for (; i < room - 1 && source[i]; ++i) target[i] = source[i];
    target[i] = 0;
}

void ComposePickedTarget(const PathChar* fieldText, int fieldLength, bool targetsEdited) {
    QuotePath(TargetText);
    if (fieldLength == 0 || !targetsEdited) return;
    int pos = TextLength(TargetText);
    GrowTargetText(pos + 1 + fieldLength);
    if (pos + 1 >= TargetCapacity) return;
    TargetText[pos] = PathChar(' ');
    CopyBounded(TargetText + pos + 1, fieldText, TargetCapacity - pos - 1);
}

bool ComposeDroppedTargets(const PathChar* const* paths, int count, const PathChar* fieldText, bool targetsEdited) {
    if (count <= 0) return false;
    int e = targetsEdited ? TextLength(fieldText) : 0;
    int need = e;
    for (int i = 0; i < count; ++i) need += TextLength(paths[i]) + 3;
    GrowTargetText(need);
    int pos = 0;
    for (int i = 0; i < count; ++i) {
        // The room for quotes and blank is there unless the heap refused to
        // grow; then the paths that no longer fit are left out.
        int length = TextLength(paths[i]);
        if (pos + length + 3 >= TargetCapacity) break;
        CopyBounded(TargetText + pos, paths[i], TargetCapacity - pos);
        QuotePath(TargetText + pos);
        int quoted = TextLength(TargetText + pos);
        TargetText[pos + quoted] = PathChar(' ');
        TargetText[pos + quoted + 1] = 0;
        pos += quoted + 1;
    }
    if (pos == 0) {
        TargetText[0] = 0;
    } else if (e > 0) {
        CopyBounded(TargetText + pos, fieldText, TargetCapacity - pos);
    } else {
        TargetText[pos - 1] = 0;
    }
    return true;
}
