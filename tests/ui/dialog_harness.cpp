#include "tests/ui/dialog_harness.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <mutex>

#include "store/operation_state.h"
#include "tests/ui/stream_double.h"
#include "ui/resource_ids.h"
#include "ui/window.h"

namespace {

std::mutex CallsLock;
std::vector<TaskbarCall> Calls;
void (*StateHook)(int);

// Records the two calls the program may make; every other method is unused.
struct RecordingTaskbar : ITaskbarList3 {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE HrInit() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE AddTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeleteTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE MarkFullscreenWindow(HWND, WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetProgressValue(HWND window, ULONGLONG completed, ULONGLONG total) override {
        std::lock_guard<std::mutex> hold(CallsLock);
        Calls.push_back(TaskbarCall{false, 0, completed, total, window, GetCurrentThreadId()});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetProgressState(HWND window, TBPFLAG state) override {
        {
            std::lock_guard<std::mutex> hold(CallsLock);
            Calls.push_back(TaskbarCall{true, state, 0, 0, window, GetCurrentThreadId()});
        }
        if (StateHook) StateHook(state);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RegisterTab(HWND, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UnregisterTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetTabOrder(HWND, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetTabActive(HWND, HWND, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ThumbBarSetImageList(HWND, HIMAGELIST) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetOverlayIcon(HWND, HICON, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetThumbnailTooltip(HWND, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetThumbnailClip(HWND, RECT*) override { return S_OK; }
};

RecordingTaskbar Taskbar;
bool Prepared;

DWORD WINAPI DialogThread(LPVOID) {
    // The dialog's thread is the COM apartment of the picker, as the main
    // thread is in the program.
    CoInitialize(nullptr);
    RunMainDialog();
    return 0;
}

}  // namespace

std::vector<TaskbarCall> TaskbarCalls() {
    std::lock_guard<std::mutex> hold(CallsLock);
    return Calls;
}

void SetTaskbarStateHook(void (*hook)(int)) { StateHook = hook; }

int RunsClosed() {
    int closed = 0;
    for (const TaskbarCall& call : TaskbarCalls()) closed += call.isState && call.state == TBPF_NOPROGRESS;
    return closed;
}

int DialogHashThreads() {
    const char* forced = getenv("QUORVANE_DIALOG_THREADS");
    int threads = forced ? atoi(forced) : 0;
    return threads > 0 ? threads : 3;
}

void DialogTest::SetUp() {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display (DISPLAY unset): the dialog cannot be shown";
    if (!Prepared) {
        PrepareProcess();
        // The tests run at normal priority, beside Wine's own processes.
        SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
        Prepared = true;
    }
    InitOperationState();
    ClearStreams();
    {
        std::lock_guard<std::mutex> hold(CallsLock);
        Calls.clear();
    }
    StateHook = nullptr;
    TaskbarProgress = &Taskbar;
    MainWindow = nullptr;
    Controls = DialogControls();
    LayoutMetrics = LayoutMetricsRecord();
    DialogReady = 0;
    TargetsEdited = 1;
}

void DialogTest::TearDown() {
    SetReadHook(nullptr);
    StateHook = nullptr;
    if (thread) {
        if (!dialogEnded) {
            WaitIdle(20000);
            CloseIdle();
        }
        CloseHandle(thread);
        thread = nullptr;
    }
}

bool DialogTest::Open(const wchar_t* commandLine) {
    SeedCommandLine = commandLine;
    ForcedHashThreads = DialogHashThreads();
    thread = CreateThread(nullptr, 0, DialogThread, nullptr, 0, &uiThread);
    return WaitUntil([] { return MainWindow != nullptr && IsWindowVisible(MainWindow); }, 10000);
}

void DialogTest::CloseIdle() {
    SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(ExitButtonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Item(ExitButtonId)));
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    dialogEnded = true;
}

HWND DialogTest::Item(int id) { return GetDlgItem(MainWindow, id); }

void DialogTest::Click(int id) {
    SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Item(id)));
}

void DialogTest::ClickLater(int id) {
    PostMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Item(id)));
}

void DialogTest::SetField(const std::wstring& text) { SetWindowTextW(Item(TargetEditId), text.c_str()); }

bool DialogTest::WaitIdle(uint32_t milliseconds) {
    return WaitUntil([] { return OperationState.mode.load() == Idle; }, milliseconds);
}

bool DialogTest::WaitClosed(int closedBefore, uint32_t milliseconds) {
    return WaitUntil([closedBefore] { return RunsClosed() > closedBefore && OperationState.mode.load() == Idle; },
                     milliseconds);
}

bool WaitUntil(const std::function<bool()>& condition, uint32_t milliseconds) {
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > milliseconds) return false;
        Sleep(5);
    }
    return true;
}

std::wstring TextOf(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(window, &text[0], length + 1);
    text.resize(static_cast<size_t>(got));
    return text;
}

std::vector<std::wstring> ListItems(HWND list) {
    std::vector<std::wstring> items;
    int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        int length = static_cast<int>(SendMessageW(list, LB_GETTEXTLEN, i, 0));
        if (length < 0) break;
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
        text.resize(static_cast<size_t>(length));
        items.push_back(text);
    }
    return items;
}

std::wstring StatusBarPart(HWND statusBar, int part) {
    LRESULT info = SendMessageW(statusBar, SB_GETTEXTLENGTHW, part, 0);
    std::wstring text(LOWORD(info) + 1, L'\0');
    SendMessageW(statusBar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(LOWORD(info));
    return text;
}

namespace {

struct BoxSearch {
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param) {
    wchar_t name[32];
    GetClassNameW(window, name, 32);
    if (window != MainWindow && IsWindowVisible(window) && wcscmp(name, L"#32770") == 0) {
        reinterpret_cast<BoxSearch*>(param)->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM param) {
    wchar_t name[32];
    GetClassNameW(child, name, 32);
    if (_wcsicmp(name, L"Static") == 0) {
        std::wstring text = TextOf(child);
        std::wstring* all = reinterpret_cast<std::wstring*>(param);
        if (!text.empty()) *all += text;
    }
    return TRUE;
}

}  // namespace

HWND WaitForBox(DWORD uiThread, uint32_t milliseconds) {
    BoxSearch search = {nullptr};
    WaitUntil(
        [&] {
            EnumThreadWindows(uiThread, FindBox, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        milliseconds);
    return search.found;
}

std::wstring BoxText(HWND box) {
    std::wstring text;
    EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&text));
    return text;
}

int BoxDefaultButton(HWND box, DWORD uiThread) {
    // The box gives its default button the focus once it is up.
    HWND focus = nullptr;
    WaitUntil(
        [&] {
            GUITHREADINFO info = {};
            info.cbSize = sizeof info;
            GetGUIThreadInfo(uiThread, &info);
            focus = info.hwndFocus;
            return focus && GetParent(focus) == box;
        },
        3000);
    return focus && GetParent(focus) == box ? GetDlgCtrlID(focus) : 0;
}

void AnswerBox(HWND box, int button) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    WaitUntil([box] { return !IsWindow(box); }, 5000);
}

TempFolder::TempFolder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    // A fresh name: Wine reuses process ids, and a folder may be left behind
    // by a test that ends with a file still open.
    static int serial;
    do {
        path = std::wstring(base) + L"quorvane-ui-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++serial);
    } while (!CreateDirectoryW(path.c_str(), nullptr));
}

static void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring full = folder + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

TempFolder::~TempFolder() { RemoveTree(path); }

std::wstring TempFolder::Write(const std::wstring& name, const std::string& contents) {
    std::wstring full = path + L"\\" + name;
    size_t slash = name.rfind(L'\\');
    if (slash != std::wstring::npos) CreateDirectoryW((path + L"\\" + name.substr(0, slash)).c_str(), nullptr);
    HANDLE file = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
    CloseHandle(file);
    return full;
}

std::vector<uint8_t> HexBytes(const char* hex) {
    std::vector<uint8_t> bytes;
    for (const char* p = hex; p[0] && p[1]; p += 2) {
        auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
        bytes.push_back(static_cast<uint8_t>(nibble(p[0]) * 16 + nibble(p[1])));
    }
    return bytes;
}
