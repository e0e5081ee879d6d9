// The window's Create Hashes and Check on the threads it chooses against one
// thread: the real dialog, driven by its commands as the dialog tests drive
// it, each run timed from the click to its closing text. Wine keeps no
// alternate data streams, so the digests live in the tests' in-memory double;
// the files are read from the disk (page-cached after the first run).
//   window_bench.exe FOLDER [REPEAT]
// Prints the thread count the window chooses for FOLDER and, for each run,
// the median of REPEAT (default 5) timings with one thread and with that
// count, alternating which goes first; List Files, which reads no contents,
// shows what the window's own requests cost. With THREADS, only that count
// is timed, and each run's time is also given per 1,000 files: how the
// window's time grows with the tree (window_bench.sh with SIZES); "list"
// after it times List Files alone, for trees too large to hash in the time.
//   window_bench.exe FOLDER REPEAT THREADS [list]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
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

HANDLE DialogThreadHandle;

// Seconds of processor time the dialog's thread has used: the window's own
// share of a run (inserts, texts, redraws), apart from the worker's files.
double DialogSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(DialogThreadHandle, &created, &exited, &kernel, &user)) return 0;
    ULONGLONG k = (static_cast<ULONGLONG>(kernel.dwHighDateTime) << 32) | kernel.dwLowDateTime;
    ULONGLONG u = (static_cast<ULONGLONG>(user.dwHighDateTime) << 32) | user.dwLowDateTime;
    return static_cast<double>(k + u) / 1e7;
}

// Seconds from the click until the run has written its closing text and
// returned to Idle (the last step of its closing); *dialog: the dialog
// thread's processor seconds meanwhile.
double TimedRun(int id, double* dialog) {
    double start = Now(), used = DialogSeconds();
    SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(MainWindow, id)));
    while (OperationState.mode.load() != Idle) Sleep(1);
    *dialog = DialogSeconds() - used;
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

// One run's line: its time and the dialog thread's, each also per 1,000 files.
void PrintRun(const char* name, double seconds, double dialog, int files) {
    std::printf("%s   %8.3f s   %.3f s per 1,000 files   dialog thread %.3f s, %.3f s per 1,000 files\n", name, seconds,
                seconds * 1000 / files, dialog, dialog * 1000 / files);
    std::fflush(stdout);
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
        std::fprintf(stderr, "usage: window_bench.exe FOLDER [REPEAT [THREADS [list]]]\n");
        return 2;
    }
    std::wstring folder = argv[1];
    int repeat = argc > 2 ? _wtoi(argv[2]) : 5;
    if (repeat < 1) repeat = 1;
    int only = argc > 3 ? _wtoi(argv[3]) : 0;
    int steps = only && argc > 4 && std::wcscmp(argv[4], L"list") == 0 ? 1 : 3;

    PrepareProcess();
    int chosen = DefaultHashThreads(std::vector<PathString>{folder});
    std::printf("threads the window chooses: %d (volume: %s; processors: %d)\n", chosen,
                SeekPenaltyWord(QuerySeekPenalty(folder.c_str())), ProcessorCount());
    std::wstring seed = L"Quorvane.exe \"" + folder + L"\"";
    SeedCommandLine = seed.c_str();
    HANDLE thread = CreateThread(nullptr, 0, DialogThread, nullptr, 0, nullptr);
    DialogThreadHandle = thread;
    while (!MainWindow || !IsWindowVisible(MainWindow)) Sleep(20);

    // [0]: one thread, [1]: the window's choice (ForcedHashThreads 0).
    const char* names[3] = {"List Files   ", "Create Hashes", "Check (Start)"};
    std::vector<double> list[2], create[2], check[2], dialog[3];
    std::vector<double>* runs[3] = {list, create, check};
    int failures = 0, files = 0;
    for (int r = 0; r < repeat; ++r) {
        for (int k = only ? 1 : 0; k < 2; ++k) {
            int which = only ? 1 : (r + k) % 2;
            ForcedHashThreads = which == 0 ? 1 : only;
            ClearStreams();
            const int buttons[3] = {ListButtonId, CreateButtonId, StartButtonId};
            bool created = true, checked = true;
            for (int i = 0; i < steps; ++i) {
                double used = 0;
                runs[i][which].push_back(TimedRun(buttons[i], &used));
                if (which == 1) dialog[i].push_back(used);
                if (i == 0) files = Count(UnhashedListId);
                if (i == 1) created = Count(UnhashedListId) == 0 && Count(HashedListId) == files;
                if (i == 2) checked = StatusText() == L"All files checked successfully.";
                // Each run as it ends: a large tree's runs take long.
                if (only && files > 0) PrintRun(names[i], runs[i][which].back(), used, files);
            }
            if (!created || !checked || files == 0) {
                std::fprintf(stderr, "run %d with %d thread(s): %d files, created %d, checked %d\n", r,
                             OperationState.HashThreads, files, created, checked);
                ++failures;
            }
        }
    }
    if (only && files > 0 && repeat > 1) {
        std::printf("%d files, %d thread(s), median of %d:\n", files, only, repeat);
        for (int i = 0; i < steps; ++i) PrintRun(names[i], Median(runs[i][1]), Median(dialog[i]), files);
    } else if (!only) {
        // List Files reads no contents: what the window's requests alone cost.
        std::printf("List Files      one thread %.3f s   %d threads %.3f s\n", Median(list[0]), chosen,
                    Median(list[1]));
        std::printf("Create Hashes   one thread %.3f s   %d threads %.3f s   speed-up %.2fx\n", Median(create[0]),
                    chosen, Median(create[1]), Median(create[0]) / Median(create[1]));
        std::printf("Check (Start)   one thread %.3f s   %d threads %.3f s   speed-up %.2fx\n", Median(check[0]),
                    chosen, Median(check[1]), Median(check[0]) / Median(check[1]));
    }
    PostMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(ExitButtonId, BN_CLICKED), 0);
    WaitForSingleObject(thread, 10000);
    return failures ? 1 : 0;
}
