// The digest viewer's text in its one buffer. Pure and portable.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// The digest viewer's layout in one buffer: "\\?\" at units 0 to 3, the list
// entry of n units from unit 4. Writes the prefix and a terminator after the
// entry (the entry must already stand at unit 4) and returns where the file's
// path starts: at the entry when it begins with a backslash, else at unit 0.
PathChar* PrepareViewerFilePath(PathChar* buffer, int n);
// After the entry: two line feeds and the k bytes read. Returns the text to
// show, which starts with the entry.
PathChar* FinishViewerText(PathChar* buffer, int n, const uint8_t* bytes, int k);
