// The window's Create Hashes and Check on the threads it chooses against one
// thread: the real dialog, driven by its commands as the dialog tests drive
// it, each run timed from the click to its closing text. Wine keeps no
// alternate data streams, so the digests live in the tests' in-memory double;
// the files are read from the disk (page-cached after the first run).
//   window_bench.exe FOLDER [REPEAT]
// Prints the thread count the window chooses for FOLDER and, for each run,
// the median of REPEAT (default 5) timings with one thread and with that
// count, alternating which goes first; List Files, which reads no contents,
// shows what the window's own requests cost.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "store/hash_threads.h"
#include "store/operation_state.h"
#include "tests/ui/stream_double.h"
#include "ui/resource_ids.h"
#include "ui/window.h"

namespace {

DWORD WINAPI DialogThread(LPVOID) {
    CoInitialize(nullptr);
    RunMainDialog();
    return 0;
}

double Now() {
    LARGE_INTEGER frequency, count;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&count);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Seconds from the click until the run has written its closing text and
// returned to Idle (the last step of its closing).
double TimedRun(int id) {
    double start = Now();
    SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(MainWindow, id)));
    while (OperationState.mode.load() != Idle) Sleep(1);
    return Now() - start;
}

int Count(int listId) { return static_cast<int>(SendDlgItemMessageW(MainWindow, listId, LB_GETCOUNT, 0, 0)); }

std::wstring StatusText() {
    wchar_t text[256];
    GetDlgItemTextW(MainWindow, StatusTextId, text, 256);
    return text;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

const char* SeekPenaltyWord(SeekPenalty answer) {
    switch (answer) {
        case SeekPenaltyPresent: return "seeks";
        case SeekPenaltyNone: return "does not seek";
        default: return "cannot tell";
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_bench.exe FOLDER [REPEAT]\n");
        return 2;
    }
    std::wstring folder = argv[1];
    int repeat = argc > 2 ? _wtoi(argv[2]) : 5;
    if (repeat < 1) repeat = 1;

    PrepareProcess();
    int chosen = DefaultHashThreads(std::vector<PathString>{folder});
    std::printf("threads the window chooses: %d (volume: %s; processors: %d)\n", chosen,
                SeekPenaltyWord(QuerySeekPenalty(folder.c_str())), ProcessorCount());
    std::wstring seed = L"Quorvane.exe \"" + folder + L"\"";
    SeedCommandLine = seed.c_str();
    HANDLE thread = CreateThread(nullptr, 0, DialogThread, nullptr, 0, nullptr);
    while (!MainWindow || !IsWindowVisible(MainWindow)) Sleep(20);

    // [0]: one thread, [1]: the window's choice (ForcedHashThreads 0).
    std::vector<double> list[2], create[2], check[2];
    int failures = 0;
    for (int r = 0; r < repeat; ++r) {
        for (int k = 0; k < 2; ++k) {
            int which = (r + k) % 2;
            ForcedHashThreads = which == 0 ? 1 : 0;
            ClearStreams();
            list[which].push_back(TimedRun(ListButtonId));
            int files = Count(UnhashedListId);
            create[which].push_back(TimedRun(CreateButtonId));
            bool created = Count(UnhashedListId) == 0 && Count(HashedListId) == files;
            check[which].push_back(TimedRun(StartButtonId));
            bool checked = StatusText() == L"All files checked successfully.";
            if (!created || !checked || files == 0) {
                std::fprintf(stderr, "run %d with %d thread(s): %d files, created %d, checked %d\n", r,
                             OperationState.HashThreads, files, created, checked);
                ++failures;
            }
        }
    }
    // List Files reads no contents: what the window's requests alone cost.
    std::printf("List Files      one thread %.3f s   %d threads %.3f s\n", Median(list[0]), chosen, Median(list[1]));
    std::printf("Create Hashes   one thread %.3f s   %d threads %.3f s   speed-up %.2fx\n", Median(create[0]), chosen,
                Median(create[1]), Median(create[0]) / Median(create[1]));
    std::printf("Check (Start)   one thread %.3f s   %d threads %.3f s   speed-up %.2fx\n", Median(check[0]), chosen,
                Median(check[1]), Median(check[0]) / Median(check[1]));
    PostMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(ExitButtonId, BN_CLICKED), 0);
    WaitForSingleObject(thread, 10000);
    return failures ? 1 : 0;
}
