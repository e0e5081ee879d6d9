// Runs the real dialog on a thread of its own and drives it from the test
// thread with messages, as the user and the system would.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gtest/gtest.h"

// One call on the taskbar object, as the recording double saw it.
struct TaskbarCall {
    bool isState;  // SetProgressState, else SetProgressValue
    int state;
    uint64_t completed, total;
    HWND window;
    DWORD thread;
};
std::vector<TaskbarCall> TaskbarCalls();
// Runs closed so far: each closing turns the taskbar progress off once.
int RunsClosed();
// Called on the caller's thread after each SetProgressState is recorded.
void SetTaskbarStateHook(void (*hook)(int state));

// The hashing threads of the dialog's runs: QUORVANE_DIALOG_THREADS, or three
// (more than this machine's cores, so that files finish out of order).
int DialogHashThreads();

// Start-up once per process; each test then opens a fresh dialog.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Seeds the field from commandLine; false when the window did not come up.
    bool Open(const wchar_t* commandLine = L"Quorvane.exe");
    // Exit while idle; waits until the dialog's thread has ended.
    void CloseIdle();

    HWND Item(int id);
    void Click(int id);       // synchronous: for commands that show no box
    void ClickLater(int id);  // posted: for commands that ask first
    void SetField(const std::wstring& text);
    // Waits until the run has returned to Idle.
    bool WaitIdle(uint32_t milliseconds = 20000);
    // Waits until more than closedBefore runs have closed and the window is idle.
    bool WaitClosed(int closedBefore, uint32_t milliseconds = 20000);

    DWORD uiThread = 0;
    HANDLE thread = nullptr;
    bool dialogEnded = false;
};

bool WaitUntil(const std::function<bool()>& condition, uint32_t milliseconds);
std::wstring TextOf(HWND window);
std::vector<std::wstring> ListItems(HWND list);
std::wstring StatusBarPart(HWND statusBar, int part);

// A message box of the dialog's thread, or null when none came.
HWND WaitForBox(DWORD uiThread, uint32_t milliseconds = 5000);
std::wstring BoxText(HWND box);
void AnswerBox(HWND box, int button);
// The button that has the focus when the box opens, its default.
int BoxDefaultButton(HWND box, DWORD uiThread);

// A folder of the test's own under the temporary folder, removed at the end.
struct TempFolder {
    std::wstring path;  // without a trailing backslash
    TempFolder();
    ~TempFolder();
    std::wstring Write(const std::wstring& name, const std::string& contents);
};

std::vector<uint8_t> HexBytes(const char* hex);
