// The scene of the README's screenshot (tools/screenshot.sh): the real dialog
// after a check of a sample folder in which one file changed since its digest
// was written and one file is new. The digests are held by the stream double,
// as in the dialog tests, because Wine stores no alternate data streams.
//   ui_screenshot_scene.exe READY-MARKER TAKEN-MARKER [READY-MARKER TAKEN-MARKER]
// Each READY-MARKER receives the client area's geometry as WIDTHxHEIGHT+X+Y
// once the window can be photographed; with the second pair the window is
// maximised after the first photograph, as a user would, and shown again.
#include <windows.h>

#include <string>

#include "store/operation_state.h"
#include "ui/resource_ids.h"
#include "ui/target_text.h"
#include "ui/window.h"

namespace {

DWORD WINAPI DialogThread(LPVOID) {
    CoInitialize(nullptr);
    RunMainDialog();
    return 0;
}

void WriteSample(const std::wstring& path, size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(seed >> 16);
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

void Command(int id) {
    SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(MainWindow, id)));
    while (OperationState.mode.load() != Idle) Sleep(20);
}

bool Exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// Tells where the client area is, in screen pixels (Wine's own caption
// buttons miss their symbol font, so the frame is left out), and waits until
// the photograph is taken.
void AwaitPhotograph(const wchar_t* readyMarker, const wchar_t* takenMarker) {
    RECT client;
    GetClientRect(MainWindow, &client);
    POINT corner = {0, 0};
    ClientToScreen(MainWindow, &corner);
    std::string where = std::to_string(client.right) + "x" + std::to_string(client.bottom) + "+" +
                        std::to_string(corner.x) + "+" + std::to_string(corner.y) + "\n";
    HANDLE ready = CreateFileW(readyMarker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(ready, where.data(), static_cast<DWORD>(where.size()), &written, nullptr);
    CloseHandle(ready);
    for (int i = 0; i < 600 && !Exists(takenMarker); ++i) Sleep(100);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    const std::wstring root = L"C:\\Archive";
    CreateDirectoryW(root.c_str(), nullptr);
    CreateDirectoryW((root + L"\\2023").c_str(), nullptr);
    CreateDirectoryW((root + L"\\Photos").c_str(), nullptr);
    const wchar_t* names[] = {L"\\2023\\report.pdf", L"\\2023\\budget.xlsx", L"\\Photos\\IMG_0412.jpg",
                              L"\\Photos\\IMG_0413.jpg", L"\\Photos\\IMG_0414.jpg", L"\\notes.txt"};
    DeleteFileW((root + L"\\Photos\\IMG_0415.jpg").c_str());  // new since the digests were made
    unsigned seed = 1;
    for (const wchar_t* name : names) WriteSample(root + name, 6u << 20, seed++);

    PrepareProcess();
    TaskbarProgress = nullptr;
    SeedCommandLine = L"Quorvane.exe C:\\Archive";
    HANDLE thread = CreateThread(nullptr, 0, DialogThread, nullptr, 0, nullptr);
    while (!MainWindow || !IsWindowVisible(MainWindow)) Sleep(20);

    Command(ListButtonId);
    Command(CreateButtonId);
    WriteSample(root + L"\\Photos\\IMG_0413.jpg", 6u << 20, 99);
    // One more changes underneath, its size and last-write time kept: rot.
    const std::wstring rotten = root + L"\\Photos\\IMG_0412.jpg";
    WIN32_FILE_ATTRIBUTE_DATA kept;
    GetFileAttributesExW(rotten.c_str(), GetFileExInfoStandard, &kept);
    WriteSample(rotten, 6u << 20, 98);
    HANDLE file = CreateFileW(rotten.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(file, nullptr, nullptr, &kept.ftLastWriteTime);
    CloseHandle(file);
    WriteSample(root + L"\\Photos\\IMG_0415.jpg", 5u << 20, 100);
    Command(StartButtonId);

    AwaitPhotograph(argv[1], argv[2]);
    if (argc >= 5) {
        // The maximise button's command, through the dialog's own thread.
        SendMessageW(MainWindow, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
        AwaitPhotograph(argv[3], argv[4]);
    }
    PostMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(ExitButtonId, BN_CLICKED), 0);
    WaitForSingleObject(thread, 10000);
    return 0;
}
