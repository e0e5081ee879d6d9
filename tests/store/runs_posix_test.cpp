// Check, List, Remove, Create and Rewrite on real files with real extended
// attributes, each run on its worker thread, through the recording front end.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/whirlpool.h"
#include "gtest/gtest.h"
#include "store/store.h"
#include "tests/store/fixtures_posix.h"
#include "tests/store/recording_services.h"

namespace {

class RunsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { BuildWhirlpoolTables(); }
    void SetUp() override {
        ResetRecording(false);
        root = MakeTempFolder();
        ASSERT_FALSE(root.empty());
        // Extended attributes must work here, or nothing below means anything.
        WriteBytes(root + "/probe", "x");
        SetRawDigest(root + "/probe", "y");
        std::string value;
        if (!GetRawDigest(root + "/probe", &value)) {
            GTEST_SKIP() << "no user xattrs in " << root.substr(0, root.rfind('/')) << " (TMPDIR)";
        }
        unlink((root + "/probe").c_str());
    }
    void TearDown() override {
        RestoreFileCapabilities();
        RemoveTree(root);
    }
    std::string Path(const std::string& name) const { return root + "/" + name; }
    bool Targets(const std::string& text) {
        ResetRecording(true);
        OperationState.HashThreads = hashThreads;
        return ParseTargets(text.c_str());
    }
    std::vector<std::string> Entries(ResultList list) { return ListSnapshot(list); }
    std::vector<std::string> Sorted(ResultList list) {
        std::vector<std::string> entries = Entries(list);
        std::sort(entries.begin(), entries.end());
        return entries;
    }
    void Run(const std::string& targets, OperationMode mode) {
        ASSERT_TRUE(Targets(targets));
        ASSERT_TRUE(RunAndWait(mode));
    }
    void Write(OperationMode mode, ResultList source) {
        ResetRecording(true);
        OperationState.HashThreads = hashThreads;
        ASSERT_TRUE(RunWriteAndWait(mode, source));
    }
    std::string root;
    int hashThreads = 1;
};

std::vector<std::string> Names(std::initializer_list<std::string> names) { return names; }

TEST_F(RunsTest, CreateCheckAlterRewriteRemoveRoundTrip) {
    WriteBytes(Path("a.txt"), "alpha");
    WriteBytes(Path("b.bin"), std::string(200000, 'b'));
    WriteBytes(Path("empty"), "");
    setxattr(Path("a.txt").c_str(), "user.other", "keep", 4, 0);
    struct timespec old = {1000000000, 123456789};
    for (const char* name : {"a.txt", "b.bin", "empty"}) SetMTime(Path(name), old);

    Run(root, List);
    EXPECT_TRUE(Entries(HashedList).empty());
    EXPECT_EQ(Sorted(UnhashedList), Names({Path("a.txt"), Path("b.bin"), Path("empty")}));
    EXPECT_EQ(Recorded.closingText, "Ready.");

    Write(Create, UnhashedList);
    EXPECT_TRUE(Entries(UnhashedList).empty());
    EXPECT_EQ(Sorted(HashedList), Names({Path("a.txt"), Path("b.bin"), Path("empty")}));
    EXPECT_EQ(Recorded.closingText, "Ready.");
    std::string digest;
    ASSERT_TRUE(GetRawDigest(Path("b.bin"), &digest));
    EXPECT_EQ(digest.size(), 64u);
    for (const char* name : {"a.txt", "b.bin", "empty"}) EXPECT_TRUE(SameTime(MTimeOf(Path(name)), old)) << name;

    Run(root, Check);
    EXPECT_TRUE(Entries(AlteredList).empty());
    EXPECT_TRUE(Entries(UnhashedList).empty());
    EXPECT_EQ(Recorded.closingText, "All files checked successfully.");
    EXPECT_EQ(OperationState.BytesDone.load(), 200005u);
    EXPECT_EQ(OperationState.BytesTotal.load(), 200005u);

    // One byte changed, size and mtime as before: only the contents tell.
    WriteBytes(Path("b.bin"), std::string(199999, 'b') + "c");
    SetMTime(Path("b.bin"), old);
    Run(root, Check);
    EXPECT_EQ(Entries(AlteredList), Names({Path("b.bin")}));
    EXPECT_EQ(Recorded.closingText, "Ready.");

    Write(Rewrite, AlteredList);
    EXPECT_TRUE(Entries(AlteredList).empty());
    EXPECT_EQ(Recorded.closingText, "Ready.");
    EXPECT_TRUE(SameTime(MTimeOf(Path("b.bin")), old));
    Run(root, Check);
    EXPECT_TRUE(Entries(AlteredList).empty());
    EXPECT_EQ(Recorded.closingText, "All files checked successfully.");

    Run(root, Remove);
    EXPECT_EQ(Recorded.closingText, "Ready.");
    EXPECT_TRUE(Entries(HashedList).empty());
    EXPECT_EQ(Entries(UnhashedList).size(), 3u);
    for (const char* name : {"a.txt", "b.bin", "empty"}) {
        EXPECT_FALSE(GetRawDigest(Path(name), &digest)) << name;
        EXPECT_TRUE(SameTime(MTimeOf(Path(name)), old)) << name;
    }
    char other[8] = {};
    EXPECT_EQ(getxattr(Path("a.txt").c_str(), "user.other", other, sizeof other), 4);
    EXPECT_EQ(std::string(other), "keep");
}

TEST_F(RunsTest, OutcomesOfEachModeAndWhatEachRunKeeps) {
    WriteBytes(Path("plain"), "no digest here");
    WriteBytes(Path("good"), "good");
    WriteBytes(Path("bad"), "bad");
    Run(Path("good") + " " + Path("bad"), List);
    Write(Create, UnhashedList);
    WriteBytes(Path("bad"), "BAD");

    // A listing fills the hashed list; a check must leave it as it was.
    Run(root, List);
    std::vector<std::string> hashed = Sorted(HashedList);
    EXPECT_EQ(hashed, Names({Path("bad"), Path("good")}));
    EXPECT_EQ(Entries(UnhashedList), Names({Path("plain")}));

    Run(root, Check);
    EXPECT_EQ(Entries(AlteredList), Names({Path("bad")}));
    EXPECT_EQ(Entries(UnhashedList), Names({Path("plain")}));
    EXPECT_EQ(Sorted(HashedList), hashed);
    EXPECT_EQ(Recorded.closingText, "Ready. 1 of 1 altered files were edited.");
    // The size pass counts only the files that carry a digest.
    EXPECT_EQ(OperationState.BytesTotal.load(), 7u);
    EXPECT_EQ(OperationState.BytesDone.load(), 7u);
    EXPECT_EQ(Recorded.statusTexts.front(), "Calculating total size...");

    // A listing or removal leaves the altered list alone.
    Run(root, List);
    EXPECT_EQ(Entries(AlteredList), Names({Path("bad")}));
    EXPECT_EQ(OperationState.BytesDone.load(), 0u);
    EXPECT_EQ(Recorded.closingText, "Ready.");

    Run(Path("plain") + " " + Path("good"), Remove);
    EXPECT_EQ(Entries(UnhashedList), Names({Path("plain"), Path("good")}));
    EXPECT_TRUE(Entries(HashedList).empty());
    EXPECT_EQ(Entries(AlteredList), Names({Path("bad")}));

    // No file with a digest: nothing read, the progress never moves.
    Run(Path("plain"), Check);
    EXPECT_EQ(OperationState.BytesTotal.load(), 0u);
    EXPECT_EQ(OperationState.BytesDone.load(), 0u);
    EXPECT_EQ(Entries(UnhashedList), Names({Path("plain")}));
    EXPECT_EQ(Recorded.closingText, "Ready.");
}

TEST_F(RunsTest, StoredValuesShorterOrLongerThanADigest) {
    WriteBytes(Path("short"), "s");
    WriteBytes(Path("long-good"), "l");
    WriteBytes(Path("long-bad"), "m");
    WriteBytes(Path("empty-value"), "e");
    Run(Path("long-good"), List);
    Write(Create, UnhashedList);
    std::string digest;
    ASSERT_TRUE(GetRawDigest(Path("long-good"), &digest));
    SetRawDigest(Path("short"), digest.substr(0, 63));
    SetRawDigest(Path("long-good"), digest + std::string(36, 'x'));
    std::string wrong = digest;
    wrong[5] ^= 1;
    SetRawDigest(Path("long-bad"), wrong + std::string(36, 'x'));
    SetRawDigest(Path("empty-value"), "");

    // Any length but 64 is malformed, a correct head or not: listed as
    // present, checked with the altered files, named as malformed.
    Run(root, List);
    EXPECT_EQ(Entries(HashedList).size(), 4u);
    EXPECT_EQ(Recorded.reports.size(), 4u);
    Run(root, Check);
    EXPECT_EQ(Sorted(AlteredList), Names({Path("empty-value"), Path("long-bad"), Path("long-good"), Path("short")}));
    EXPECT_TRUE(Entries(UnhashedList).empty());
    for (const RecordedReport& report : Recorded.reports) EXPECT_EQ(report.verdict, VerdictMalformed) << report.path;
    EXPECT_EQ(Recorded.reports.size(), 4u);
    EXPECT_EQ(OperationState.BytesDone.load(), 0u);

    // create leaves them; rewrite replaces them with digests of the contents.
    Run(root, List);
    Write(Create, UnhashedList);
    std::string kept;
    ASSERT_TRUE(GetRawDigest(Path("short"), &kept));
    EXPECT_EQ(kept, digest.substr(0, 63));
    Run(root, Check);
    Write(Rewrite, AlteredList);
    EXPECT_EQ(Recorded.closingText, "Ready.");
    Run(root, Check);
    EXPECT_EQ(Recorded.closingText, "All files checked successfully.");
}

TEST_F(RunsTest, ClosingTextsCountUndeletableAndUnwritableDigests) {
    std::vector<std::string> f;
    for (int i = 0; i < 4; ++i) {
        f.push_back(Path("f" + std::to_string(i)));
        WriteBytes(f[i], std::to_string(i));
    }
    const std::string all = f[0] + " " + f[1] + " " + f[2] + " " + f[3];
    Run(all, List);
    Write(Create, UnhashedList);
    // Immutable files refuse every change of their attributes.
    if (!SetImmutable(f[0], true)) GTEST_SKIP() << "cannot make files immutable here";

    Run(all, Remove);
    EXPECT_EQ(Recorded.closingText, "1 hash could not be deleted.");
    EXPECT_EQ(Entries(HashedList), Names({f[0]}));

    for (int i = 1; i < 4; ++i) SetImmutable(f[i], true);
    Run(all, List);
    EXPECT_EQ(Entries(UnhashedList), Names({f[1], f[2], f[3]}));
    Write(Create, UnhashedList);
    EXPECT_EQ(Recorded.closingText, "3 hashes could not be written.");
    EXPECT_EQ(Entries(UnhashedList), Names({f[1], f[2], f[3]}));

    SetImmutable(f[1], false);
    SetImmutable(f[2], false);
    Write(Create, UnhashedList);
    EXPECT_EQ(Recorded.closingText, "1 hash could not be written.");
    EXPECT_EQ(Entries(UnhashedList), Names({f[3]}));
    EXPECT_EQ(Entries(HashedList), Names({f[0], f[1], f[2]}));

    SetImmutable(f[1], true);
    SetImmutable(f[2], true);
    Run(all, Remove);
    EXPECT_EQ(Recorded.closingText, "3 hashes could not be deleted.");
    EXPECT_EQ(Sorted(HashedList), Names({f[0], f[1], f[2]}));
    EXPECT_EQ(Entries(UnhashedList), Names({f[3]}));
    for (int i = 0; i < 4; ++i) SetImmutable(f[i], false);
}

TEST_F(RunsTest, UnreadableFileIsCountedNotPassed) {
    WriteBytes(Path("open"), "o");
    WriteBytes(Path("locked"), "l");
    Run(root, List);
    Write(Create, UnhashedList);
    chmod(Path("locked").c_str(), 0);
    int probe = -1;
    if (!DropFileReadCapabilities() || (probe = open(Path("locked").c_str(), O_RDONLY)) >= 0) {
        if (probe >= 0) close(probe);
        GTEST_SKIP() << "cannot make a file unreadable to this process";
    }
    Run(root, Check);
    RestoreFileCapabilities();
    EXPECT_TRUE(Entries(AlteredList).empty());
    EXPECT_TRUE(Entries(UnhashedList).empty());
    EXPECT_EQ(Recorded.unreadable, Names({Path("locked")}));
    EXPECT_EQ(Recorded.closingText, "1 file could not be read.");
    chmod(Path("locked").c_str(), 0644);
}

TEST_F(RunsTest, WalkIsDepthFirstInEnumerationOrder) {
    mkdir(Path("d").c_str(), 0755);
    WriteBytes(Path("d/f1"), "1");
    WriteBytes(Path("d/f2"), "2");
    mkdir(Path("d/s").c_str(), 0755);
    WriteBytes(Path("d/s/g"), "g");
    mkdir(Path("d/s/t").c_str(), 0755);
    WriteBytes(Path("d/s/t/h"), "h");
    WriteBytes(Path("d/s/z"), "z");

    std::vector<std::string> expected;
    std::vector<std::string> pending = {Path("d")};
    // The expected order, built from the enumeration of each folder.
    struct Walk {
        static void Into(const std::string& folder, std::vector<std::string>* out) {
            for (const std::string& name : EnumerationOrder(folder)) {
                std::string full = folder + "/" + name;
                struct stat st;
                stat(full.c_str(), &st);
                if (S_ISDIR(st.st_mode)) Into(full, out);
                else out->push_back(full);
            }
        }
    };
    Walk::Into(Path("d"), &expected);

    // Without its trailing separator, and with it.
    Run(Path("d"), List);
    EXPECT_EQ(Entries(UnhashedList), expected);
    Run(Path("d") + "/", List);
    EXPECT_EQ(Entries(UnhashedList), expected);
    // A file named twice is visited twice.
    Run(Path("d/f1") + " " + Path("d"), List);
    EXPECT_EQ(Entries(UnhashedList).size(), expected.size() + 1);
}

// Several hashing threads fill the lists in the order of the walk (check) and
// of the source list (create, rewrite), as one does. Large files among small
// ones make the threads finish out of the order they were handed over.
TEST_F(RunsTest, SeveralHashingThreadsKeepTheOrderOfTheWalkAndTheList) {
    for (int i = 0; i < 60; ++i) WriteBytes(Path("f" + std::to_string(i)), std::string(i % 7 ? i * 13 : 400000, 'x'));
    Run(root, List);
    const std::vector<std::string> walk = Entries(UnhashedList);
    ASSERT_EQ(walk.size(), 60u);
    hashThreads = 4;
    Write(Create, UnhashedList);
    EXPECT_EQ(Entries(HashedList), walk);
    std::vector<std::string> altered;
    for (size_t i = 0; i < walk.size(); ++i) {
        if (i % 5 == 4) continue;
        WriteBytes(walk[i], ReadBytes(walk[i]) + "!");
        altered.push_back(walk[i]);
    }
    Run(root, Check);
    EXPECT_EQ(Entries(AlteredList), altered);
    Write(Rewrite, AlteredList);
    EXPECT_TRUE(Entries(AlteredList).empty());
    Run(root, Check);
    EXPECT_EQ(Recorded.closingText, "All files checked successfully.");
}

TEST_F(RunsTest, TargetValidation) {
    WriteBytes(Path("here"), "h");
    EXPECT_FALSE(Targets(""));
    EXPECT_TRUE(Recorded.targetErrors.empty());

    EXPECT_FALSE(Targets(Path("here") + " " + Path("gone") + " " + Path("also-gone")));
    ASSERT_EQ(Recorded.targetErrors.size(), 1u);
    EXPECT_EQ(Recorded.targetErrors[0], "Cannot retrieve properties of\n" + Path("gone"));
    EXPECT_EQ(OperationState.mode.load(), Idle);

    // Blanks inside double quotes belong to the path.
    mkdir(Path("with blank").c_str(), 0755);
    WriteBytes(Path("with blank/x"), "x");
    Run("\"" + Path("with blank") + "\" " + Path("here"), List);
    EXPECT_EQ(Entries(UnhashedList), Names({Path("with blank/x"), Path("here")}));
}

TEST_F(RunsTest, RelativeTargetIsWalkedFromTheCurrentFolder) {
    mkdir(Path("rel").c_str(), 0755);
    WriteBytes(Path("rel/r"), "r");
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(root.c_str()), 0);
    bool parsed = Targets("rel");
    ASSERT_EQ(chdir(previous), 0);
    ASSERT_TRUE(parsed);
    ASSERT_TRUE(RunAndWait(List));
    EXPECT_EQ(Entries(UnhashedList), Names({Path("rel/r")}));
    // "." segments do not show in the entries.
    ASSERT_EQ(chdir(Path("rel").c_str()), 0);
    parsed = Targets(". ./r");
    ASSERT_EQ(chdir(previous), 0);
    ASSERT_TRUE(parsed);
    ASSERT_TRUE(RunAndWait(List));
    EXPECT_EQ(Entries(UnhashedList), Names({Path("rel/r"), Path("rel/r")}));
}

// Links met in the walk are never followed (they may lead out of the target);
// a link named as a target is.
TEST_F(RunsTest, LinksInsideTheTargetAreNotFollowed) {
    mkdir(Path("top").c_str(), 0755);
    mkdir(Path("top/a").c_str(), 0755);
    mkdir(Path("other").c_str(), 0755);
    WriteBytes(Path("top/a/f"), "f");
    WriteBytes(Path("other/o"), "o");
    ASSERT_EQ(symlink(Path("top").c_str(), Path("top/a/up").c_str()), 0);
    ASSERT_EQ(symlink(Path("other").c_str(), Path("top/side").c_str()), 0);
    ASSERT_EQ(symlink(Path("top/a/f").c_str(), Path("top/flink").c_str()), 0);
    ASSERT_EQ(symlink(Path("nowhere").c_str(), Path("top/dangling").c_str()), 0);
    Run(Path("top"), List);
    EXPECT_EQ(Sorted(UnhashedList), Names({Path("top/a/f")}));
    EXPECT_EQ(Recorded.reports.size(), 1u);
    Run(Path("top/side") + " " + Path("top/flink"), List);
    EXPECT_EQ(Entries(UnhashedList), Names({Path("top/side/o"), Path("top/flink")}));
}

TEST_F(RunsTest, FifosSocketsAndDevicesAreNoFiles) {
    WriteBytes(Path("real"), "r");
    ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0644), 0);
    Run(root, List);
    EXPECT_EQ(Entries(UnhashedList), Names({Path("real")}));
    Write(Create, UnhashedList);
    // Named directly, a FIFO, socket or device is no file: named, never passed.
    Run(Path("pipe") + " " + Path("real"), Check);
    EXPECT_TRUE(Entries(UnhashedList).empty());
    EXPECT_EQ(Recorded.unreadable, Names({Path("pipe")}));
    EXPECT_EQ(Recorded.closingText, "1 file could not be read.");
    Run("/dev/null", Check);
    EXPECT_EQ(Recorded.unreadable, Names({"/dev/null"}));
    EXPECT_EQ(Recorded.reports[0].error, ErrorNotRegularFile);
    EXPECT_EQ(Recorded.closingText, "1 file could not be read.");
}

TEST_F(RunsTest, DeepTreeDoesNotExhaustTheWorkerStack) {
    // Far deeper than a recursive walk with a frame per level could go on a
    // small stack, and as deep as the system's path limit lets us build.
    std::string folder = root;
    int depth = 0;
    while (folder.size() + 4 < 4000) {
        folder += "/d";
        if (mkdir(folder.c_str(), 0755) != 0) break;
        ++depth;
    }
    WriteBytes(folder + "/leaf", "leaf");
    Run(root, List);
    EXPECT_GT(depth, 1900);
    EXPECT_EQ(Entries(UnhashedList), Names({folder + "/leaf"}));
}

TEST_F(RunsTest, PausedCheckWaitsBeforeItsNextRead) {
    WriteBytes(Path("big"), std::string(3 * 65536, 'p'));
    Run(root, List);
    Write(Create, UnhashedList);
    ASSERT_TRUE(Targets(root));
    ResetGate(OperationState.PauseGate);
    OperationState.Paused = 1;
    OperationState.mode = Check;
    ASSERT_TRUE(StartCheckRun());
    EXPECT_FALSE(WaitForClose(300));
    EXPECT_EQ(OperationState.BytesDone.load(), 0u);
    EXPECT_EQ(OperationState.mode.load(), Check);
    SetGate(OperationState.PauseGate);
    ASSERT_TRUE(WaitForClose(20000));
    EXPECT_EQ(OperationState.BytesDone.load(), 3u * 65536u);
    EXPECT_EQ(OperationState.Paused.load(), 0);
    EXPECT_EQ(Recorded.closingText, "All files checked successfully.");
}

TEST_F(RunsTest, NoDigestWriteBeginsOnceExitIsConfirmed) {
    WriteBytes(Path("x"), "x");
    Run(root, List);
    ResetRecording(true);
    RequestExitAndWaitForWrites();
    OperationState.mode = Create;
    ASSERT_TRUE(StartWriteRun(UnhashedList));
    // The worker stops before creating the stream and asks nothing more.
    SleepMilliseconds(200);
    std::string digest;
    EXPECT_FALSE(GetRawDigest(Path("x"), &digest));
    EXPECT_FALSE(Recorded.closed);
    EXPECT_EQ(OperationState.WriteGuard.load(), 0);
}

TEST_F(RunsTest, FileSystemWithoutExtendedAttributes) {
    std::string mount = Path("mnt");
    mkdir(mount.c_str(), 0755);
    std::string command = "mount -t ramfs ramfs '" + mount + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) GTEST_SKIP() << "cannot mount a ramfs here";
    WriteBytes(mount + "/f", "f");
    SetRawDigest(mount + "/f", "probe");
    std::string value;
    bool hasXattrs = GetRawDigest(mount + "/f", &value);
    if (!hasXattrs) {
        Run(mount, List);
        EXPECT_EQ(Entries(UnhashedList), Names({mount + "/f"}));
        Write(Create, UnhashedList);
        EXPECT_EQ(Recorded.closingText, "1 hash could not be written.");
        EXPECT_EQ(Entries(UnhashedList), Names({mount + "/f"}));
        Run(mount, Check);
        EXPECT_EQ(Entries(UnhashedList), Names({mount + "/f"}));
    }
    std::system(("umount '" + mount + "'").c_str());
    if (hasXattrs) GTEST_SKIP() << "ramfs keeps user xattrs on this kernel";
}

// The build folder sits on the machine's ordinary disk (ext4 here), whose
// folder offsets are 64-bit hashes: a 32-bit build without large-file offsets
// lists such a folder as empty.
TEST_F(RunsTest, WalkOfAFolderOnTheWorkingDiskFindsEveryFile) {
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    std::string folder = std::string(here) + "/walk-on-disk";
    RemoveTree(folder);
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    std::vector<std::string> expected;
    for (int i = 0; i < 300; ++i) {
        expected.push_back(folder + "/f" + std::to_string(i));
        WriteBytes(expected.back(), "x");
    }
    std::sort(expected.begin(), expected.end());
    Run(folder, List);
    EXPECT_EQ(Sorted(UnhashedList), expected);
    RemoveTree(folder);
}

}  // namespace
