// The ledger of COUNT files (default 1,000,000): the time to record them,
// one at a time as a run does, and its size on disk.
//   ledger_size PATH [COUNT]
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "store/ledger.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    unsigned long count = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1000000;
    int error;
    if (OpenLedger(LedgerWaits, argv[1], nullptr, &error) != LedgerInUse) return 1;
    uint8_t digest[64] = {};
    auto start = std::chrono::steady_clock::now();
    for (unsigned long i = 0; i < count; ++i) {
        digest[0] = static_cast<uint8_t>(i);
        RecordVerified(FileIdentity{2049, i * 7 + 11}, FileFacts{i, static_cast<int64_t>(i) * 1000, TimeUnitPosix}, digest);
    }
    CloseLedger();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    struct stat st;
    if (stat(argv[1], &st) != 0) return 1;
    std::printf("%lu files: %.1f s to record, %.1f MB on disk (%lld bytes long), %.1f bytes a file\n", count, seconds,
                st.st_blocks * 512.0 / 1e6, static_cast<long long>(st.st_size), st.st_blocks * 512.0 / count);
    return 0;
}
