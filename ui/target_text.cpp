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

bool GrowTargetText(int64_t n) {
    if (n < 0) n = 0;
    if (n < TargetCapacity) return true;
    if (n > MaxTargetTextLength) return false;
    int capacity = static_cast<int>(n) + TargetTextGrowth;
    if (static_cast<uint64_t>(capacity) > SIZE_MAX / sizeof(PathChar)) return false;
    void* grown = std::realloc(TargetText, sizeof(PathChar) * static_cast<size_t>(capacity));
    if (!grown) return false;
    TargetText = static_cast<PathChar*>(grown);
    TargetCapacity = capacity;
    return true;
}

// The length of text, and whether it has a blank, in one pass.
static int MeasureText(const PathChar* text, bool* blank) {
    int n = 0;
    *blank = false;
    for (; text[n]; ++n) {
        if (text[n] == PathChar(' ')) *blank = true;
    }
    return n;
}

static int TrailingBackslashes(const PathChar* text, int n) {
    int count = 0;
    while (count < n && text[n - 1 - count] == PathChar('\\')) ++count;
    return count;
}

int64_t QuotedLength(const PathChar* text) {
    bool blank;
    int n = MeasureText(text, &blank);
    return blank ? int64_t(n) + 2 + TrailingBackslashes(text, n) : n;
}

void QuotePath(PathChar* text) {
    bool blank;
    int n = MeasureText(text, &blank);
    if (!blank) return;
    int doubled = TrailingBackslashes(text, n);
    for (int i = n; i > 0; --i) text[i] = text[i - 1];
    text[0] = PathChar('"');
    for (int i = 1; i <= doubled; ++i) text[n + i] = PathChar('\\');
    text[n + 1 + doubled] = PathChar('"');
    text[n + 2 + doubled] = 0;
}

// Copies source with its terminator; the room was made before.
static void CopyText(PathChar* target, const PathChar* source) {
    int i = 0;
    for (; source[i]; ++i) target[i] = source[i];
    target[i] = 0;
}

bool ComposePickedTarget(const PathChar* fieldText, int fieldLength, bool targetsEdited) {
    if (!TargetText) return false;
    bool append = fieldLength > 0 && targetsEdited;
    int64_t quoted = QuotedLength(TargetText);
    // The field's text as it is now, which the copy takes whole.
    if (!GrowTargetText(quoted + (append ? 1 + TextLength(fieldText) : 0))) return false;
    QuotePath(TargetText);
    if (append) {
        TargetText[quoted] = PathChar(' ');
        CopyText(TargetText + quoted + 1, fieldText);
    }
    return true;
}

bool ComposeDroppedTargets(const PathChar* const* paths, int count, const PathChar* fieldText, bool targetsEdited) {
    if (count <= 0) return false;
    int64_t e = targetsEdited ? TextLength(fieldText) : 0;
    // Room for each path, two quotes and a blank, and for the backslashes
    // doubled before a closing quote; summed wide, so that no sum wraps.
    int64_t need = e;
    for (int i = 0; i < count && need <= MaxTargetTextLength; ++i) {
        bool blank;
        int length = MeasureText(paths[i], &blank);
        need += int64_t(length) + 3 + (blank ? TrailingBackslashes(paths[i], length) : 0);
    }
    if (!GrowTargetText(need)) return false;
    int pos = 0;
    for (int i = 0; i < count; ++i) {
        CopyText(TargetText + pos, paths[i]);
        QuotePath(TargetText + pos);
        int quoted = TextLength(TargetText + pos);
        TargetText[pos + quoted] = PathChar(' ');
        TargetText[pos + quoted + 1] = 0;
        pos += quoted + 1;
    }
    if (e > 0) {
        CopyText(TargetText + pos, fieldText);
    } else {
        TargetText[pos - 1] = 0;
    }
    return true;
}
