#include "ui/viewer_text.h"

#include "store/path_rules.h"

void AppendDigestHex(PathChar* text, const uint8_t* bytes, int count) {
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < count; ++i) {
        text[3 * i] = static_cast<PathChar>(digits[bytes[i] >> 4]);
        text[3 * i + 1] = static_cast<PathChar>(digits[bytes[i] & 15]);
        text[3 * i + 2] = (i + 1) % 16 == 0 ? PathChar('\n') : PathChar(' ');
    }
    text[3 * (count > 0 ? count : 0)] = 0;
}

// The Windows long-path prefix, written out here because the viewer's layout
// is the same on every system that runs its tests.
static const PathChar ViewerPrefix[] = {'\\', '\\', '?', '\\'};
const int ViewerPrefixLength = 4;

PathChar* PrepareViewerStreamPath(PathChar* buffer, int n) {
    for (int i = 0; i < ViewerPrefixLength; ++i) buffer[i] = ViewerPrefix[i];
    const PathChar suffix[] = {':', 'z'};
    AppendSuffix(buffer + ViewerPrefixLength, n, suffix, 2);
    return ListLayoutPath(buffer, ViewerPrefixLength);
}

PathChar* FinishViewerText(PathChar* buffer, int n, const uint8_t* bytes, int k) {
    PathChar* end = buffer + ViewerPrefixLength + n;
    end[0] = PathChar('\n');
    end[1] = PathChar('\n');
    AppendDigestHex(end + 2, bytes, k < 0 ? 0 : (k > 64 ? 64 : k));
    return buffer + ViewerPrefixLength;
}
