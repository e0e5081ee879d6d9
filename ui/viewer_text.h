// The digest viewer's text in its one buffer. Pure and portable.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Past this many units a line of the path is broken, after its last
// separator where it has one, so that the box stays narrower than a screen.
const int ViewerLineUnits = 64;

// The digest viewer's layout in one buffer: "\\?\" at units 0 to 3, the list
// entry of n units from unit 4. Writes the prefix and a terminator after the
// entry (the entry must already stand at unit 4) and returns where the file's
// path starts: at the entry when it begins with a backslash, else at unit 0.
PathChar* PrepareViewerFilePath(PathChar* buffer, int n);
// The units the text takes for an entry of n units, prefix and terminator
// included.
int ViewerTextUnits(int n);
// In place of the path: the entry with its long lines broken, two line
// feeds, then the stream of length k (bytes holds the first 64 or fewer) as
// hex; a stream of any length but 64 is first called malformed, as the
// console calls it. Returns the text to show.
PathChar* FinishViewerText(PathChar* buffer, int n, const uint8_t* bytes, int k);
