// Quorvane.exe as a process of its own: its window shows the arguments of its
// command line, and every way of closing it ends the process with code 0.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "gtest/gtest.h"
#include "ui/resource_ids.h"

namespace {

// The build tree's path as Wine's drive Z: shows it.
std::wstring ProgramPath() {
    std::string unix = QUORVANE_EXE;
    std::wstring path = L"Z:";
    for (char c : unix) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return path;
}

struct WindowSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindProgramWindow(HWND window, LPARAM param) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t title[32] = L"";
    GetWindowTextW(window, title, 32);
    if (owner == search->process && IsWindowVisible(window) && std::wstring(title) == L"Quorvane") {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

class ProgramProcess : public ::testing::Test {
protected:
    PROCESS_INFORMATION process = {};
    HWND window = nullptr;

    void SetUp() override {
        if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display (DISPLAY unset): the window cannot be shown";
    }

    void TearDown() override {
        if (process.hProcess) {
            if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process.hProcess, 1);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
    }

    void Start(const std::wstring& arguments) {
        std::wstring program = ProgramPath();
        std::wstring commandLine = L"\"" + program + L"\"" + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        ASSERT_TRUE(CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &process));
        WindowSearch search = {process.dwProcessId, nullptr};
        for (int i = 0; i < 400 && !search.found; ++i) {
            Sleep(50);
            EnumWindows(FindProgramWindow, reinterpret_cast<LPARAM>(&search));
        }
        window = search.found;
        ASSERT_NE(window, nullptr);
    }

    std::wstring TargetText() {
        wchar_t text[256] = L"";
        SendMessageW(GetDlgItem(window, TargetEditId), WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
        return text;
    }

    DWORD ExitCode() {
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
        DWORD code = 1234;
        GetExitCodeProcess(process.hProcess, &code);
        return code;
    }
};

TEST_F(ProgramProcess, ArgumentsSeedTheFieldAndExitEndsWithZero) {
    Start(L" D:\\Data \"E:\\My Files\"");
    EXPECT_EQ(TargetText(), L"D:\\Data \"E:\\My Files\"");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, StartButtonId)));
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(ExitCode(), 0u);
}

TEST_F(ProgramProcess, NoArgumentsGiveAnEmptyFieldAndTheExitButtonEndsWithZero) {
    Start(L"");
    EXPECT_EQ(TargetText(), L"");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, StartButtonId)));
    HWND exitButton = GetDlgItem(window, ExitButtonId);
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(ExitButtonId, BN_CLICKED), reinterpret_cast<LPARAM>(exitButton));
    EXPECT_EQ(ExitCode(), 0u);
}

TEST_F(ProgramProcess, TheCloseBoxArrivesAsExit) {
    Start(L" C:\\");
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(ExitCode(), 0u);
}

}  // namespace
