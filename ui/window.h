// The dialog's shared records and procedures. Only the UI thread touches the
// controls; workers reach them through the window services, which are
// synchronous messages to MainWindow (window_services_dialog.cpp).
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <cstdint>

#include "ui/layout_rules.h"

// Handles of the 20 controls, looked up once at initialisation.
struct DialogControls {
    HWND OuterFrame, UpperListFrame, LowerListFrame, TargetEdit;
    HWND AlteredList, HashedList, UnhashedList;
    HWND AlteredLabel, HashedLabel, UnhashedLabel, StatusText;
    HWND AddButton, ListButton, RemoveButton, RewriteButton, ShowAlteredButton, CreateButton;
    HWND StartButton, ExitButton, StatusBar;
};

extern HINSTANCE ModuleInstance;
extern ITaskbarList3* TaskbarProgress;  // null when the shell has none
extern HWND MainWindow;                 // recorded last at initialisation
extern DialogControls Controls;
extern HFONT NarrowFont;
extern LayoutMetricsRecord LayoutMetrics;
extern uint8_t DialogReady;
extern uint8_t TargetsEdited;
// The command line that seeds the target field; null: the process's own.
extern const wchar_t* SeedCommandLine;
// Threads that hash at once in a run; 0: chosen from the targets' volumes
// (DefaultHashThreads). Tests force a count.
extern int ForcedHashThreads;

const UINT_PTR ProgressTimerId = 1;
const UINT ProgressTimerPeriod = 1000;

// startup.cpp: steps before the window, then the modal dialog.
void PrepareProcess();
INT_PTR RunMainDialog();
INT_PTR CALLBACK MainDialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// main_window.cpp
INT_PTR OnInitDialog(HWND window);

// layout.cpp
void MeasureLayout(HWND window);
INT_PTR OnSize(LPARAM lParam);
INT_PTR OnGetMinMaxInfo(LPARAM lParam);

// commands.cpp
INT_PTR OnCommand(WPARAM wParam, LPARAM lParam);
void SelectListGroup(bool showHashed);
void DisableCommands();
void RestoreCommands();
// The work of the ClearStatusBar service, on the UI thread.
void ClearStatusBarParts();

// progress.cpp: ProgressTick and every call on TaskbarProgress.
void ProgressTick();
void SetTaskbarState(TBPFLAG state);

// viewer.cpp
void DigestViewer();
// altered_entries.cpp: the altered list's entries with what was judged of each.
struct FileOutcome;
void AppendAlteredEntry(const FileOutcome& outcome);
int CountAlteredEdits();
INT_PTR OnDrawItem(const DRAWITEMSTRUCT* item);
INT_PTR OnDeleteItem(const DELETEITEMSTRUCT* item);
void ShowAlteredDetails();

// picker_drop.cpp
void FolderPicker(int fieldLength);
INT_PTR OnDropFiles(HDROP drop);

// window_services_dialog.cpp: the workers' requests, carried out here, and
// the lists and status text they changed since the last tick, drawn.
void DrawHeldChanges();
// A new window's lists: entries a run read from the last window's are gone.
void CountNewLists();
bool IsWindowServiceMessage(UINT message);
LRESULT CarryOutWindowService(UINT message, WPARAM wParam, LPARAM lParam);
