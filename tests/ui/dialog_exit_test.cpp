// Exit confirmed while a run is paused: the dialog ends although the worker is
// held at the pause gate. Run in a process of its own, which it leaves with
// that worker still waiting, as the program's end would.
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

}  // namespace
