// The rate of one thread on many small page-cached files: one file at a time
// through HashFile against several side by side through HashFilesAsTaken, with
// each compression routine the processor runs, in the same run.
//   files_bench FOLDER [rounds=5]      (make_tree.py FOLDER 20000 16384 makes one)
// Two figures each: the hashing alone (the files opened beforehand, as a
// caller holds them) and with every file's open and close. Times are the
// thread's CPU time, kernel time for the reads included. The files go in
// chunks of 256: every contender hashes every chunk once per round, in turn,
// and its time is the sum over the chunks of its best round, which keeps the
// noise of a busy machine out of the comparison.
#include <ftw.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "engine/hash_file.h"
#include "engine/whirlpool.h"

const size_t ChunkFiles = 256;

static std::vector<std::string> Paths;
static uint64_t TotalBytes;
static GateHandle OpenGate;
static std::atomic<uint64_t> BytesDone;

static int CollectFile(const char* path, const struct stat* st, int type, struct FTW*) {
    if (type == FTW_F && S_ISREG(st->st_mode)) {
        Paths.push_back(path);
        TotalBytes += static_cast<uint64_t>(st->st_size);
    }
    return 0;
}

static double ThreadSeconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec * 1e-9;
}

static void OpenJob(size_t n, FileHashJob* job) {
    job->file = OpenFileForReading(Paths[n].c_str());
    job->ExpectedSize = job->file == NoFile ? 0 : FileSizeOf(job->file);
}

// The files first .. first + count - 1, hashing alone: opened and closed
// untimed, as a caller holds them.
static double HashOnly(bool sideBySide, size_t first, size_t count, FileHashJob* jobs) {
    for (size_t n = 0; n < count; n++) OpenJob(first + n, &jobs[n]);
    double start = ThreadSeconds();
    if (sideBySide) {
        HashFilesInterleaved(jobs, static_cast<int>(count), OpenGate, &BytesDone);
    } else {
        for (size_t n = 0; n < count; n++) {
            jobs[n].bytesRead =
                HashFile(jobs[n].file, jobs[n].ExpectedSize, OpenGate, &BytesDone, jobs[n].digest);
        }
    }
    double seconds = ThreadSeconds() - start;
    for (size_t n = 0; n < count; n++) CloseFile(jobs[n].file);
    return seconds;
}

struct WholeRun {
    FileHashJob* jobs;
    size_t first, count, taken;
};

static FileHashJob* OpenNext(void* context) {
    WholeRun* run = static_cast<WholeRun*>(context);
    if (run->taken == run->count) return nullptr;
    FileHashJob* job = &run->jobs[run->taken];
    OpenJob(run->first + run->taken++, job);
    return job;
}

static void CloseDone(void*, FileHashJob* job) { CloseFile(job->file); }

// The same files with each one's open and close, as a hashing thread does them.
static double OpenHashClose(bool sideBySide, size_t first, size_t count, FileHashJob* jobs) {
    double start = ThreadSeconds();
    if (sideBySide) {
        WholeRun run = {jobs, first, count, 0};
        HashFilesAsTaken(OpenNext, CloseDone, &run, OpenGate, &BytesDone);
    } else {
        for (size_t n = 0; n < count; n++) {
            OpenJob(first + n, &jobs[n]);
            jobs[n].bytesRead =
                HashFile(jobs[n].file, jobs[n].ExpectedSize, OpenGate, &BytesDone, jobs[n].digest);
            CloseFile(jobs[n].file);
        }
    }
    return ThreadSeconds() - start;
}

struct Family {
    const char* name;
    BlockRoutine block;
    LanesRoutine lanes;
    int laneCount;
    bool runs;
};

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: files_bench FOLDER [rounds=5]\n");
        return 2;
    }
    int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    if (nftw(argv[1], CollectFile, 64, FTW_PHYS) != 0 || Paths.empty()) {
        std::fprintf(stderr, "no files under %s\n", argv[1]);
        return 1;
    }
    std::sort(Paths.begin(), Paths.end());
    BuildWhirlpoolTables();
    OpenGate = CreateGate(true, true);
    __builtin_cpu_init();
    bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                  __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("gfni");
    // As BuildWhirlpoolTables would set each up: lanes only for AVX-512.
    const Family families[] = {
        {"AVX-512", CompressBlockAvx512, CompressLanesAvx512, Avx512Lanes, avx512},
        {"AVX2", CompressBlockAvx2, nullptr, 1, static_cast<bool>(__builtin_cpu_supports("avx2"))},
        {"SSE2", CompressBlockSse2, nullptr, 1, static_cast<bool>(__builtin_cpu_supports("sse2"))},
        {"scalar", CompressBlockScalar, nullptr, 1, true},
    };
    const int count = sizeof families / sizeof families[0];
    // Per family and way (hashing alone one by one, side by side; with open
    // and close one by one, side by side) the best time of each chunk.
    size_t chunks = (Paths.size() + ChunkFiles - 1) / ChunkFiles;
    std::vector<double> best[count][4];
    for (auto& ways : best) {
        for (std::vector<double>& times : ways) times.assign(chunks, 1e30);
    }
    std::vector<FileHashJob> reference(Paths.size()), results(Paths.size());
    // Reads every file into the page cache.
    for (size_t first = 0; first < Paths.size(); first += ChunkFiles) {
        OpenHashClose(false, first, std::min(ChunkFiles, Paths.size() - first), &reference[first]);
    }
    bool agree = true;
    for (int round = 0; round < rounds; round++) {
        for (size_t chunk = 0; chunk < chunks; chunk++) {
            size_t first = chunk * ChunkFiles, files = std::min(ChunkFiles, Paths.size() - first);
            for (int f = 0; f < count; f++) {
                if (!families[f].runs) continue;
                CompressBlock = families[f].block;
                CompressLanes = families[f].lanes;
                LaneCount = families[f].laneCount;
                for (int way = 0; way < 4; way++) {
                    bool sideBySide = way % 2 == 1;
                    FileHashJob* jobs = &results[first];
                    double seconds = way < 2 ? HashOnly(sideBySide, first, files, jobs)
                                             : OpenHashClose(sideBySide, first, files, jobs);
                    best[f][way][chunk] = std::min(best[f][way][chunk], seconds);
                    for (size_t n = 0; n < files; n++) {
                        agree = agree && std::memcmp(jobs[n].digest, reference[first + n].digest, 64) == 0 &&
                                jobs[n].bytesRead == reference[first + n].bytesRead;
                    }
                }
            }
        }
    }
    std::printf("%zu files, %.1f MB, one thread, thread CPU time, sum of the best of %d rounds per chunk; MB = 10^6 bytes\n",
                Paths.size(), TotalBytes / 1e6, rounds);
    std::printf("%-8s %5s | %-32s | %-32s\n", "", "", "hashing alone, MB/s", "with open and close, MB/s");
    std::printf("%-8s %5s | %10s %12s %8s | %10s %12s %8s\n", "routine", "lanes", "one by one", "side by side",
                "ratio", "one by one", "side by side", "ratio");
    for (int f = 0; f < count; f++) {
        if (!families[f].runs) {
            std::printf("%-8s not run: the processor lacks its instructions\n", families[f].name);
            continue;
        }
        double b[4];
        for (int way = 0; way < 4; way++) {
            b[way] = 0;
            for (double seconds : best[f][way]) b[way] += seconds;
        }
        std::printf("%-8s %5d | %10.1f %12.1f %7.2fx | %10.1f %12.1f %7.2fx\n", families[f].name, families[f].laneCount,
                    TotalBytes / b[0] / 1e6, TotalBytes / b[1] / 1e6, b[0] / b[1], TotalBytes / b[2] / 1e6,
                    TotalBytes / b[3] / 1e6, b[2] / b[3]);
    }
    std::printf("digests %s\n", agree ? "agree" : "DIFFER");
    return agree ? 0 : 1;
}
