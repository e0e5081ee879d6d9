// The progress display: one tick a second in the three status bar parts and on
// the taskbar button. Every call on TaskbarProgress is made here, on the UI
// thread (the COM apartment of the object).
#include <windows.h>

#include <commctrl.h>

#include "store/operation_state.h"
#include "ui/window.h"

void SetTaskbarState(TBPFLAG state) {
    if (TaskbarProgress) TaskbarProgress->SetProgressState(MainWindow, state);
}

static void SetStatusBarPart(int part, const char* text) {
    // The texts are ASCII and at most 59 characters.
    wchar_t wide[ProgressTextUnits];
    int i = 0;
    for (; i < ProgressTextUnits - 1 && text[i]; ++i) wide[i] = static_cast<wchar_t>(text[i]);
    wide[i] = 0;
    SendMessageW(Controls.StatusBar, SB_SETTEXTW, part, reinterpret_cast<LPARAM>(wide));
}

void ProgressTick() {
    DrawHeldChanges();
    // Nothing read yet: no time taken, no text, no taskbar value.
    if (OperationState.BytesDone.load() == 0) return;
    ProgressInput input;
    if (!TakeProgressTick(SystemTimeNow(), &input)) return;
    ProgressTexts texts;
    FormatProgressTick(input, &texts);
    SetStatusBarPart(0, texts.percent);
    SetStatusBarPart(1, texts.throughput);
    SetStatusBarPart(2, texts.remaining);
    if (TaskbarProgress) TaskbarProgress->SetProgressValue(MainWindow, input.bytesDone, input.bytesTotal);
}
