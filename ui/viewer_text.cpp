#include "ui/viewer_text.h"

#include "store/front_end_text.h"
#include "store/path_rules.h"

// The Windows long-path prefix, written out here because the viewer's layout
// is the same on every system that runs its tests.
static const PathChar ViewerPrefix[] = {'\\', '\\', '?', '\\'};
const int ViewerPrefixLength = 4;

PathChar* PrepareViewerFilePath(PathChar* buffer, int n) {
    for (int i = 0; i < ViewerPrefixLength; ++i) buffer[i] = ViewerPrefix[i];
    buffer[ViewerPrefixLength + n] = 0;
    return ListLayoutPath(buffer, ViewerPrefixLength);
}

PathChar* FinishViewerText(PathChar* buffer, int n, const uint8_t* bytes, int k) {
    PathChar* end = buffer + ViewerPrefixLength + n;
    end[0] = PathChar('\n');
    end[1] = PathChar('\n');
    AppendDigestHex(bytes, k < 0 ? 0 : (k > 64 ? 64 : k), end + 2);
    return buffer + ViewerPrefixLength;
}
