// The resizing layout on Win32: measuring the template's geometry once, and
// applying the placements of layout_rules to the controls.
#include <windows.h>

#include <commctrl.h>

#include "ui/window.h"

static ControlRect WindowRectIn(HWND window, HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    POINT corner = {r.left, r.top};
    ScreenToClient(window, &corner);
    ControlRect rect = {corner.x, corner.y, r.right - r.left, r.bottom - r.top};
    return rect;
}

// Client size, minimum track size, status bar parts, then the metrics.
void MeasureLayout(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    MeasuredGeometry g;
    g.clientWidth = client.right;
    g.clientHeight = client.bottom;
    ComputeMinimumTrackSize(g.clientWidth, g.clientHeight, &LayoutMetrics);
    int32_t parts32[3];
    ComputeStatusBarParts(g.clientWidth, parts32);
    int parts[3] = {parts32[0], parts32[1], parts32[2]};
    SendMessageW(Controls.StatusBar, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));

    g.OuterFrame = WindowRectIn(window, Controls.OuterFrame);
    g.TargetEdit = WindowRectIn(window, Controls.TargetEdit);
    g.ListButton = WindowRectIn(window, Controls.ListButton);
    g.RemoveButton = WindowRectIn(window, Controls.RemoveButton);
    g.RewriteButton = WindowRectIn(window, Controls.RewriteButton);
    g.CreateButton = WindowRectIn(window, Controls.CreateButton);
    g.StartButton = WindowRectIn(window, Controls.StartButton);
    g.ExitButton = WindowRectIn(window, Controls.ExitButton);
    g.UpperListFrame = WindowRectIn(window, Controls.UpperListFrame);
    g.AlteredList = WindowRectIn(window, Controls.AlteredList);
    g.LowerListFrame = WindowRectIn(window, Controls.LowerListFrame);
    g.UnhashedLabel = WindowRectIn(window, Controls.UnhashedLabel);
    g.UnhashedList = WindowRectIn(window, Controls.UnhashedList);
    g.StatusText = WindowRectIn(window, Controls.StatusText);
    g.StatusBar = WindowRectIn(window, Controls.StatusBar);
    MeasureLayoutMetrics(g, &LayoutMetrics);
}

static HWND PlacedControl(LayoutControl control) {
    switch (control) {
        case LayoutOuterFrame: return Controls.OuterFrame;
        case LayoutUpperListFrame: return Controls.UpperListFrame;
        case LayoutLowerListFrame: return Controls.LowerListFrame;
        case LayoutUnhashedLabel: return Controls.UnhashedLabel;
        case LayoutStatusText: return Controls.StatusText;
        case LayoutStatusBar: return Controls.StatusBar;
        case LayoutExitButton: return Controls.ExitButton;
        case LayoutStartButton: return Controls.StartButton;
        case LayoutUnhashedList: return Controls.UnhashedList;
        case LayoutCreateButton: return Controls.CreateButton;
        case LayoutHashedList: return Controls.HashedList;
        case LayoutAlteredList: return Controls.AlteredList;
        case LayoutShowAlteredButton: return Controls.ShowAlteredButton;
        case LayoutRewriteButton: return Controls.RewriteButton;
        case LayoutRemoveButton: return Controls.RemoveButton;
        case LayoutListButton: return Controls.ListButton;
        case LayoutAddButton: return Controls.AddButton;
        case LayoutTargetEdit: return Controls.TargetEdit;
    }
    return nullptr;
}

INT_PTR OnSize(LPARAM lParam) {
    // Before initialisation has measured anything there is nothing to place.
    if (!DialogReady) return TRUE;
    Placement placements[PlacementCount];
    ComputeLayout(LayoutMetrics, LOWORD(lParam), HIWORD(lParam), placements);
    for (const Placement& p : placements) {
        // Each placement also puts its control on top of the sibling order.
        UINT flags = (p.keepPosition ? SWP_NOMOVE : 0) | (p.keepSize ? SWP_NOSIZE : 0);
        SetWindowPos(PlacedControl(p.control), HWND_TOP, p.x, p.y, p.width, p.height, flags);
    }
    // The dialog does not clip its children (the frames enclose them), so its
    // background, erased where the window grew, covers controls placed there:
    // every control is drawn again, over the background, at its new place.
    RedrawWindow(MainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    return TRUE;
}

INT_PTR OnGetMinMaxInfo(LPARAM lParam) {
    MINMAXINFO* info = reinterpret_cast<MINMAXINFO*>(lParam);
    info->ptMinTrackSize.x = LayoutMetrics.minTrackWidth;
    info->ptMinTrackSize.y = LayoutMetrics.minTrackHeight;
    return TRUE;
}
