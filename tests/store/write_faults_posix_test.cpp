// The writing run against a system that misbehaves: the real calls are wrapped
// at link time (--wrap of WriteDigestStream and ReadFileChunk), so one file's
// write can store fewer than 64 bytes, a read can fall short, and every write
// can be watched for WriteGuard.
#include <sys/xattr.h>

#include <atomic>
#include <string>

#include "engine/whirlpool.h"
#include "gtest/gtest.h"
#include "store/store.h"
#include "tests/store/fixtures_posix.h"
#include "tests/store/recording_services.h"

// The linker wraps the mangled name, so the two ends are named by it too.
#define MANGLED_WRITE "_Z17WriteDigestStreamlPKcPKh"
int RealWriteDigestStream(FileHandle, const PathChar*, const uint8_t*) asm("__real_" MANGLED_WRITE);
int WrappedWriteDigestStream(FileHandle, const PathChar*, const uint8_t*) asm("__wrap_" MANGLED_WRITE);

#define MANGLED_READ "_Z13ReadFileChunklPvj"
uint32_t RealReadFileChunk(FileHandle, void*, uint32_t) asm("__real_" MANGLED_READ);
uint32_t WrappedReadFileChunk(FileHandle, void*, uint32_t) asm("__wrap_" MANGLED_READ);

namespace {
std::atomic<int> ReadsToFail;
std::string ShortWritePath;
std::atomic<int> WritesSeen;
std::atomic<int> WritesWithoutGuard;
}  // namespace

int WrappedWriteDigestStream(FileHandle file, const PathChar* streamPath, const uint8_t digest[64]) {
    ++WritesSeen;
    if (OperationState.WriteGuard.load() != 1) ++WritesWithoutGuard;
    if (ShortWritePath == streamPath) {
        // The stream was created (truncating the old digest) but took 40 bytes.
        setxattr(streamPath, "user.z", digest, 40, 0);
        return 40;
    }
    return RealWriteDigestStream(file, streamPath, digest);
}

// A read error: the read delivers nothing, as ReadFile does when it fails.
uint32_t WrappedReadFileChunk(FileHandle file, void* buffer, uint32_t size) {
    if (ReadsToFail > 0) {
        --ReadsToFail;
        return 0;
    }
    return RealReadFileChunk(file, buffer, size);
}

namespace {

TEST(WriteFaults, ShortWriteIsAFailureAndEveryWriteHoldsTheGuard) {
    BuildWhirlpoolTables();
    ResetRecording(false);
    std::string root = MakeTempFolder();
    ASSERT_FALSE(root.empty());
    WriteBytes(root + "/a", "a");
    WriteBytes(root + "/b", "b");
    WriteBytes(root + "/c", "c");
    ShortWritePath = root + "/b";

    ASSERT_TRUE(ParseTargets((root + "/a " + root + "/b " + root + "/c").c_str()));
    ASSERT_TRUE(RunAndWait(List));
    ResetRecording(true);
    ASSERT_TRUE(RunWriteAndWait(Create, UnhashedList));
    EXPECT_EQ(WritesSeen.load(), 3);
    EXPECT_EQ(WritesWithoutGuard.load(), 0);
    EXPECT_EQ(OperationState.WriteGuard.load(), 0);
    EXPECT_EQ(Recorded.closingText, "1 hash could not be written.");
    EXPECT_EQ(ListSnapshot(UnhashedList), std::vector<std::string>({root + "/b"}));
    EXPECT_EQ(ListSnapshot(HashedList), std::vector<std::string>({root + "/a", root + "/c"}));

    // What the short write left behind is no digest: a check finds it malformed,
    // listed with the altered files.
    ShortWritePath.clear();
    ResetRecording(true);
    ASSERT_TRUE(ParseTargets(root.c_str()));
    ASSERT_TRUE(RunAndWait(Check));
    EXPECT_EQ(ListSnapshot(AlteredList), std::vector<std::string>({root + "/b"}));
    RemoveTree(root);
}

TEST(WriteFaults, ReadErrorStoresNoDigest) {
    BuildWhirlpoolTables();
    ResetRecording(false);
    std::string root = MakeTempFolder();
    ASSERT_FALSE(root.empty());
    WriteBytes(root + "/old", std::string(1000, 'o'));
    ASSERT_TRUE(ParseTargets(root.c_str()));
    ASSERT_TRUE(RunAndWait(List));
    ASSERT_TRUE(RunWriteAndWait(Create, UnhashedList));
    std::string before;
    ASSERT_TRUE(GetRawDigest(root + "/old", &before));

    // Rewrite while the file cannot be read: the old digest stays as it was.
    WriteBytes(root + "/old", std::string(1000, 'n'));
    ResetRecording(true);
    ASSERT_TRUE(ParseTargets(root.c_str()));
    ASSERT_TRUE(RunAndWait(Check));
    ASSERT_EQ(ListSnapshot(AlteredList).size(), 1u);
    ReadsToFail = 1;
    ASSERT_TRUE(RunWriteAndWait(Rewrite, AlteredList));
    EXPECT_EQ(Recorded.closingText, "1 hash could not be written.");
    EXPECT_EQ(ListSnapshot(AlteredList), std::vector<std::string>({root + "/old"}));
    std::string after;
    ASSERT_TRUE(GetRawDigest(root + "/old", &after));
    EXPECT_EQ(after, before);

    // Readable again, the rewrite goes through.
    ASSERT_TRUE(RunWriteAndWait(Rewrite, AlteredList));
    EXPECT_EQ(Recorded.closingText, "Ready.");
    ASSERT_TRUE(GetRawDigest(root + "/old", &after));
    EXPECT_NE(after, before);
    RemoveTree(root);
}

}  // namespace
