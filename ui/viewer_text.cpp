#include "ui/viewer_text.h"

#include "store/front_end_text.h"
#include "store/path_rules.h"

// The Windows long-path prefix, written out here because the viewer's layout
// is the same on every system that runs its tests.
static const PathChar ViewerPrefix[] = {'\\', '\\', '?', '\\'};
const int ViewerPrefixLength = 4;
static const char MalformedLead[] = "malformed digest of ";
const int MalformedUnits = 48;  // the lead, ten digits, " bytes:\n"

PathChar* PrepareViewerFilePath(PathChar* buffer, int n) {
    for (int i = 0; i < ViewerPrefixLength; ++i) buffer[i] = ViewerPrefix[i];
    buffer[ViewerPrefixLength + n] = 0;
    return ListLayoutPath(buffer, ViewerPrefixLength);
}

int ViewerTextUnits(int n) { return ViewerPrefixLength + n + n / ViewerLineUnits + 2 + MalformedUnits + 3 * 64 + 1; }

// Each line of at most ViewerLineUnits units, cut after its last separator.
static int BreakLongLines(const PathString& entry, PathChar* out) {
    int written = 0, start = 0, size = static_cast<int>(entry.size());
    while (size - start > ViewerLineUnits) {
        int cut = start + ViewerLineUnits;
        for (int i = cut - 1; i > start; --i) {
            if (entry[i] == PathChar('\\') || entry[i] == PathChar('/')) {
                cut = i + 1;
                break;
            }
        }
        for (int i = start; i < cut; ++i) out[written++] = entry[i];
        out[written++] = PathChar('\n');
        start = cut;
    }
    for (int i = start; i < size; ++i) out[written++] = entry[i];
    return written;
}

static int WriteAscii(const char* text, PathChar* out) {
    int n = 0;
    for (; text[n]; ++n) out[n] = static_cast<PathChar>(text[n]);
    return n;
}

PathChar* FinishViewerText(PathChar* buffer, int n, const uint8_t* bytes, int k) {
    PathChar* text = buffer + ViewerPrefixLength;
    PathChar* end = text + BreakLongLines(PathString(text, static_cast<size_t>(n)), text);
    *end++ = PathChar('\n');
    *end++ = PathChar('\n');
    if (k != 64) {
        char count[16];
        int digits = 0;
        for (unsigned value = k < 0 ? 0u : static_cast<unsigned>(k); digits == 0 || value > 0; value /= 10) {
            count[digits++] = static_cast<char>('0' + value % 10);
        }
        end += WriteAscii(MalformedLead, end);
        while (digits > 0) *end++ = static_cast<PathChar>(count[--digits]);
        end += WriteAscii(" bytes:\n", end);
    }
    AppendDigestHex(bytes, k < 0 ? 0 : (k > 64 ? 64 : k), end);
    return text;
}
