// Exit confirmed while a run is active. Each test runs in a process of its
// own, which it leaves with the worker still there, as the program's end would.
#include <algorithm>
#include <mutex>

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

std::mutex WritesLock;
std::vector<std::wstring> WritesBegun;
HANDLE WriteEntered;
HANDLE WriteRelease;

// Holds every digest write, each under WriteGuard, until the test releases them.
void HoldWrites(const std::wstring& file) {
    {
        std::lock_guard<std::mutex> hold(WritesLock);
        WritesBegun.push_back(file);
    }
    SetEvent(WriteEntered);
    WaitForSingleObject(WriteRelease, 20000);
}

std::vector<std::wstring> Begun() {
    std::lock_guard<std::mutex> hold(WritesLock);
    return WritesBegun;
}

TEST_F(DialogTest, ExitConfirmedDuringADigestWriteWaitsForItAndWritesNoMore) {
    TempFolder folder;
    std::vector<std::wstring> files;
    for (int i = 0; i < 6; ++i) files.push_back(folder.Write(L"f" + std::to_wstring(i) + L".txt", "1"));
    ASSERT_TRUE(Open(L"Quorvane.exe"));
    SetField(folder.path);
    int closed = RunsClosed();
    Click(ListButtonId);
    ASSERT_TRUE(WaitClosed(closed));
    WriteEntered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    WriteRelease = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetWriteHook(HoldWrites);
    Click(CreateButtonId);
    ASSERT_EQ(WaitForSingleObject(WriteEntered, 20000), WAIT_OBJECT_0);
    ClickLater(ExitButtonId);
    HWND box = WaitForBox(uiThread);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(BoxText(box), L"Do you really want to abort the current action?");
    AnswerBox(box, IDYES);
    // The writes under way (one a hashing thread) hold the window open until
    // their streams are closed.
    EXPECT_EQ(WaitForSingleObject(thread, 700), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_GE(OperationState.WriteGuard.load(), 1);
    EXPECT_LE(OperationState.WriteGuard.load(), DialogHashThreads());
    SetEvent(WriteRelease);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    dialogEnded = true;
    EXPECT_EQ(OperationState.WriteGuard.load(), 0);
    std::vector<std::wstring> begun = Begun();
    EXPECT_GE(begun.size(), 1u);
    EXPECT_LE(begun.size(), static_cast<size_t>(DialogHashThreads()));
    // Every write under way was finished; none began once Exit was confirmed.
    Sleep(500);
    EXPECT_EQ(Begun(), begun);
    for (const std::wstring& file : files) {
        std::vector<uint8_t> stored;
        bool written = std::find(begun.begin(), begun.end(), file) != begun.end();
        EXPECT_EQ(GetStream(file, &stored), written) << file.c_str();
    }
}

}  // namespace
