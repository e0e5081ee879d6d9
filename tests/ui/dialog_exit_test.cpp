// Exit confirmed while a run is active. Each test runs in a process of its
// own, which it leaves with the worker still there, as the program's end would.
#include "store/operation_state.h"
#include "tests/ui/dialog_harness.h"
#include "tests/ui/stream_double.h"
#include "ui/resource_ids.h"
#include "ui/window.h"

namespace {

TEST_F(DialogTest, ExitConfirmedWhilePausedEndsTheDialog) {
    TempFolder folder;
    std::wstring big = folder.Write(L"big.bin", std::string(1 << 20, 'z'));
    PutStream(big, std::vector<uint8_t>(64, 0));
    ASSERT_TRUE(Open(L"Quorvane.exe"));
    SetField(folder.path);
    // Paused before the first read of the only file.
    ResetGate(OperationState.PauseGate);
    Click(StartButtonId);
    ASSERT_TRUE(WaitUntil([&] { return TextOf(Item(StartButtonId)) == L"Pause"; }, 20000));
    Click(StartButtonId);
    ASSERT_EQ(OperationState.Paused.load(), 1);
    ClickLater(ExitButtonId);
    HWND box = WaitForBox(uiThread);
    ASSERT_NE(box, nullptr);
    AnswerBox(box, IDYES);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    dialogEnded = true;
    EXPECT_EQ(OperationState.ExitRequested.load(), 1);
    EXPECT_EQ(OperationState.mode.load(), Check);
    EXPECT_EQ(OperationState.BytesDone.load(), 0u);
}

std::wstring Writing;
HANDLE WriteEntered;
HANDLE WriteRelease;

void HoldFirstWrite(const std::wstring& file) {
    if (!Writing.empty()) return;
    Writing = file;
    SetEvent(WriteEntered);
    WaitForSingleObject(WriteRelease, 20000);
}

TEST_F(DialogTest, ExitConfirmedDuringADigestWriteWaitsForItAndWritesNoMore) {
    TempFolder folder;
    std::wstring one = folder.Write(L"one.txt", "1");
    std::wstring two = folder.Write(L"two.txt", "2");
    ASSERT_TRUE(Open(L"Quorvane.exe"));
    SetField(folder.path);
    int closed = RunsClosed();
    Click(ListButtonId);
    ASSERT_TRUE(WaitClosed(closed));
    WriteEntered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    WriteRelease = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetWriteHook(HoldFirstWrite);
    Click(CreateButtonId);
    ASSERT_EQ(WaitForSingleObject(WriteEntered, 20000), WAIT_OBJECT_0);
    ClickLater(ExitButtonId);
    HWND box = WaitForBox(uiThread);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(BoxText(box), L"Do you really want to abort the current action?");
    AnswerBox(box, IDYES);
    // The write under way holds the window open until its stream is closed.
    EXPECT_EQ(WaitForSingleObject(thread, 700), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(OperationState.WriteGuard.load(), 1);
    SetEvent(WriteRelease);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    dialogEnded = true;
    EXPECT_EQ(OperationState.WriteGuard.load(), 0);
    std::vector<uint8_t> stored;
    EXPECT_TRUE(GetStream(Writing, &stored));
    // No further digest write begins once Exit is confirmed.
    Sleep(500);
    std::wstring other = Writing == one ? two : one;
    EXPECT_FALSE(GetStream(other, &stored));
}

}  // namespace
