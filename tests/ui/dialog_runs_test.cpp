// Whole runs through the real dialog on a temporary folder, with the digest
// streams held by the test double: List Files, Create, Check, Rewrite,
// Remove, their closing texts and enabling; the boxes; Pause and Resume; the
// digest viewer; the end of a run as one step.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>

#include "store/operation_state.h"
#include "tests/ui/dialog_harness.h"
#include "tests/ui/stream_double.h"
#include "ui/resource_ids.h"
#include "ui/window.h"

namespace {

// Whirlpool of "abc" (ISO/IEC 10118-3 test vector).
const char AbcDigest[] =
    "4e2448a4c6f486bb16b6562c73b4020bf3043e3a731bce721ae1b303d97e6d4c"
    "7181eebdb6c57e277d0e34957114cbd6c797fc9d95d8b582d225292076d4eef5";

std::vector<std::wstring> Sorted(std::vector<std::wstring> items) {
    std::sort(items.begin(), items.end());
    return items;
}

class RunTest : public DialogTest {
protected:
    TempFolder folder;
    std::wstring a, b, c;

    void SetUp() override {
        DialogTest::SetUp();
        if (IsSkipped()) return;
        a = folder.Write(L"a.txt", "abc");
        b = folder.Write(L"b.bin", std::string(200000, 'b'));
        c = folder.Write(L"sub\\c.txt", "hello");
        ASSERT_TRUE(Open(L"Quorvane.exe"));
        SetField(folder.path);
    }

    std::vector<std::wstring> Items(int id) { return Sorted(ListItems(Item(id))); }
    std::wstring Status() { return TextOf(Item(StatusTextId)); }
    bool Enabled(int id) { return IsWindowEnabled(Item(id)) != FALSE; }
    bool Visible(int id) { return IsWindowVisible(Item(id)) != FALSE; }

    void Run(int id) {
        int closed = RunsClosed();
        Click(id);
        ASSERT_TRUE(WaitClosed(closed));
    }

    void ListThenCreate() {
        Run(ListButtonId);
        Run(CreateButtonId);
        ASSERT_EQ(Items(HashedListId).size(), 3u);
    }

    // Rewrite over changes without an edit asks first: the text begins with
    // how many of how many, the answer decides.
    void Rewrite(int answer, const std::wstring& counts) {
        int closed = RunsClosed();
        ClickLater(RewriteButtonId);
        HWND box = WaitForBox(uiThread);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(BoxText(box).find(counts), 0u) << BoxText(box);
        AnswerBox(box, answer);
        ASSERT_TRUE(WaitClosed(closed));
    }

    // Remove asks first; the answer decides.
    void Remove(int answer) {
        int closed = RunsClosed();
        ClickLater(RemoveButtonId);
        HWND box = WaitForBox(uiThread);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(BoxText(box), L"Do you really want to delete hashes of these files/folders?");
        EXPECT_EQ(TextOf(box), L"Remove Hashes");
        EXPECT_EQ(BoxDefaultButton(box, uiThread), IDNO);
        AnswerBox(box, answer);
        if (answer == IDYES) {
            ASSERT_TRUE(WaitClosed(closed));
        }
    }
};

TEST_F(RunTest, ListFilesShowsTheFilesWithAndWithoutHash) {
    PutStream(a, HexBytes(AbcDigest));
    Run(ListButtonId);
    EXPECT_EQ(Items(HashedListId), std::vector<std::wstring>({a}));
    EXPECT_EQ(Items(UnhashedListId), Sorted({b, c}));
    EXPECT_EQ(Status(), L"Ready.");
    for (int id : {HashedLabelId, ShowAlteredButtonId, HashedListId}) EXPECT_TRUE(Visible(id)) << id;
    for (int id : {AlteredLabelId, RewriteButtonId, AlteredListId}) EXPECT_FALSE(Visible(id)) << id;
    for (int id : {ListButtonId, RemoveButtonId, CreateButtonId, StartButtonId}) EXPECT_TRUE(Enabled(id)) << id;
    for (int id : {RewriteButtonId, ShowAlteredButtonId}) EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_EQ(TextOf(Item(StartButtonId)), L"Start");
    EXPECT_EQ(TargetsEdited, 0);
    // Nothing was read: the status bar stays empty and no taskbar value is set.
    EXPECT_EQ(StatusBarPart(Item(StatusBarId), 0), L"");
    for (const TaskbarCall& call : TaskbarCalls()) EXPECT_TRUE(call.isState);
}

TEST_F(RunTest, CreateCheckAlterRewriteAndCheckAgain) {
    ListThenCreate();
    EXPECT_EQ(Items(UnhashedListId), std::vector<std::wstring>());
    EXPECT_EQ(Status(), L"Ready.");
    EXPECT_FALSE(Enabled(CreateButtonId));
    std::vector<uint8_t> stored;
    ASSERT_TRUE(GetStream(a, &stored));
    EXPECT_EQ(stored, HexBytes(AbcDigest));
    EXPECT_EQ(StatusBarPart(Item(StatusBarId), 0), L"   100.0 %");

    Run(StartButtonId);
    EXPECT_EQ(Status(), L"All files checked successfully.");
    EXPECT_EQ(Items(AlteredListId), std::vector<std::wstring>());
    // A check leaves the files-with-hash list alone and shows the altered group.
    EXPECT_EQ(Items(HashedListId).size(), 3u);
    EXPECT_TRUE(Visible(AlteredListId));
    EXPECT_FALSE(Visible(HashedListId));

    folder.Write(L"sub\\c.txt", "hellO");
    PutStream(b, std::vector<uint8_t>(63, 0));  // a truncated digest never matches
    Run(StartButtonId);
    EXPECT_EQ(Items(AlteredListId), Sorted({b, c}));
    // c was written since it was hashed (an edit); b's value changed without one.
    EXPECT_EQ(Status(), L"Ready. 1 of 2 altered files were edited.");
    EXPECT_EQ(CountAlteredEdits(), 1);
    EXPECT_TRUE(Enabled(RewriteButtonId));
    EXPECT_TRUE(Enabled(ShowAlteredButtonId));
    EXPECT_EQ(OperationState.AlteredCount.load(), 2);
    // A double-click shows what was judged.
    HWND altered = Item(AlteredListId);
    SendMessageW(altered, LB_SETCURSEL, SendMessageW(altered, LB_FINDSTRINGEXACT, -1, (LPARAM)b.c_str()), 0);
    PostMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(AlteredListId, LBN_DBLCLK), (LPARAM)altered);
    HWND box = WaitForBox(uiThread);
    ASSERT_NE(box, nullptr);
    EXPECT_NE(BoxText(box).find(L"The stored value is no digest"), std::wstring::npos) << BoxText(box);
    EXPECT_NE(BoxText(box).find(L"Stored (63 bytes):"), std::wstring::npos) << BoxText(box);
    AnswerBox(box, IDOK);

    // Rewrite asks before it blesses a change without an edit: the edits
    // alone (Yes), then all (No).
    Rewrite(IDYES, L"1 of the 2 altered");
    EXPECT_EQ(Items(AlteredListId), std::vector<std::wstring>({b}));
    Rewrite(IDNO, L"1 of the 1 altered");
    EXPECT_EQ(Status(), L"Ready.");
    EXPECT_FALSE(Enabled(RewriteButtonId));
    EXPECT_FALSE(Enabled(ShowAlteredButtonId));
    EXPECT_EQ(Items(HashedListId).size(), 3u);  // rewritten entries go to no list
    Run(StartButtonId);
    EXPECT_EQ(Status(), L"All files checked successfully.");
}

TEST_F(RunTest, CheckWithAFileWithoutDigestListsItAndSaysReady) {
    PutStream(a, HexBytes(AbcDigest));
    Run(StartButtonId);
    EXPECT_EQ(Items(UnhashedListId), Sorted({b, c}));
    EXPECT_EQ(Items(AlteredListId), std::vector<std::wstring>());
    // A digest without its record cannot tell an edit from damage yet.
    EXPECT_EQ(Status(), L"Ready. 1 record out of step: run update.");
    EXPECT_TRUE(Enabled(CreateButtonId));
}

TEST_F(RunTest, CreateCountsTheDigestsThatCouldNotBeWritten) {
    Run(ListButtonId);
    FailStreamCall(b, StreamWriteCall);
    Run(CreateButtonId);
    EXPECT_EQ(Items(UnhashedListId), std::vector<std::wstring>({b}));
    EXPECT_EQ(Items(HashedListId), Sorted({a, c}));
    EXPECT_EQ(Status(), L"1 hash could not be written.");
    EXPECT_TRUE(Enabled(CreateButtonId));
}

TEST_F(RunTest, CreateOnAVolumeWithoutStreamsSaysSoBeforeReading) {
    Run(ListButtonId);
    SetVolumesKeepStreams(false);
    int closed = RunsClosed();
    ClickLater(CreateButtonId);
    HWND box = WaitForBox(uiThread);
    ASSERT_NE(box, nullptr);
    EXPECT_NE(BoxText(box).find(L"keeps no named streams"), std::wstring::npos);
    AnswerBox(box, IDOK);
    EXPECT_EQ(RunsClosed(), closed);
    EXPECT_EQ(Items(UnhashedListId), Sorted({a, b, c}));
    EXPECT_TRUE(Enabled(CreateButtonId));
}

TEST_F(RunTest, RemoveAsksAndCountsTheDigestsLeft) {
    ListThenCreate();
    Remove(IDNO);
    EXPECT_EQ(Items(HashedListId).size(), 3u);
    std::vector<uint8_t> kept;
    EXPECT_TRUE(GetStream(a, &kept));

    FailStreamCall(a, StreamDeleteCall);
    Remove(IDYES);
    EXPECT_EQ(Items(HashedListId), std::vector<std::wstring>({a}));
    EXPECT_EQ(Items(UnhashedListId), Sorted({b, c}));
    EXPECT_EQ(Status(), L"1 hash could not be deleted.");

    FailStreamCall(b, StreamDeleteCall);
    FailStreamCall(c, StreamDeleteCall);
    PutStream(b, HexBytes(AbcDigest));
    PutStream(c, HexBytes(AbcDigest));
    Remove(IDYES);
    EXPECT_EQ(Status(), L"3 hashes could not be deleted.");
}

TEST_F(RunTest, RemoveWithNothingLeftSaysReady) {
    ListThenCreate();
    Remove(IDYES);
    EXPECT_EQ(Items(HashedListId), std::vector<std::wstring>());
    EXPECT_EQ(Items(UnhashedListId).size(), 3u);
    EXPECT_EQ(Status(), L"Ready.");
    std::vector<uint8_t> none;
    EXPECT_FALSE(GetStream(a, &none));
}

TEST_F(RunTest, AMissingTargetShowsItsBoxAndStartsNothing) {
    std::wstring missing = folder.path + L"\\nothing here";
    SetField(folder.path + L" \"" + missing + L"\"");
    TargetsEdited = 1;
    for (int id : {StartButtonId, ListButtonId}) {
        ClickLater(id);
        HWND box = WaitForBox(uiThread);
        ASSERT_NE(box, nullptr) << id;
        EXPECT_EQ(BoxText(box), L"Cannot retrieve properties of\n" + missing);
        EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
        EXPECT_FALSE(GetDlgItem(box, IDNO) && IsWindowVisible(GetDlgItem(box, IDNO)));
        AnswerBox(box, IDOK);
        EXPECT_EQ(OperationState.mode.load(), Idle);
        EXPECT_EQ(TargetsEdited, 1);
        EXPECT_TRUE(Visible(AlteredListId));
        EXPECT_EQ(Status(), L"Ready.");
    }
}

TEST_F(RunTest, RewriteAndCreateWorkWithAnEmptyField) {
    Run(ListButtonId);
    SetField(L"");
    Run(CreateButtonId);
    EXPECT_EQ(Items(HashedListId).size(), 3u);
    EXPECT_EQ(Status(), L"Ready.");
    // The field is empty: after the run the idle rule of the next command
    // message turns the three buttons off again.
    SetField(L"");
    EXPECT_FALSE(Enabled(StartButtonId));
}

TEST_F(RunTest, AnEntryLongerThanThePathBufferIsNotCopiedIntoIt) {
    Run(ListButtonId);
    size_t listed = ListItems(Item(UnhashedListId)).size();
    std::wstring overlong = L"C:\\" + std::wstring(40000, L'a');
    SendMessageW(Item(UnhashedListId), LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(overlong.c_str()));
    Run(CreateButtonId);
    // It stays and counts as not written; the entries behind it are written.
    std::vector<std::wstring> left = ListItems(Item(UnhashedListId));
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0], overlong);
    EXPECT_EQ(Items(HashedListId).size(), listed);
    EXPECT_EQ(Status(), L"1 hash could not be written.");
    EXPECT_EQ(OperationState.mode.load(), Idle);
}

// ---- hashing threads ------------------------------------------------------------

// What a run leaves in the window.
struct RunView {
    std::vector<std::wstring> altered, hashed, unhashed;
    std::wstring status, percent;
    uint64_t bytesDone;
    bool operator==(const RunView& o) const {
        return altered == o.altered && hashed == o.hashed && unhashed == o.unhashed && status == o.status &&
               percent == o.percent && bytesDone == o.bytesDone;
    }
};

TEST_F(RunTest, HashingThreadsLeaveTheListsInTheOrderOfOneThread) {
    // Falling sizes: with several threads later files finish before earlier ones.
    std::vector<std::wstring> files;
    auto contents = [](int i) { return std::string(static_cast<size_t>(23 - i) * 20000, static_cast<char>('a' + i)); };
    for (int i = 0; i < 24; ++i) {
        files.push_back(folder.Write(L"d" + std::to_wstring(i % 3) + L"\\f" + std::to_wstring(i), contents(i)));
    }
    auto view = [&] {
        RunView v = {ListItems(Item(AlteredListId)), ListItems(Item(HashedListId)), ListItems(Item(UnhashedListId)),
                     Status(), StatusBarPart(Item(StatusBarId), 0), OperationState.BytesDone.load()};
        return v;
    };
    // List, Create with one digest that cannot be written, Check after an
    // edit, an alteration and a truncated digest, Rewrite, Check.
    auto runs = [&](int threads) {
        ForcedHashThreads = threads;
        ClearStreams();
        for (int i = 0; i < 24; ++i) folder.Write(files[i].substr(folder.path.size() + 1), contents(i));
        std::vector<RunView> views;
        FailStreamCall(files[5], StreamWriteCall);
        for (int id : {ListButtonId, CreateButtonId}) {
            Run(id);
            views.push_back(view());
        }
        folder.Write(files[3].substr(folder.path.size() + 1), std::string(20 * 20000, 'x'));
        folder.Write(files[17].substr(folder.path.size() + 1), "edited");
        PutStream(files[20], std::vector<uint8_t>(63, 0));
        for (int id : {StartButtonId, RewriteButtonId, StartButtonId}) {
            if (id == RewriteButtonId) {
                Rewrite(IDNO, L"1 of the 3 altered");
            } else {
                Run(id);
            }
            views.push_back(view());
        }
        EXPECT_EQ(OperationState.HashThreads, threads);
        return views;
    };
    std::vector<RunView> one = runs(1);
    std::vector<RunView> pooled = runs(DialogHashThreads() > 1 ? DialogHashThreads() : 3);
    ASSERT_EQ(one.size(), pooled.size());
    for (size_t i = 0; i < one.size(); ++i) EXPECT_TRUE(one[i] == pooled[i]) << "run " << i;
    // The runs did what they say.
    EXPECT_EQ(one[1].status, L"1 hash could not be written.");
    EXPECT_EQ(one[1].unhashed, std::vector<std::wstring>({files[5]}));
    EXPECT_EQ(one[2].altered.size(), 3u);
    EXPECT_EQ(one[3].altered, std::vector<std::wstring>());
    EXPECT_EQ(one[4].status, L"Ready.");
    EXPECT_EQ(one[4].percent, L"   100.0 %");
}

// ---- the digest viewer ---------------------------------------------------------

TEST_F(RunTest, ViewerShowsTheStoredDigestOfTheSelectedEntry) {
    ListThenCreate();
    Run(ListButtonId);  // shows HashedGroup with the three files
    HWND list = Item(HashedListId);
    std::vector<std::wstring> entries = ListItems(list);
    int index = static_cast<int>(std::find(entries.begin(), entries.end(), a) - entries.begin());
    SendMessageW(list, LB_SETCURSEL, index, 0);
    PostMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(HashedListId, LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
    HWND box = WaitForBox(uiThread);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(box), L"Hash");
    EXPECT_EQ(BoxText(box), a +
                                L"\n\n"
                                L"4E 24 48 A4 C6 F4 86 BB 16 B6 56 2C 73 B4 02 0B\n"
                                L"F3 04 3E 3A 73 1B CE 72 1A E1 B3 03 D9 7E 6D 4C\n"
                                L"71 81 EE BD B6 C5 7E 27 7D 0E 34 95 71 14 CB D6\n"
                                L"C7 97 FC 9D 95 D8 B5 82 D2 25 29 20 76 D4 EE F5\n");
    AnswerBox(box, IDOK);

    // A stream of 100 bytes is no digest, and is called malformed.
    std::vector<uint8_t> hundred;
    for (int i = 0; i < 100; ++i) hundred.push_back(static_cast<uint8_t>(i));
    PutStream(a, hundred);
    PostMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(HashedListId, LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
    box = WaitForBox(uiThread);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(BoxText(box).substr(a.size()), L"\n\nmalformed digest of 100 bytes:\n00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\n"
                                             L"10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F\n"
                                             L"20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F\n"
                                             L"30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F\n");
    AnswerBox(box, IDOK);
}

TEST_F(RunTest, ViewerWithoutSelectionOrStreamShowsNothing) {
    ListThenCreate();
    Run(ListButtonId);
    HWND list = Item(HashedListId);
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(HashedListId, LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
    EXPECT_EQ(WaitForBox(uiThread, 300), nullptr);
    // The digest went away since the listing.
    SendMessageW(list, LB_SETCURSEL, 0, 0);
    FailStreamCall(ListItems(list)[0], StreamReadCall);
    SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(HashedListId, LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
    EXPECT_EQ(WaitForBox(uiThread, 300), nullptr);
    // Double-clicks in the other lists do nothing either.
    SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(UnhashedListId, LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(Item(UnhashedListId)));
    EXPECT_EQ(WaitForBox(uiThread, 300), nullptr);
}

// ---- pause, resume and the progress display ----------------------------------

std::atomic<int> ReadsSeen;
std::atomic<int> HoldAtRead;
HANDLE ReleaseRead;

// Holds the worker at the digest read of the file numbered HoldAtRead (from
// 1), until the test releases it.
void HoldAtFile(const std::wstring&) {
    if (++ReadsSeen == HoldAtRead) WaitForSingleObject(ReleaseRead, 20000);
}

class LongCheckTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        if (IsSkipped()) return;
        DeleteFileW(a.c_str());
        DeleteFileW(b.c_str());
        DeleteFileW(c.c_str());
        RemoveDirectoryW((folder.path + L"\\sub").c_str());
        // Two files of one size: whichever is read first, it is half the total.
        first = folder.Write(L"first.bin", std::string(2 << 20, 'x'));
        second = folder.Write(L"second.bin", std::string(2 << 20, 'y'));
        PutStream(first, std::vector<uint8_t>(64, 0));
        PutStream(second, std::vector<uint8_t>(64, 0));
        ReadsSeen = 0;
        HoldAtRead = 2;  // after the first file has been read in full
        ReleaseRead = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetReadHook(HoldAtFile);
        // The hold sits in the stored digest's read, made before the file is
        // hashed; a hashing thread with several lanes may make it for the
        // second file while the first still waits in a lane beside it. One
        // thread hashes inline, a file at a time.
        ForcedHashThreads = 1;
    }
    void TearDown() override {
        if (ReleaseRead) SetEvent(ReleaseRead);
        RunTest::TearDown();
        if (ReleaseRead) CloseHandle(ReleaseRead);
        ReleaseRead = nullptr;
    }
    std::wstring first, second;
};

// With hashing threads the file handed over is not the one read: none is named.
TEST_F(LongCheckTest, HashingThreadsNameNoFileInTheStatusText) {
    ForcedHashThreads = 3;
    HoldAtRead = 1;
    Click(StartButtonId);
    ASSERT_TRUE(WaitUntil([] { return ReadsSeen.load() >= 1; }, 20000));
    EXPECT_TRUE(WaitUntil([&] { return Status() == L"Processing..."; }, 5000)) << Status().c_str();
    SetEvent(ReleaseRead);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Status(), L"Ready.");
}

TEST_F(LongCheckTest, TimerTicksPauseAndResumeDuringACheck) {
    Click(StartButtonId);
    ASSERT_TRUE(WaitUntil([] { return ReadsSeen.load() == 2; }, 20000));
    // The file whose digest is being read, by the next tick at the latest.
    EXPECT_TRUE(WaitUntil([&] { return Status() == first || Status() == second; }, 5000)) << Status().c_str();
    EXPECT_EQ(TextOf(Item(StartButtonId)), L"Pause");
    EXPECT_TRUE(Enabled(StartButtonId));
    EXPECT_FALSE(Enabled(ListButtonId));
    // The one-second timer shows the first file's share.
    ASSERT_TRUE(WaitUntil([&] { return StatusBarPart(Item(StatusBarId), 0) == L"    50.0 %"; }, 5000));
    EXPECT_EQ(StatusBarPart(Item(StatusBarId), 1).find(L" MB/s  (Average:"), 7u);
    EXPECT_EQ(StatusBarPart(Item(StatusBarId), 2).substr(0, 13), L"  Remaining: ");
    bool valueSeen = false;
    for (const TaskbarCall& call : TaskbarCalls()) {
        valueSeen |= !call.isState && call.completed == (2u << 20) && call.total == (4u << 20);
    }
    EXPECT_TRUE(valueSeen);

    // A List click that slips through while the run is active starts nothing.
    Click(ListButtonId);
    EXPECT_EQ(OperationState.mode.load(), Check);
    EXPECT_FALSE(Visible(HashedListId));

    uint64_t runStart = OperationState.RunStart.load();
    Click(StartButtonId);
    EXPECT_EQ(TextOf(Item(StartButtonId)), L"Resume");
    EXPECT_EQ(OperationState.Paused.load(), 1);
    SetEvent(ReleaseRead);
    // Paused: the worker opens the second file and waits before reading it.
    Sleep(1500);
    EXPECT_EQ(OperationState.BytesDone.load(), 2u << 20);
    EXPECT_EQ(OperationState.mode.load(), Check);

    // Exit asks while a run is active; No lets it go on.
    ClickLater(ExitButtonId);
    HWND box = WaitForBox(uiThread);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(BoxText(box), L"Do you really want to abort the current action?");
    EXPECT_EQ(TextOf(box), L"Exit");
    EXPECT_EQ(BoxDefaultButton(box, uiThread), IDNO);
    AnswerBox(box, IDNO);
    EXPECT_TRUE(IsWindow(MainWindow));

    Click(StartButtonId);
    EXPECT_EQ(TextOf(Item(StartButtonId)), L"Pause");
    EXPECT_EQ(OperationState.Paused.load(), 0);
    // The pause leaves the throughput and remaining time alone.
    EXPECT_GE(OperationState.RunStart.load() - runStart, 15000000u);
    ASSERT_TRUE(WaitClosed(0));
    EXPECT_EQ(Status(), L"Ready.");
    EXPECT_EQ(Items(AlteredListId), Sorted({first, second}));
    EXPECT_EQ(StatusBarPart(Item(StatusBarId), 0), L"   100.0 %");
    EXPECT_EQ(TextOf(Item(StartButtonId)), L"Start");

    // The taskbar: paused, normal, off at the end; every call on the UI thread
    // for the main window.
    std::vector<int> states;
    for (const TaskbarCall& call : TaskbarCalls()) {
        EXPECT_EQ(call.thread, uiThread);
        EXPECT_EQ(call.window, MainWindow);
        if (call.isState) states.push_back(call.state);
    }
    EXPECT_EQ(states, std::vector<int>({TBPF_PAUSED, TBPF_NORMAL, TBPF_NOPROGRESS}));
    EXPECT_EQ(OperationState.Paused.load(), 0);
    EXPECT_TRUE(WaitForSingleObject(OperationState.PauseGate, 0) == WAIT_OBJECT_0);
}

TEST_F(LongCheckTest, APauseAfterTheLastReadEndsWithTheRun) {
    // An empty file is hashed without a read, so a pause taken at its digest
    // read finds nothing more to wait for.
    std::wstring empty = folder.Write(L"empty.bin", "");
    PutStream(empty, std::vector<uint8_t>(64, 0));
    SetField(empty);
    HoldAtRead = 1;
    Click(StartButtonId);
    ASSERT_TRUE(WaitUntil([] { return ReadsSeen.load() == 1; }, 20000));
    Click(StartButtonId);
    EXPECT_EQ(TextOf(Item(StartButtonId)), L"Resume");
    SetEvent(ReleaseRead);
    ASSERT_TRUE(WaitClosed(0));
    EXPECT_EQ(OperationState.Paused.load(), 0);
    EXPECT_TRUE(WaitForSingleObject(OperationState.PauseGate, 0) == WAIT_OBJECT_0);
    EXPECT_EQ(TextOf(Item(StartButtonId)), L"Start");
    EXPECT_EQ(Items(AlteredListId), std::vector<std::wstring>({empty}));
    // The next click starts a new check, not a Resume.
    Run(StartButtonId);
    EXPECT_EQ(Status(), L"Ready.");
    EXPECT_EQ(OperationState.Paused.load(), 0);
}

// A Start click that arrives while the run is closing, after the controls are
// restored, must start a new check rather than pause a run that is ending.
void ClickStartWhileClosing(int state) {
    if (state == TBPF_NOPROGRESS) {
        PostMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(StartButtonId, BN_CLICKED),
                     reinterpret_cast<LPARAM>(Controls.StartButton));
        SetTaskbarStateHook(nullptr);
    }
}

TEST_F(RunTest, StartClickDuringTheClosingStartsACheck) {
    SetTaskbarStateHook(ClickStartWhileClosing);
    Click(ListButtonId);
    // Two runs close: the listing and the check the click started.
    ASSERT_TRUE(WaitUntil(
        [] {
            int closed = 0;
            for (const TaskbarCall& call : TaskbarCalls()) closed += call.isState && call.state == TBPF_NOPROGRESS;
            return closed == 2 && OperationState.mode.load() == Idle;
        },
        20000));
    EXPECT_TRUE(Visible(AlteredListId));
    EXPECT_EQ(Status(), L"Ready.");
    EXPECT_EQ(Items(UnhashedListId).size(), 3u);
    EXPECT_EQ(TextOf(Item(StartButtonId)), L"Start");
    EXPECT_EQ(OperationState.Paused.load(), 0);
    for (const TaskbarCall& call : TaskbarCalls()) EXPECT_NE(call.state, TBPF_PAUSED);
}

}  // namespace
