// The digest viewer's text: the stream path it opens and the hexadecimal lines.
#include <cstdint>

#include "gtest/gtest.h"
#include "store/front_end_text.h"
#include "ui/viewer_text.h"

namespace {

// The viewer's buffer with the entry standing at unit 4.
struct ViewerBuffer {
    PathChar units[512];
    int n;
    explicit ViewerBuffer(const PathChar* entry) {
        n = 0;
        for (; entry[n]; ++n) units[4 + n] = entry[n];
        units[4 + n] = 0;
    }
};

PathString HexOf(int count, int first = 0) {
    uint8_t bytes[80];
    for (int i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
    PathChar text[256];
    AppendDigestHex(bytes, count, text);
    return text;
}

TEST(ViewerText, SixtyFourBytesGiveFourLinesOfSixteen) {
    EXPECT_EQ(HexOf(64),
              PT("00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\n"
                 "10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F\n"
                 "20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F\n"
                 "30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F\n"));
}

TEST(ViewerText, TwentyBytesEndWithABlank) {
    EXPECT_EQ(HexOf(20), PT("00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\n10 11 12 13 "));
    EXPECT_EQ(HexOf(2, 0xF0), PT("F0 F1 "));
    EXPECT_EQ(HexOf(0), PT(""));
}

TEST(ViewerText, FilePathOfADrivePathCarriesThePrefix) {
    ViewerBuffer b(PT("C:\\data\\a.bin"));
    EXPECT_EQ(PathString(PrepareViewerFilePath(b.units, b.n)), PT("\\\\?\\C:\\data\\a.bin"));
}

TEST(ViewerText, FilePathOfAUncPathIsTheEntryItself) {
    ViewerBuffer b(PT("\\\\server\\share\\a.bin"));
    EXPECT_EQ(PathString(PrepareViewerFilePath(b.units, b.n)), PT("\\\\server\\share\\a.bin"));
}

TEST(ViewerText, TheBoxShowsTheEntryAnEmptyLineAndTheBytes) {
    ViewerBuffer b(PT("C:\\data\\a.bin"));
    PrepareViewerFilePath(b.units, b.n);
    uint8_t bytes[64];
    for (int i = 0; i < 64; ++i) bytes[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(PathString(FinishViewerText(b.units, b.n, bytes, 64)), PT("C:\\data\\a.bin\n\n") + HexOf(64));
    // Any other length is called malformed; the bytes of the first 64 follow.
    EXPECT_EQ(PathString(FinishViewerText(b.units, b.n, bytes, 0)), PT("C:\\data\\a.bin\n\nmalformed digest of 0 bytes:\n"));
    EXPECT_EQ(PathString(FinishViewerText(b.units, b.n, bytes, 20)),
              PT("C:\\data\\a.bin\n\nmalformed digest of 20 bytes:\n") + HexOf(20));
    EXPECT_EQ(PathString(FinishViewerText(b.units, b.n, bytes, 100)),
              PT("C:\\data\\a.bin\n\nmalformed digest of 100 bytes:\n") + HexOf(64));
}

TEST(ViewerText, ALongPathIsBrokenAfterASeparatorOrAtTheWidth) {
    PathString folder(50, PathChar('d')), name(70, PathChar('n'));
    ViewerBuffer b((PT("C:\\") + folder + PT("\\") + name).c_str());
    PrepareViewerFilePath(b.units, b.n);
    uint8_t bytes[64];
    for (int i = 0; i < 64; ++i) bytes[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(PathString(FinishViewerText(b.units, b.n, bytes, 64)),
              PT("C:\\") + folder + PT("\\\n") + name.substr(0, ViewerLineUnits) + PT("\n") +
                  name.substr(ViewerLineUnits) + PT("\n\n") + HexOf(64));
}

}  // namespace
