// The two ways of filling the target field besides typing: the shell's
// folder picker and files dropped onto the window.
#include <windows.h>

#include <shlobj.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "ui/resource_ids.h"
#include "ui/target_text.h"
#include "ui/window.h"

static std::wstring FieldText() {
    int length = GetWindowTextLengthW(Controls.TargetEdit);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(Controls.TargetEdit, &text[0], length + 1);
    text.resize(static_cast<size_t>(got < 0 ? 0 : got));
    return text;
}

// fieldLength: the field's length when the command arrived.
void FolderPicker(int fieldLength) {
    // The picker and the path query write up to MAX_PATH units into TargetText;
    // without that room (the heap refused it) there is no pick.
    if (!GrowTargetText(MAX_PATH)) return;
    BROWSEINFOW info = {};
    info.hwndOwner = MainWindow;
    info.pidlRoot = nullptr;
    info.pszDisplayName = TargetText;
    info.lpszTitle = L"Quorvane";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE | BIF_NONEWFOLDERBUTTON |
                   BIF_BROWSEINCLUDEFILES;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (!chosen) return;
    // An item without a file-system path gives no text; the field stays.
    BOOL hasPath = SHGetPathFromIDListW(chosen, TargetText);
    CoTaskMemFree(chosen);
    if (!hasPath) return;
    std::wstring field = FieldText();
    // A text that does not fit leaves the field as it was, never cut.
    if (ComposePickedTarget(field.c_str(), fieldLength, TargetsEdited != 0)) {
        SetDlgItemTextW(MainWindow, TargetEditId, TargetText);
    }
}

INT_PTR OnDropFiles(HDROP drop) {
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    std::vector<std::wstring> paths(count);
    std::vector<const wchar_t*> pointers(count);
    for (UINT i = 0; i < count; ++i) {
        UINT length = DragQueryFileW(drop, i, nullptr, 0);
        paths[i].assign(length + 1, L'\0');
        UINT got = DragQueryFileW(drop, i, &paths[i][0], length + 1);
        paths[i].resize(got);
        pointers[i] = paths[i].c_str();
    }
    std::wstring field = TargetsEdited ? FieldText() : std::wstring();
    // Paths that do not all fit leave the field as it was.
    if (ComposeDroppedTargets(pointers.data(), static_cast<int>(count), field.c_str(), TargetsEdited != 0)) {
        SetDlgItemTextW(MainWindow, TargetEditId, TargetText);
    }
    DragFinish(drop);
    return TRUE;
}
