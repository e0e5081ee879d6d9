#include "ui/viewer_text.h"

void AppendDigestHex(PathChar* text, const uint8_t* bytes, int count) {
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < count; ++i) {
        text[3 * i] = static_cast<PathChar>(digits[bytes[i] >> 4]);
        text[3 * i + 1] = static_cast<PathChar>(digits[bytes[i] & 15]);
        text[3 * i + 2] = (i + 1) % 16 == 0 ? PathChar('\n') : PathChar(' ');
    }
    text[3 * (count > 0 ? count : 0)] = 0;
}
