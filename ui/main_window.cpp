// The main dialog: its procedure, which hands each message to one handler,
// and its initialisation.
#include <windows.h>

#include <shellapi.h>
#include <commctrl.h>

#include "store/operation_state.h"
#include "ui/command_line.h"
#include "ui/resource_ids.h"
#include "ui/window.h"

HWND MainWindow;
DialogControls Controls;
HFONT NarrowFont;
LayoutMetricsRecord LayoutMetrics;
uint8_t DialogReady;
uint8_t TargetsEdited = 1;
const wchar_t* SeedCommandLine;
int ForcedHashThreads;

INT_PTR CALLBACK MainDialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(window);
        case WM_SIZE:
            return OnSize(lParam);
        case WM_GETMINMAXINFO:
            return OnGetMinMaxInfo(lParam);
        case WM_COMMAND:
            return OnCommand(wParam, lParam);
        case WM_DROPFILES:
            return OnDropFiles(reinterpret_cast<HDROP>(wParam));
        case WM_TIMER:
            ProgressTick();
            return TRUE;
        case WM_DRAWITEM:
            return OnDrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        case WM_DELETEITEM:
            return OnDeleteItem(reinterpret_cast<const DELETEITEMSTRUCT*>(lParam));
        default:
            if (IsWindowServiceMessage(message)) {
                SetWindowLongPtrW(window, DWLP_MSGRESULT, CarryOutWindowService(message, wParam, lParam));
                return TRUE;
            }
            return FALSE;
    }
}

static void LookUpControls(HWND window) {
    Controls.OuterFrame = GetDlgItem(window, OuterFrameId);
    Controls.UpperListFrame = GetDlgItem(window, UpperListFrameId);
    Controls.LowerListFrame = GetDlgItem(window, LowerListFrameId);
    Controls.TargetEdit = GetDlgItem(window, TargetEditId);
    Controls.AlteredList = GetDlgItem(window, AlteredListId);
    Controls.HashedList = GetDlgItem(window, HashedListId);
    Controls.UnhashedList = GetDlgItem(window, UnhashedListId);
    Controls.AlteredLabel = GetDlgItem(window, AlteredLabelId);
    Controls.HashedLabel = GetDlgItem(window, HashedLabelId);
    Controls.UnhashedLabel = GetDlgItem(window, UnhashedLabelId);
    Controls.StatusText = GetDlgItem(window, StatusTextId);
    Controls.AddButton = GetDlgItem(window, AddButtonId);
    Controls.ListButton = GetDlgItem(window, ListButtonId);
    Controls.RemoveButton = GetDlgItem(window, RemoveButtonId);
    Controls.RewriteButton = GetDlgItem(window, RewriteButtonId);
    Controls.ShowAlteredButton = GetDlgItem(window, ShowAlteredButtonId);
    Controls.CreateButton = GetDlgItem(window, CreateButtonId);
    Controls.StartButton = GetDlgItem(window, StartButtonId);
    Controls.ExitButton = GetDlgItem(window, ExitButtonId);
    Controls.StatusBar = GetDlgItem(window, StatusBarId);
}

typedef BOOL(WINAPI* MessageFilterEx)(HWND, UINT, DWORD, void*);
typedef BOOL(WINAPI* MessageFilter)(UINT, DWORD);
const UINT CopyGlobalDataMessage = 0x0049;  // WM_COPYGLOBALDATA, the copy step of a drop

// Lets drops from a lower integrity level through; both functions are
// optional, so they are looked up rather than imported.
static void AdmitDroppedFiles(HWND window) {
    HMODULE user32 = GetModuleHandleA("user32");
    FARPROC filterEx = GetProcAddress(user32, "ChangeWindowMessageFilterEx");
    if (filterEx) {
        MessageFilterEx call = reinterpret_cast<MessageFilterEx>(reinterpret_cast<void*>(filterEx));
        call(window, WM_DROPFILES, 1, nullptr);
        call(window, CopyGlobalDataMessage, 1, nullptr);
        return;
    }
    FARPROC filter = GetProcAddress(user32, "ChangeWindowMessageFilter");
    if (filter) {
        MessageFilter call = reinterpret_cast<MessageFilter>(reinterpret_cast<void*>(filter));
        call(WM_DROPFILES, 1);
        call(CopyGlobalDataMessage, 1);
    }
}

// 15/16 of the dialog font's cell height, three quarters of its width.
static void GiveNarrowFont(HWND window) {
    RECT units = {3, 15, 0, 0};
    MapDialogRect(window, &units);
    NarrowFont = CreateFontW(units.top / 2, units.left, 0, 0, 0, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0,
                             L"MS Shell Dlg");
    WPARAM font = reinterpret_cast<WPARAM>(NarrowFont);
    SendMessageW(Controls.TargetEdit, WM_SETFONT, font, FALSE);
    SendMessageW(Controls.AlteredList, WM_SETFONT, font, FALSE);
    SendMessageW(Controls.HashedList, WM_SETFONT, font, FALSE);
    SendMessageW(Controls.UnhashedList, WM_SETFONT, font, FALSE);
    SendMessageW(Controls.StatusText, WM_SETFONT, font, FALSE);
    SendMessageW(Controls.StatusBar, WM_SETFONT, font, FALSE);
    // The altered list draws its own entries: as high as the others' lines.
    SendMessageW(Controls.AlteredList, LB_SETITEMHEIGHT, 0,
                 SendMessageW(Controls.HashedList, LB_GETITEMHEIGHT, 0, 0));
}

INT_PTR OnInitDialog(HWND window) {
    HANDLE icon = LoadImageW(ModuleInstance, MAKEINTRESOURCEW(IconGroupId), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE);
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    LookUpControls(window);
    // Limit 0: the platform maximum instead of 32767 characters.
    SendMessageW(Controls.TargetEdit, EM_LIMITTEXT, 0, 0);

    // The change notification of this seeding arrives before DialogReady and
    // so does not count as an edit.
    const wchar_t* arguments = ArgumentsOfCommandLine(SeedCommandLine ? SeedCommandLine : GetCommandLineW());
    SetDlgItemTextW(window, TargetEditId, arguments);
    BOOL targets = arguments[0] != 0;
    EnableWindow(Controls.StartButton, targets);
    EnableWindow(Controls.ListButton, targets);
    EnableWindow(Controls.RemoveButton, targets);

    AdmitDroppedFiles(window);
    DragAcceptFiles(window, TRUE);
    GiveNarrowFont(window);
    MeasureLayout(window);
    SelectListGroup(false);
    CountNewLists();
    DialogReady = 1;
    MainWindow = window;
    return TRUE;
}
