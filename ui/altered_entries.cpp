// The entries of "Altered Files:". Each keeps what the check judged of its
// file as item data, so that the list draws a mark telling an edit from a
// change without one, Rewrite Hashes can ask before it blesses the latter,
// and a double-click shows what was judged. The entry's text stays the path.
#include <windows.h>

#include <cstdio>
#include <new>
#include <string>

#include "store/file_outcome.h"
#include "store/front_end_text.h"
#include "ui/resource_ids.h"
#include "ui/window.h"

struct AlteredDetails {
    Verdict verdict;
    int reason;
    bool judged;
    FileJudgement judgement;
};

static const AlteredDetails* DetailsAt(LRESULT index) {
    LRESULT data = SendMessageW(Controls.AlteredList, LB_GETITEMDATA, static_cast<WPARAM>(index), 0);
    return data == LB_ERR ? nullptr : reinterpret_cast<const AlteredDetails*>(data);
}

void AppendAlteredEntry(const FileOutcome& outcome) {
    LRESULT index = SendMessageW(Controls.AlteredList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(outcome.text));
    if (index < 0) return;
    // Without its details (no memory) the entry is drawn and asked about as
    // a change without an edit: the safe side.
    AlteredDetails* details = new (std::nothrow) AlteredDetails();
    if (details == nullptr) return;
    details->verdict = outcome.verdict;
    details->reason = outcome.reason;
    details->judged = outcome.judgement != nullptr;
    if (details->judged) details->judgement = *outcome.judgement;
    SendMessageW(Controls.AlteredList, LB_SETITEMDATA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(details));
}

INT_PTR OnDeleteItem(const DELETEITEMSTRUCT* item) {
    if (item->CtlID != AlteredListId) return FALSE;
    delete reinterpret_cast<AlteredDetails*>(item->itemData);
    return TRUE;
}

int CountAlteredEdits() {
    int count = static_cast<int>(SendMessageW(Controls.AlteredList, LB_GETCOUNT, 0, 0)), edits = 0;
    for (int i = 0; i < count; ++i) {
        const AlteredDetails* details = DetailsAt(i);
        if (details != nullptr && details->verdict == VerdictEdited) ++edits;
    }
    return edits;
}

// A mark in a square before the path: "!" in red for contents changed
// without an edit (rot, or a digest that is no digest), "E" for an edit.
INT_PTR OnDrawItem(const DRAWITEMSTRUCT* item) {
    if (item->CtlID != AlteredListId) return FALSE;
    HDC dc = item->hDC;
    RECT area = item->rcItem;
    if (item->itemID == static_cast<UINT>(-1)) {
        if (item->itemState & ODS_FOCUS) DrawFocusRect(dc, &area);
        return TRUE;
    }
    bool selected = (item->itemState & ODS_SELECTED) != 0;
    FillRect(dc, &area, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    const AlteredDetails* details = reinterpret_cast<const AlteredDetails*>(item->itemData);
    bool edited = details != nullptr && details->verdict == VerdictEdited;
    SetBkMode(dc, TRANSPARENT);
    RECT mark = area;
    mark.right = mark.left + (area.bottom - area.top);
    SetTextColor(dc, selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : edited ? RGB(0, 64, 160) : RGB(192, 0, 0));
    DrawTextW(dc, edited ? L"E" : L"!", 1, &mark, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    LRESULT length = SendMessageW(Controls.AlteredList, LB_GETTEXTLEN, item->itemID, 0);
    if (length > 0) {
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        SendMessageW(Controls.AlteredList, LB_GETTEXT, item->itemID, reinterpret_cast<LPARAM>(&text[0]));
        RECT path = area;
        path.left = mark.right;
        SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        DrawTextW(dc, text.c_str(), static_cast<int>(length), &path, DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    if (item->itemState & ODS_FOCUS) DrawFocusRect(dc, &area);
    return TRUE;
}

// Sixteen bytes a line, as the viewer shows a digest.
static std::wstring HexOf(const uint8_t* bytes, int count) {
    PathChar hex[3 * 64 + 1];
    AppendDigestHex(bytes, count, hex);
    return std::wstring(L"\n") + hex;
}

// "2024-05-01 09:30:12.1234567 UTC, 12 bytes"
static std::wstring FactsText(const FileFacts& facts) {
    int64_t seconds;
    int32_t nanoseconds;
    wchar_t text[96];
    unsigned long long size = facts.size;
    SYSTEMTIME time;
    ULONGLONG ticks = 0;
    bool known = SplitFileTime(facts, &seconds, &nanoseconds) && seconds > -11644473600LL;
    if (known) ticks = static_cast<ULONGLONG>(seconds + 11644473600LL) * 10000000ULL + nanoseconds / 100;
    FILETIME file = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    if (known && FileTimeToSystemTime(&file, &time)) {
        std::swprintf(text, 96, L"%04u-%02u-%02u %02u:%02u:%02u.%07u UTC, %llu bytes", time.wYear, time.wMonth,
                      time.wDay, time.wHour, time.wMinute, time.wSecond, static_cast<unsigned>(ticks % 10000000),
                      size);
    } else {
        std::swprintf(text, 96, L"time unknown, %llu bytes", size);
    }
    return text;
}

static const wchar_t* VerdictText(const AlteredDetails& details) {
    if (details.verdict == VerdictMalformed) return L"The stored value is no digest: it cannot be compared.";
    if (details.verdict != VerdictEdited) {
        return L"Changed without an edit: the size and last-write time are as recorded (or nothing records "
               L"them), yet the contents differ. This may be damage.";
    }
    if (details.reason == ErrorOlderVersion) return L"Replaced by an older version: written before it was hashed.";
    return L"Edited: written since its digest was stored.";
}

void ShowAlteredDetails() {
    LRESULT selected = SendMessageW(Controls.AlteredList, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR) return;
    LRESULT length = SendMessageW(Controls.AlteredList, LB_GETTEXTLEN, static_cast<WPARAM>(selected), 0);
    const AlteredDetails* details = DetailsAt(selected);
    if (length == LB_ERR || details == nullptr) return;
    std::wstring path(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(Controls.AlteredList, LB_GETTEXT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(&path[0]));
    path.resize(static_cast<size_t>(length));
    std::wstring text = path + L"\n\n" + VerdictText(*details);
    if (details->judged) {
        const FileJudgement& judged = details->judgement;
        int stored = judged.stored.length < 64 ? judged.stored.length : 64;
        if (stored >= 0) {
            wchar_t head[64];
            std::swprintf(head, 64, L"\n\nStored (%d bytes):", judged.stored.length);
            text += head + HexOf(judged.stored.bytes, stored);
        }
        if (judged.hashed) text += L"\nComputed:" + HexOf(judged.computed, 64);
        if (judged.hashed && judged.record == RecordUsable) text += L"\n\nRecorded: " + FactsText(judged.recorded);
        text += L"\nNow: " + FactsText(judged.facts);
    }
    MessageBoxW(MainWindow, text.c_str(), L"Altered File", MB_OK | MB_ICONINFORMATION);
}
