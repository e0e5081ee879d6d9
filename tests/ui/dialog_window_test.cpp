// The resources and the window as initialisation leaves it: the template's
// controls, the icon, version block and manifest, the initial states, the
// command-line seeding, the enabling while typing, drops and resizing.
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <cstring>

#include "store/operation_state.h"
#include "tests/ui/dialog_harness.h"
#include "ui/resource_ids.h"
#include "ui/window.h"

namespace {

// ---- the template, read back from the executable's own resources ----------

struct TemplateReader {
    const uint8_t* p;
    uint16_t Word() {
        uint16_t v;
        std::memcpy(&v, p, 2);
        p += 2;
        return v;
    }
    uint32_t Dword() {
        uint32_t v;
        std::memcpy(&v, p, 4);
        p += 4;
        return v;
    }
    std::wstring String() {
        std::wstring s;
        for (uint16_t c = Word(); c; c = Word()) s += static_cast<wchar_t>(c);
        return s;
    }
    // A name or an ordinal: ordinals come back as "#n".
    std::wstring NameOrOrdinal() {
        uint16_t first;
        std::memcpy(&first, p, 2);
        if (first == 0) {
            p += 2;
            return L"";
        }
        if (first == 0xFFFF) {
            p += 2;
            return L"#" + std::to_wstring(Word());
        }
        return String();
    }
    void AlignDword(const uint8_t* base) {
        while ((p - base) % 4) ++p;
    }
};

struct ExpectedControl {
    int id;
    const wchar_t* templateClass;  // the predefined class's ordinal; windres writes its name
    const wchar_t* windowClass;
    const wchar_t* text;
    DWORD style;  // beyond WS_CHILD | WS_VISIBLE
    short x, y, w, h;
};

const DWORD List = WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_DISABLENOSCROLL;
const DWORD Label = SS_LEFTNOWORDWRAP | SS_NOPREFIX;

const ExpectedControl Expected[20] = {
    {501, L"#128", L"Button", L"", BS_GROUPBOX, 6, 3, 348, 251},
    {301, L"#129", L"Edit", L"", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 13, 26, 334, 12},
    {101, L"#128", L"Button", L"Add Files/Folders", WS_TABSTOP, 13, 12, 64, 13},
    {102, L"#128", L"Button", L"List Files", WS_TABSTOP, 236, 12, 43, 13},
    {103, L"#128", L"Button", L"Remove Hashes", WS_TABSTOP, 283, 12, 64, 13},
    {502, L"#128", L"Button", L"", BS_GROUPBOX, 11, 43, 338, 92},
    {201, L"#130", L"Static", L"Altered Files:", Label, 16, 52, 50, 10},
    {104, L"#128", L"Button", L"Rewrite Hashes", WS_DISABLED | WS_TABSTOP, 283, 49, 64, 13},
    // The altered list draws its marks itself.
    {401, L"#131", L"ListBox", L"", List | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS, 13, 63, 334, 70},
    {202, L"#130", L"Static", L"Files with Hash:", Label, 16, 52, 60, 10},
    {105, L"#128", L"Button", L"Show Altered Files", WS_TABSTOP, 283, 49, 64, 13},
    {402, L"#131", L"ListBox", L"", List, 13, 63, 334, 70},
    {503, L"#128", L"Button", L"", BS_GROUPBOX, 11, 139, 338, 92},
    {203, L"#130", L"Static", L"Files without Hash:", Label, 16, 148, 70, 10},
    {106, L"#128", L"Button", L"Create Hashes", WS_DISABLED | WS_TABSTOP, 283, 145, 64, 13},
    {403, L"#131", L"ListBox", L"", List, 13, 159, 334, 70},
    {204, L"#130", L"Static", L"Ready.", Label, 16, 237, 328, 10},
    {1, L"#128", L"Button", L"Start", WS_TABSTOP | BS_DEFPUSHBUTTON, 265, 258, 43, 13},
    {2, L"#128", L"Button", L"Exit", WS_TABSTOP, 312, 258, 43, 13},
    {601, L"msctls_statusbar32", L"msctls_statusbar32", L"", 0, 0, 0, 0, 0},
};

const uint8_t* ResourceBytes(const wchar_t* name, const wchar_t* type, DWORD* size, WORD language = 0) {
    HRSRC found = language ? FindResourceExW(nullptr, type, name, language) : FindResourceW(nullptr, name, type);
    if (!found) return nullptr;
    *size = SizeofResource(nullptr, found);
    return static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, found)));
}

TEST(Resources, DialogTemplateHoldsTheTwentyControlsInOrder) {
    DWORD size = 0;
    const uint8_t* base = ResourceBytes(L"DLG", RT_DIALOG, &size, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(base, nullptr);
    TemplateReader r = {base};
    EXPECT_EQ(r.Word(), 1);       // extended template
    EXPECT_EQ(r.Word(), 0xFFFF);
    r.Dword();                    // help id
    EXPECT_EQ(r.Dword(), 0u);     // no extended style
    EXPECT_EQ(r.Dword(), static_cast<DWORD>(WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX |
                                            WS_MAXIMIZEBOX | DS_CENTER | DS_SHELLFONT));
    EXPECT_EQ(r.Word(), 20);
    EXPECT_EQ(r.Word(), 0);
    EXPECT_EQ(r.Word(), 0);
    EXPECT_EQ(r.Word(), 360);
    EXPECT_EQ(r.Word(), 289);
    EXPECT_EQ(r.NameOrOrdinal(), L"");  // menu
    EXPECT_EQ(r.NameOrOrdinal(), L"");  // class
    EXPECT_EQ(r.String(), L"Quorvane");
    EXPECT_EQ(r.Word(), 9);             // points
    EXPECT_EQ(r.Word(), 0);             // weight
    EXPECT_EQ(*r.p++, 0);               // italic
    EXPECT_EQ(*r.p++, 0);               // character set
    EXPECT_EQ(r.String(), L"MS Shell Dlg");
    for (const ExpectedControl& e : Expected) {
        r.AlignDword(base);
        r.Dword();
        EXPECT_EQ(r.Dword(), 0u) << e.id;
        EXPECT_EQ(r.Dword(), WS_CHILD | WS_VISIBLE | e.style) << e.id;
        short rect[4];
        for (short& v : rect) v = static_cast<short>(r.Word());
        EXPECT_EQ(rect[0], e.x) << e.id;
        EXPECT_EQ(rect[1], e.y) << e.id;
        EXPECT_EQ(rect[2], e.w) << e.id;
        EXPECT_EQ(rect[3], e.h) << e.id;
        EXPECT_EQ(r.Dword(), static_cast<uint32_t>(e.id));
        std::wstring cls = r.NameOrOrdinal();
        EXPECT_TRUE(_wcsicmp(cls.c_str(), e.templateClass) == 0 || _wcsicmp(cls.c_str(), e.windowClass) == 0)
            << e.id;
        EXPECT_EQ(r.NameOrOrdinal(), e.text) << e.id;
        r.p += r.Word();
    }
    EXPECT_LE(static_cast<DWORD>(r.p - base), size);
}

TEST(Resources, IconGroupTwoHoldsOne48By48ImageOfThirtyTwoBits) {
    DWORD size = 0;
    const uint8_t* group = ResourceBytes(MAKEINTRESOURCEW(IconGroupId), RT_GROUP_ICON, &size);
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(size, 6u + 14u);
    uint16_t count, bits, id;
    std::memcpy(&count, group + 4, 2);
    std::memcpy(&bits, group + 6 + 6, 2);
    std::memcpy(&id, group + 6 + 12, 2);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(group[6], 48);
    EXPECT_EQ(group[7], 48);
    EXPECT_EQ(bits, 32);
    EXPECT_EQ(id, 1);
    EXPECT_NE(ResourceBytes(MAKEINTRESOURCEW(1), RT_ICON, &size), nullptr);
}

TEST(Resources, VersionBlock) {
    DWORD size = 0;
    const uint8_t* block = ResourceBytes(MAKEINTRESOURCEW(VersionBlockId), RT_VERSION, &size);
    ASSERT_NE(block, nullptr);
    std::vector<uint8_t> copy(block, block + size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(copy.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwProductVersionMS, 0u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, 0u);
    EXPECT_EQ(fixed->dwFileType, 0u);
    // The version itself: install_test.sh compares it with every other place it shows.
    const wchar_t* names[2][2] = {{L"FileDescription", L"Quorvane"}, {L"ProductName", L"Quorvane"}};
    for (auto& pair : names) {
        wchar_t* value = nullptr;
        std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + pair[0];
        ASSERT_TRUE(VerQueryValueW(copy.data(), query.c_str(), reinterpret_cast<void**>(&value), &length));
        EXPECT_STREQ(value, pair[1]);
    }
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(copy.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04B0);
}

TEST(Resources, ManifestAsksForCommonControlsSixAndTheInvokersRights) {
    DWORD size = 0;
    const uint8_t* bytes = ResourceBytes(MAKEINTRESOURCEW(ManifestId), MAKEINTRESOURCEW(24), &size);
    ASSERT_NE(bytes, nullptr);
    std::string text(reinterpret_cast<const char*>(bytes), size);
    EXPECT_NE(text.find("manifestVersion=\"1.0\""), std::string::npos);
    EXPECT_NE(text.find("type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" "
                        "processorArchitecture=\"*\" publicKeyToken=\"6595b64144ccf1df\""),
              std::string::npos);
    // Declared, so that Windows redirects no write of the 32-bit program to a per-user copy.
    EXPECT_NE(text.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos);
    EXPECT_EQ(text.find("dpiAware"), std::string::npos);
    EXPECT_EQ(text.find("<dependency>"), text.rfind("<dependency>"));
}

// ---- the live window ----------------------------------------------------------

TEST_F(DialogTest, InitialisationLeavesTheControlsAsTheTemplateSaysAndFocusInTheField) {
    ASSERT_TRUE(Open(L"\"C:\\Program Files\\Quorvane.exe\""));
    EXPECT_EQ(TextOf(MainWindow), L"Quorvane");
    LONG style = GetWindowLongW(MainWindow, GWL_STYLE);
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_FALSE(style & WS_POPUP);
    for (const ExpectedControl& e : Expected) {
        HWND control = Item(e.id);
        ASSERT_NE(control, nullptr) << e.id;
        wchar_t cls[64];
        GetClassNameW(control, cls, 64);
        EXPECT_EQ(_wcsicmp(cls, e.windowClass), 0) << e.id << " " << cls;
        if (e.id != TargetEditId && e.id != StatusBarId) {
            EXPECT_EQ(TextOf(control), e.text) << e.id;
        }
    }
    // One group of the upper list area shown, the other hidden.
    for (int id : {AlteredLabelId, RewriteButtonId, AlteredListId}) EXPECT_TRUE(IsWindowVisible(Item(id))) << id;
    for (int id : {HashedLabelId, ShowAlteredButtonId, HashedListId}) EXPECT_FALSE(IsWindowVisible(Item(id))) << id;
    // No targets: nothing to start.
    EXPECT_EQ(TextOf(Item(TargetEditId)), L"");
    for (int id : {StartButtonId, ListButtonId, RemoveButtonId, RewriteButtonId, CreateButtonId}) {
        EXPECT_FALSE(IsWindowEnabled(Item(id))) << id;
    }
    for (int id : {AddButtonId, ExitButtonId, ShowAlteredButtonId, TargetEditId}) {
        EXPECT_TRUE(IsWindowEnabled(Item(id))) << id;
    }
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetGUIThreadInfo(uiThread, &info));
    EXPECT_EQ(info.hwndFocus, Item(TargetEditId));

    // The small icon only.
    EXPECT_NE(SendMessageW(MainWindow, WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_EQ(SendMessageW(MainWindow, WM_GETICON, ICON_BIG, 0), 0);
    // The narrow font on the text-heavy controls, the dialog font elsewhere.
    HFONT narrow = NarrowFont;
    ASSERT_NE(narrow, nullptr);
    for (int id : {TargetEditId, AlteredListId, HashedListId, UnhashedListId, StatusTextId, StatusBarId}) {
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(Item(id), WM_GETFONT, 0, 0)), narrow) << id;
    }
    for (int id : {StartButtonId, AlteredLabelId, OuterFrameId}) {
        EXPECT_NE(reinterpret_cast<HFONT>(SendMessageW(Item(id), WM_GETFONT, 0, 0)), narrow) << id;
    }
    // More than the default 32767 characters can be typed.
    EXPECT_GT(SendMessageW(Item(TargetEditId), EM_GETLIMITTEXT, 0, 0), 32767);

    RECT client;
    GetClientRect(MainWindow, &client);
    int parts[3] = {};
    EXPECT_EQ(SendMessageW(Item(StatusBarId), SB_GETPARTS, 3, reinterpret_cast<LPARAM>(parts)), 3);
    EXPECT_EQ(parts[0], client.right * 9 / 100);
    EXPECT_EQ(parts[1], client.right * 40 / 100);
    EXPECT_EQ(parts[2], -1);
    MINMAXINFO minmax = {};
    SendMessageW(MainWindow, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&minmax));
    EXPECT_EQ(minmax.ptMinTrackSize.x, client.right * 64 / 100);
    EXPECT_EQ(minmax.ptMinTrackSize.y, client.bottom * 66 / 100);
    EXPECT_EQ(DialogReady, 1);
    EXPECT_EQ(OperationState.mode.load(), Idle);
}

TEST_F(DialogTest, CommandLineSeedsTheFieldExactlyAndEnablesTheRunButtons) {
    ASSERT_TRUE(Open(L"\"C:\\Program Files\\Quorvane.exe\" D:\\Data \"E:\\My Files\""));
    EXPECT_EQ(TextOf(Item(TargetEditId)), L"D:\\Data \"E:\\My Files\"");
    for (int id : {StartButtonId, ListButtonId, RemoveButtonId}) EXPECT_TRUE(IsWindowEnabled(Item(id))) << id;
    for (int id : {RewriteButtonId, CreateButtonId}) EXPECT_FALSE(IsWindowEnabled(Item(id))) << id;
}

TEST_F(DialogTest, TypingEnablesTheRunButtonsAndEmptyingDisablesThem) {
    ASSERT_TRUE(Open());
    TargetsEdited = 0;
    SetField(L"x");
    for (int id : {StartButtonId, ListButtonId, RemoveButtonId}) EXPECT_TRUE(IsWindowEnabled(Item(id))) << id;
    EXPECT_EQ(TargetsEdited, 1);
    SetField(L"");
    for (int id : {StartButtonId, ListButtonId, RemoveButtonId}) EXPECT_FALSE(IsWindowEnabled(Item(id))) << id;
    // Blanks only count as text.
    SetField(L"   ");
    EXPECT_TRUE(IsWindowEnabled(Item(StartButtonId)));
    // More than 32767 characters go in by typing (the limit is lifted).
    SetField(L"");
    SendMessageW(Item(TargetEditId), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(std::wstring(40000, L'a').c_str()));
    EXPECT_EQ(GetWindowTextLengthW(Item(TargetEditId)), 40000);
}

TEST_F(DialogTest, ExitWhileIdleClosesAtOnce) {
    ASSERT_TRUE(Open());
    CloseIdle();
    EXPECT_FALSE(IsWindow(MainWindow));
}

TEST_F(DialogTest, FirstSizeMessageOrdersTheSiblingsInReverseOfThePlacements) {
    ASSERT_TRUE(Open());
    RECT client;
    GetClientRect(MainWindow, &client);
    SendMessageW(MainWindow, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    const int order[20] = {TargetEditId,   AddButtonId,      ListButtonId,     RemoveButtonId,  RewriteButtonId,
                           ShowAlteredButtonId, AlteredListId, HashedListId,    CreateButtonId,  UnhashedListId,
                           StartButtonId,  ExitButtonId,     StatusBarId,      StatusTextId,    UnhashedLabelId,
                           LowerListFrameId, UpperListFrameId, OuterFrameId,   AlteredLabelId,  HashedLabelId};
    HWND child = GetWindow(MainWindow, GW_CHILD);
    for (int id : order) {
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(GetDlgCtrlID(child), id);
        child = GetWindow(child, GW_HWNDNEXT);
    }
}

// ---- resizing ----------------------------------------------------------------

struct Snapshot {
    RECT rect[20];
};

Snapshot Take(HWND window) {
    Snapshot s;
    for (int i = 0; i < 20; ++i) {
        HWND control = GetDlgItem(window, Expected[i].id);
        GetWindowRect(control, &s.rect[i]);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&s.rect[i]), 2);
    }
    return s;
}

int IndexOf(int id) {
    for (int i = 0; i < 20; ++i) {
        if (Expected[i].id == id) return i;
    }
    return -1;
}

void ExpectShift(const Snapshot& a, const Snapshot& b, int id, int dx, int dy, int dw, int dh) {
    const RECT& r = a.rect[IndexOf(id)];
    const RECT& s = b.rect[IndexOf(id)];
    EXPECT_EQ(s.left - r.left, dx) << id;
    EXPECT_EQ(s.top - r.top, dy) << id;
    EXPECT_EQ((s.right - s.left) - (r.right - r.left), dw) << id;
    EXPECT_EQ((s.bottom - s.top) - (r.bottom - r.top), dh) << id;
}

void ResizeClientBy(HWND window, int dx, int dy) {
    RECT outer;
    GetWindowRect(window, &outer);
    SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left + dx, outer.bottom - outer.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

TEST_F(DialogTest, HundredPixelsTallerThenBackAndWider) {
    ASSERT_TRUE(Open());
    RECT client;
    GetClientRect(MainWindow, &client);
    // Start from an even height so that the split line moves by exactly half.
    if (client.bottom % 2) ResizeClientBy(MainWindow, 0, 1);
    Snapshot before = Take(MainWindow);
    ResizeClientBy(MainWindow, 0, 100);
    Snapshot taller = Take(MainWindow);
    for (int id : {UpperListFrameId, AlteredListId, HashedListId}) ExpectShift(before, taller, id, 0, 0, 0, 50);
    for (int id : {LowerListFrameId, UnhashedListId}) ExpectShift(before, taller, id, 0, 50, 0, 50);
    for (int id : {UnhashedLabelId, CreateButtonId}) ExpectShift(before, taller, id, 0, 50, 0, 0);
    ExpectShift(before, taller, OuterFrameId, 0, 0, 0, 100);
    for (int id : {StatusTextId, StartButtonId, ExitButtonId, StatusBarId}) {
        ExpectShift(before, taller, id, 0, 100, 0, 0);
    }
    for (int id : {TargetEditId, AddButtonId, ListButtonId, RemoveButtonId, RewriteButtonId, ShowAlteredButtonId,
                   AlteredLabelId, HashedLabelId}) {
        ExpectShift(before, taller, id, 0, 0, 0, 0);
    }

    ResizeClientBy(MainWindow, 0, -100);
    Snapshot back = Take(MainWindow);
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(EqualRect(&before.rect[i], &back.rect[i])) << Expected[i].id;
    }

    int partsBefore[3];
    SendMessageW(Item(StatusBarId), SB_GETPARTS, 3, reinterpret_cast<LPARAM>(partsBefore));
    ResizeClientBy(MainWindow, 100, 0);
    Snapshot wider = Take(MainWindow);
    for (int id : {ListButtonId, RemoveButtonId, RewriteButtonId, ShowAlteredButtonId, CreateButtonId, StartButtonId,
                   ExitButtonId}) {
        ExpectShift(before, wider, id, 100, 0, 0, 0);
    }
    for (int id : {OuterFrameId, UpperListFrameId, LowerListFrameId, TargetEditId, AlteredListId, HashedListId,
                   UnhashedListId, StatusTextId, StatusBarId}) {
        ExpectShift(before, wider, id, 0, 0, 100, 0);
    }
    for (int id : {AddButtonId, AlteredLabelId, HashedLabelId, UnhashedLabelId}) {
        ExpectShift(before, wider, id, 0, 0, 0, 0);
    }
    int partsAfter[3];
    SendMessageW(Item(StatusBarId), SB_GETPARTS, 3, reinterpret_cast<LPARAM>(partsAfter));
    EXPECT_EQ(partsAfter[0], partsBefore[0]);
    EXPECT_EQ(partsAfter[1], partsBefore[1]);
}

TEST_F(DialogTest, MinimisedSizeMessageThenRestoreLaysOutAsBefore) {
    ASSERT_TRUE(Open());
    RECT client;
    GetClientRect(MainWindow, &client);
    Snapshot before = Take(MainWindow);
    SendMessageW(MainWindow, WM_SIZE, SIZE_MINIMIZED, 0);
    Snapshot tiny = Take(MainWindow);
    for (const RECT& r : tiny.rect) {
        EXPECT_GE(r.right - r.left, 0);
        EXPECT_GE(r.bottom - r.top, 0);
    }
    SendMessageW(MainWindow, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    Snapshot after = Take(MainWindow);
    for (int i = 0; i < 20; ++i) EXPECT_TRUE(EqualRect(&before.rect[i], &after.rect[i])) << Expected[i].id;
}

// What a control shows on the screen: the pixels of its client area, width
// by height from its top-left corner.
std::vector<COLORREF> Pixels(HWND control, int width, int height) {
    HDC screen = GetDC(control);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<COLORREF> pixels(static_cast<size_t>(width) * height);
    GetDIBits(memory, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(control, screen);
    return pixels;
}

// Carries out every repaint the window has pending, on its own thread, so
// that the screen shows what the window left to be drawn.
void PaintPending(HWND window) { RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN); }

TEST_F(DialogTest, EveryControlIsDrawnAgainAtItsPlaceAfterTheWindowGrows) {
    ASSERT_TRUE(Open(L"Quorvane.exe C:\\"));
    PaintPending(MainWindow);
    // Controls that move into the area the window gains, and the status text,
    // which grows into it: each compared over its size before.
    const int moved[] = {ListButtonId, RemoveButtonId, RewriteButtonId, CreateButtonId, StartButtonId, StatusTextId};
    RECT sizes[6];
    std::vector<COLORREF> before[6];
    for (int i = 0; i < 6; ++i) {
        GetClientRect(Item(moved[i]), &sizes[i]);
        before[i] = Pixels(Item(moved[i]), sizes[i].right, sizes[i].bottom);
    }
    ResizeClientBy(MainWindow, 200, 150);
    PaintPending(MainWindow);
    for (int i = 0; i < 6; ++i) {
        EXPECT_TRUE(Pixels(Item(moved[i]), sizes[i].right, sizes[i].bottom) == before[i]) << moved[i];
    }
}

// ---- dropped files -------------------------------------------------------------

HDROP MakeDrop(const std::vector<std::wstring>& paths) {
    size_t units = 1;
    for (const std::wstring& p : paths) units += p.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + units * sizeof(wchar_t));
    DROPFILES* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    wchar_t* out = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(drop) + sizeof(DROPFILES));
    for (const std::wstring& p : paths) {
        std::memcpy(out, p.c_str(), (p.size() + 1) * sizeof(wchar_t));
        out += p.size() + 1;
    }
    *out = 0;
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

TEST_F(DialogTest, DroppedPathsAreQuotedAndGoInFrontOfEditedText) {
    ASSERT_TRUE(Open());
    LRESULT handled = SendMessageW(MainWindow, WM_DROPFILES,
                                   reinterpret_cast<WPARAM>(MakeDrop({L"C:\\a.txt", L"C:\\My Data\\b.txt"})), 0);
    EXPECT_EQ(TextOf(Item(TargetEditId)), L"C:\\a.txt \"C:\\My Data\\b.txt\"");
    (void)handled;
    // The field's own change notification re-evaluates the buttons and marks
    // the targets as edited, so the next drop goes in front.
    EXPECT_TRUE(IsWindowEnabled(Item(StartButtonId)));
    EXPECT_EQ(TargetsEdited, 1);
    SendMessageW(MainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({L"D:\\x"})), 0);
    EXPECT_EQ(TextOf(Item(TargetEditId)), L"D:\\x C:\\a.txt \"C:\\My Data\\b.txt\"");
}

TEST_F(DialogTest, AfterARunStartedADropReplacesTheField) {
    ASSERT_TRUE(Open(L"Quorvane.exe D:\\old"));
    // A drop right after start-up goes in front of the command line's text.
    SendMessageW(MainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({L"C:\\new"})), 0);
    EXPECT_EQ(TextOf(Item(TargetEditId)), L"C:\\new D:\\old");
    TargetsEdited = 0;  // as a started run leaves it
    SendMessageW(MainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({L"C:\\third one"})), 0);
    EXPECT_EQ(TextOf(Item(TargetEditId)), L"\"C:\\third one\"");
}

}  // namespace

// ---- the folder picker -----------------------------------------------------------

namespace {

struct PickerParts {
    HWND edit;
    bool titleShown;
    bool newFolderShown;
};

BOOL CALLBACK ReadPicker(HWND child, LPARAM param) {
    PickerParts* parts = reinterpret_cast<PickerParts*>(param);
    wchar_t cls[64];
    GetClassNameW(child, cls, 64);
    std::wstring text = TextOf(child);
    if (_wcsicmp(cls, L"Edit") == 0 && IsWindowVisible(child)) parts->edit = child;
    if (text == L"Quorvane" && IsWindowVisible(child)) parts->titleShown = true;
    if (text.find(L"New Folder") != std::wstring::npos && IsWindowVisible(child)) parts->newFolderShown = true;
    return TRUE;
}

}  // namespace

TEST_F(DialogTest, PickedPathGoesInFrontOfEditedTextAndCancelChangesNothing) {
    ASSERT_TRUE(Open(L"Quorvane.exe D:\\old"));
    ClickLater(AddButtonId);
    HWND picker = WaitForBox(uiThread, 10000);
    ASSERT_NE(picker, nullptr);
    PickerParts parts = {};
    EnumChildWindows(picker, ReadPicker, reinterpret_cast<LPARAM>(&parts));
    EXPECT_TRUE(parts.titleShown);
    EXPECT_NE(parts.edit, nullptr);
    EXPECT_FALSE(parts.newFolderShown);
    AnswerBox(picker, IDCANCEL);
    EXPECT_EQ(TextOf(Item(TargetEditId)), L"D:\\old");

    // The picker starts at the desktop; OK takes it.
    wchar_t desktop[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE));
    std::wstring picked = desktop;
    if (picked.find(L' ') != std::wstring::npos) picked = L"\"" + picked + L"\"";
    ClickLater(AddButtonId);
    picker = WaitForBox(uiThread, 10000);
    ASSERT_NE(picker, nullptr);
    AnswerBox(picker, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return TextOf(Item(TargetEditId)) != L"D:\\old"; }, 5000));
    EXPECT_EQ(TextOf(Item(TargetEditId)), picked + L" D:\\old");

    // After a run started from the field, a pick replaces it.
    TargetsEdited = 0;
    ClickLater(AddButtonId);
    picker = WaitForBox(uiThread, 10000);
    ASSERT_NE(picker, nullptr);
    AnswerBox(picker, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return TextOf(Item(TargetEditId)) == picked; }, 5000));
}
