// The runs against a system that misbehaves: the real calls are wrapped at
// link time (--wrap of WriteFileStreams, ReadFileChunk, ReadStream and
// CreateGate), so one file's write can store fewer than 64 bytes, a read can
// fall short or fail, a file can change between two reads of its hash (the
// change made by the wrapper itself, so the order is certain), a digest can
// fail to read, the pause gate can fail to be made, and every write can be
// watched for WriteGuard.
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>

#include <atomic>
#include <string>

#include "engine/whirlpool.h"
#include "gtest/gtest.h"
#include "store/store.h"
#include "tests/store/fixtures_posix.h"
#include "tests/store/recording_services.h"

// The linker wraps the mangled names (MANGLED_WRITE, MANGLED_READ and
// MANGLED_DIGEST_READ, given by the build, which knows the ABI), so the two
// ends are named by them too.
int RealWriteFileStreams(FileHandle, const PathChar*, const uint8_t*, StreamWrite, const uint8_t*, int) asm(
    "__real_" MANGLED_WRITE);
int WrappedWriteFileStreams(FileHandle, const PathChar*, const uint8_t*, StreamWrite, const uint8_t*, int) asm(
    "__wrap_" MANGLED_WRITE);

uint32_t RealReadFileChunk(FileHandle, void*, uint32_t) asm("__real_" MANGLED_READ);
uint32_t WrappedReadFileChunk(FileHandle, void*, uint32_t) asm("__wrap_" MANGLED_READ);

int RealReadStream(FileHandle, const PathChar*, StreamName, uint8_t*, int) asm("__real_" MANGLED_DIGEST_READ);
int WrappedReadStream(FileHandle, const PathChar*, StreamName, uint8_t*, int) asm("__wrap_" MANGLED_DIGEST_READ);

GateHandle RealCreateGate(bool, bool) asm("__real_" MANGLED_CREATE_GATE);
GateHandle WrappedCreateGate(bool, bool) asm("__wrap_" MANGLED_CREATE_GATE);

namespace {
std::atomic<int> ReadsToFail;
// Reads to let through before the change below is made, -1 for none.
std::atomic<int> ReadsBeforeChange{-1};
void (*ChangeFile)();
int ReadErrorToGive;  // errno of a failing read; 0 for an empty read
int DigestReadError;  // errno of every digest read; 0 for the real call
std::string ShortWritePath;
std::atomic<int> WritesSeen;
std::atomic<int> WritesWithoutGuard;
bool RefuseOpenGates;  // gates made signalled (the pause gate) cannot be made
}  // namespace

GateHandle WrappedCreateGate(bool manualReset, bool signalled) {
    if (RefuseOpenGates && signalled) return nullptr;
    return RealCreateGate(manualReset, signalled);
}

int WrappedWriteFileStreams(FileHandle file, const PathChar* path, const uint8_t* digest, StreamWrite how,
                            const uint8_t* record, int recordLength) {
    ++WritesSeen;
    if (OperationState.WriteGuard.load() != 1) ++WritesWithoutGuard;
    if (ShortWritePath == path) {
        // The stream was created (truncating the old digest) but took 40 bytes.
        setxattr(path, "user.z", digest, 40, 0);
        CloseFile(file);
        errno = ENOSPC;
        return -1;
    }
    return RealWriteFileStreams(file, path, digest, how, record, recordLength);
}

// A read error: the read delivers nothing, as ReadFile does when it fails.
uint32_t WrappedReadFileChunk(FileHandle file, void* buffer, uint32_t size) {
    if (ReadsBeforeChange >= 0 && ReadsBeforeChange-- == 0) ChangeFile();
    if (ReadsToFail > 0) {
        --ReadsToFail;
        errno = ReadErrorToGive;
        return 0;
    }
    return RealReadFileChunk(file, buffer, size);
}

int WrappedReadStream(FileHandle file, const PathChar* path, StreamName stream, uint8_t* bytes, int capacity) {
    if (DigestReadError == 0 || stream != DigestStream) return RealReadStream(file, path, stream, bytes, capacity);
    errno = DigestReadError;
    return DigestStreamUnreadable;
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

// The pause gate could not be made: the shared record is set up all the
// same, and a run, paused or not, goes to its end, since a gate that does not
// exist holds no one.
TEST(GateFaults, RunsWithoutAPauseGateGoToTheirEnd) {
    BuildWhirlpoolTables();
    GateHandle kept = OperationState.PauseGate;
    OperationState.PauseGate = nullptr;
    RefuseOpenGates = true;
    ResetRecording(false);
    EXPECT_EQ(OperationState.PauseGate, nullptr);
    std::string root = MakeTempFolder();
    ASSERT_FALSE(root.empty());
    WriteBytes(root + "/a", std::string(200000, 'a'));
    ASSERT_TRUE(ParseTargets(root.c_str()));
    ASSERT_TRUE(RunAndWait(List));
    ASSERT_TRUE(RunWriteAndWait(Create, UnhashedList));
    ResetRecording(true);
    ResetGate(OperationState.PauseGate);
    ASSERT_TRUE(ParseTargets(root.c_str()));
    ASSERT_TRUE(RunAndWait(Check));
    EXPECT_EQ(Recorded.closingText, "All files checked successfully.");
    RefuseOpenGates = false;
    OperationState.PauseGate = kept;
    RemoveTree(root);
}

// ---- a file changed while it is hashed ------------------------------------

std::string Changing;  // the file the wrapper changes

void AppendToFile() {
    std::string bytes = ReadBytes(Changing);
    WriteBytes(Changing, bytes + "appended");
}

void OverwriteInPlace() {
    int fd = open(Changing.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, "X", 1, 10), 1);
    close(fd);
}

// The silent kind: same size, and the last-write time put back.
void OverwriteAndPutTimeBack() {
    struct timespec old = MTimeOf(Changing);
    int fd = open(Changing.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, "Y", 1, 20), 1);
    close(fd);
    SetMTime(Changing, old);
}

void RenameOver() {
    WriteBytes(Changing + ".new", std::string(300000, 'n'));
    ASSERT_EQ(rename((Changing + ".new").c_str(), Changing.c_str()), 0);
}

// Only the metadata: the change time moves, the contents stay.
void ChangeMode() { ASSERT_EQ(chmod(Changing.c_str(), 0640), 0); }

struct ChangeCase {
    const char* name;
    void (*change)();
    bool checkSeesIt;
    bool writeRefused;  // no digest for the file the list names
    bool timeMoves;     // the change leaves a last-write time of its own
};

const ChangeCase ChangeCases[] = {
    {"appended", AppendToFile, true, true, true},
    {"overwritten in place", OverwriteInPlace, true, true, true},
    {"overwritten with its time put back", OverwriteAndPutTimeBack, true, true, false},
    // The opened file is read whole as it was opened; its name is another's now.
    {"renamed over", RenameOver, false, true, true},
    {"mode changed", ChangeMode, false, false, false},
};

class ChangedWhileRead : public ::testing::TestWithParam<ChangeCase> {
protected:
    void SetUp() override {
        BuildWhirlpoolTables();
        ResetRecording(false);
        root = MakeTempFolder();
        ASSERT_FALSE(root.empty());
        Changing = root + "/big";
        // Three reads of 64 KiB and more; an old mtime, so that any write shows.
        WriteBytes(Changing, std::string(300000, 'o'));
        SetMTime(Changing, old);
    }
    void TearDown() override {
        ReadsBeforeChange = -1;
        RemoveTree(root);
    }
    void ListAndArm(OperationMode mode) {
        ASSERT_TRUE(ParseTargets(root.c_str()));
        ASSERT_TRUE(RunAndWait(mode));
        ResetRecording(true);
        ChangeFile = GetParam().change;
        ReadsBeforeChange = 1;
    }
    void ExpectNamedAsChanged() {
        ASSERT_EQ(Recorded.reports.size(), 1u);
        EXPECT_EQ(Recorded.reports[0].verdict, VerdictChanged);
        EXPECT_EQ(Recorded.reports[0].path, Changing);
    }
    std::string root;
    struct timespec old = {1000000000, 5};
};

TEST_P(ChangedWhileRead, CreateWritesNoDigest) {
    ListAndArm(List);
    ASSERT_TRUE(RunWriteAndWait(Create, UnhashedList));
    if (!GetParam().writeRefused) {
        ASSERT_EQ(Recorded.reports.size(), 1u);
        EXPECT_EQ(Recorded.reports[0].verdict, VerdictWritten);
        EXPECT_EQ(Recorded.closingText, "Ready.");
        return;
    }
    ExpectNamedAsChanged();
    EXPECT_EQ(Recorded.closingText, "1 hash could not be written.");
    EXPECT_EQ(ListSnapshot(UnhashedList), std::vector<std::string>({Changing}));
    std::string digest;
    EXPECT_FALSE(GetRawDigest(Changing, &digest));
    // The edit's own time stays: nothing sets the file's time back.
    if (GetParam().timeMoves) {
        EXPECT_FALSE(SameTime(MTimeOf(Changing), old));
    }
}

TEST_P(ChangedWhileRead, RewriteKeepsTheOldDigest) {
    ASSERT_TRUE(ParseTargets(root.c_str()));
    ASSERT_TRUE(RunAndWait(List));
    ASSERT_TRUE(RunWriteAndWait(Create, UnhashedList));
    std::string before;
    ASSERT_TRUE(GetRawDigest(Changing, &before));
    WriteBytes(Changing, std::string(300000, 'a'));
    SetMTime(Changing, old);
    ResetRecording(false);
    ListAndArm(Check);
    ASSERT_EQ(ListSnapshot(AlteredList), std::vector<std::string>({Changing}));
    ReadsBeforeChange = 1;
    ASSERT_TRUE(RunWriteAndWait(Rewrite, AlteredList));
    if (!GetParam().writeRefused) {
        EXPECT_EQ(Recorded.closingText, "Ready.");
        return;
    }
    ExpectNamedAsChanged();
    EXPECT_EQ(Recorded.closingText, "1 hash could not be written.");
    std::string after;
    // The old digest where the file was edited, none on a file renamed over.
    if (GetRawDigest(Changing, &after)) {
        EXPECT_EQ(after, before);
    }
    if (GetParam().timeMoves) {
        EXPECT_FALSE(SameTime(MTimeOf(Changing), old));
    }
}

TEST_P(ChangedWhileRead, CheckSaysChangedNotAltered) {
    ASSERT_TRUE(ParseTargets(root.c_str()));
    ASSERT_TRUE(RunAndWait(List));
    ASSERT_TRUE(RunWriteAndWait(Create, UnhashedList));
    ResetRecording(false);
    ASSERT_TRUE(ParseTargets(root.c_str()));
    ChangeFile = GetParam().change;
    // The size pass reads nothing; the second read of the check changes it.
    ReadsBeforeChange = 1;
    ASSERT_TRUE(RunAndWait(Check));
    EXPECT_TRUE(ListSnapshot(AlteredList).empty());
    if (GetParam().checkSeesIt) {
        ExpectNamedAsChanged();
        EXPECT_EQ(Recorded.closingText, "1 file could not be read.");
    } else {
        // The file opened is checked whole, as it was when opened.
        EXPECT_TRUE(Recorded.reports.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Changes, ChangedWhileRead, ::testing::ValuesIn(ChangeCases),
                         [](const ::testing::TestParamInfo<ChangeCase>& info) {
                             std::string name = info.param.name;
                             for (char& c : name) {
                                 if (c == ' ') c = '_';
                             }
                             return name;
                         });

// ---- reads and digests that fail --------------------------------------------

struct FailureCase {
    const char* name;
    int readError;    // errno of the failing content read (0: an empty read)
    int digestError;  // errno of the digest read (0: none)
};

const FailureCase FailureCases[] = {
    {"read EIO", EIO, 0},
    {"read falls short", 0, 0},
    {"digest EIO", 0, EIO},
    {"digest EACCES", 0, EACCES},
};

class FailingReads : public ::testing::TestWithParam<FailureCase> {};

// A check that cannot read the contents or the digest names the file
// unreadable, never altered and never passed; no digest is written over.
TEST_P(FailingReads, CheckCallsTheFileUnreadable) {
    BuildWhirlpoolTables();
    ResetRecording(false);
    std::string root = MakeTempFolder();
    ASSERT_FALSE(root.empty());
    std::string file = root + "/f";
    WriteBytes(file, std::string(200000, 'f'));
    ASSERT_TRUE(ParseTargets(root.c_str()));
    ASSERT_TRUE(RunAndWait(List));
    ASSERT_TRUE(RunWriteAndWait(Create, UnhashedList));

    ResetRecording(false);
    ASSERT_TRUE(ParseTargets(root.c_str()));
    bool digestFails = GetParam().digestError != 0;
    DigestReadError = GetParam().digestError;
    ReadErrorToGive = GetParam().readError;
    // The first read goes through: the failure lands in the middle.
    ChangeFile = [] { ReadsToFail = 1; };
    ReadsBeforeChange = digestFails ? -1 : 1;
    ASSERT_TRUE(RunAndWait(Check));
    DigestReadError = 0;
    ReadsToFail = 0;
    ReadsBeforeChange = -1;
    EXPECT_TRUE(ListSnapshot(AlteredList).empty());
    EXPECT_TRUE(ListSnapshot(UnhashedList).empty());
    EXPECT_EQ(Recorded.unreadable, std::vector<std::string>({file}));
    ASSERT_EQ(Recorded.reports.size(), 1u);
    int expected = digestFails ? GetParam().digestError : GetParam().readError ? GetParam().readError : ErrorShortRead;
    EXPECT_EQ(Recorded.reports[0].error, expected);
    EXPECT_EQ(Recorded.closingText, "1 file could not be read.");
    RemoveTree(root);
}

INSTANTIATE_TEST_SUITE_P(Failures, FailingReads, ::testing::ValuesIn(FailureCases),
                         [](const ::testing::TestParamInfo<FailureCase>& info) {
                             std::string name = info.param.name;
                             for (char& c : name) {
                                 if (c == ' ') c = '_';
                             }
                             return name;
                         });

}  // namespace
