// TargetText, the window's growable text buffer, and the composition of the
// target field from a picked path or dropped paths. Pure and portable.
#pragma once

#include "platform/platform.h"

const int TargetTextGrowth = 65536;

// Mirrors the target field after each command; also the scratch area of the
// folder picker and the digest viewer. Capacity in units, terminator included.
extern PathChar* TargetText;
extern int TargetCapacity;

// 65536 units, not cleared. False when the heap refused.
bool AllocateTargetText();
// When length n (terminator not counted) does not fit, the capacity becomes
// n + 65536, contents kept. When the heap refuses, the buffer stays as it was
// and the callers' bounded copies cut the text instead.
void GrowTargetText(int n);

// In place: a text with a blank gets a double quote on each side (two more
// units, which the caller provides); any other text stays as it is.
void QuotePath(PathChar* text);

// TargetText holds the picked path. Quotes it and, when the field had text
// (fieldLength > 0) and the user has edited the targets since the last run,
// puts one blank and the field's text after it.
void ComposePickedTarget(const PathChar* fieldText, int fieldLength, bool targetsEdited);

// Writes the dropped paths, each quoted as needed and followed by one blank,
// into TargetText; then the field's text when the targets were edited, else
// the last blank goes. No paths: TargetText is left alone, false.
bool ComposeDroppedTargets(const PathChar* const* paths, int count, const PathChar* fieldText, bool targetsEdited);
