// TargetText, the window's growable text buffer, and the composition of the
// target field from a picked path or dropped paths. Pure and portable.
#pragma once

#include <climits>
#include <cstdint>

#include "platform/platform.h"

const int TargetTextGrowth = 65536;
// The capacity, terminator included, is an int (as the edit control's calls
// take it), so this is the longest text the buffer can hold.
const int MaxTargetTextLength = INT_MAX - TargetTextGrowth;

// Mirrors the target field after each command; also the scratch area of the
// folder picker and the digest viewer. Capacity in units, terminator included.
// Null, with capacity 0, when start-up could not allocate it; the next growth
// tries again.
extern PathChar* TargetText;
extern int TargetCapacity;

// 65536 units, not cleared. False when the heap refused.
bool AllocateTargetText();
// True when a text of length n (terminator not counted) fits, after growing
// the buffer when it did not: the capacity becomes n + 65536, contents kept.
// False when n is beyond MaxTargetTextLength or the heap refused; the buffer
// then stays as it was.
bool GrowTargetText(int64_t n);

// The length of text once QuotePath has done its work.
int64_t QuotedLength(const PathChar* text);
// In place: a text with a blank gets a double quote on each side, and the
// backslashes it ends with are doubled so that the window's splitter
// (CommandLineToArgvW) does not read the closing quote as an escaped one;
// any other text stays as it is. The caller provides QuotedLength + 1 units.
void QuotePath(PathChar* text);

// TargetText holds the picked path. Quotes it and, when the field had text
// (fieldLength > 0) and the user has edited the targets since the last run,
// puts one blank and the field's text after it. False, with TargetText as it
// was, when the result does not fit.
bool ComposePickedTarget(const PathChar* fieldText, int fieldLength, bool targetsEdited);

// Writes the dropped paths, each quoted as needed and followed by one blank,
// into TargetText; then the field's text when the targets were edited, else
// the last blank goes. False, with TargetText as it was, when there are no
// paths or the result does not fit: no path and no part of the field is cut.
bool ComposeDroppedTargets(const PathChar* const* paths, int count, const PathChar* fieldText, bool targetsEdited);
