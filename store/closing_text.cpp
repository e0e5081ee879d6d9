#include <cstdio>

#include "store/store.h"

void FormatCountText(PathChar* out, int capacity, const char* format, int count, const char* plural) {
    // The texts are ASCII: format narrow, then widen unit by unit.
    char narrow[128];
    int n = std::snprintf(narrow, sizeof narrow, format, count, count <= 1 ? "" : plural);
    if (n < 0) n = 0;
    if (n > capacity - 1) n = capacity - 1;
    if (n > static_cast<int>(sizeof narrow) - 1) n = static_cast<int>(sizeof narrow) - 1;
    for (int i = 0; i < n; ++i) out[i] = static_cast<PathChar>(narrow[i]);
    out[n] = 0;
}
