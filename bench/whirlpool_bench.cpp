// Hashes the same data with each compression routine the processor runs
// (AVX-512, AVX2, SSE2, scalar), OpenSSL and libgcrypt, in memory and from a
// page-cached file through HashFile, and prints MB/s for each with its ratios
// to libgcrypt and OpenSSL read the same way in the same run.
//   whirlpool_bench [MiB=256] [rounds=5] [file=/tmp/quorvane-bench.bin]
// The data is hashed as messages of 16 MiB (slices); every contender hashes
// every slice once per round, in turn, and a contender's time is the sum over
// the slices of its best round. Times are the thread's CPU time (kernel time
// for the reads included). Both keep the noise of a busy machine out of the
// comparison better than timing whole runs.
#include <gcrypt.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "engine/hash_file.h"
#include "engine/whirlpool.h"

const size_t SliceSize = size_t(16) << 20;

static std::vector<uint8_t> Data;
static const char* FilePath = "/tmp/quorvane-bench.bin";
static EVP_MD* OpenSslWhirlpool;
static GateHandle OpenGate;
static std::vector<uint8_t> FileBuffer(ReadBufferSize);

// Whole blocks straight from the slice, then the padding in a small buffer.
static void DigestInMemory(BlockRoutine routine, const uint8_t* bytes, uint8_t digest[64]) {
    std::memset(digest, 0, 64);
    for (size_t n = 0; n < SliceSize; n += 64) routine(digest, bytes + n);
    // SliceSize is a multiple of 64: the padding is one block.
    uint8_t tail[64] = {0x80};
    uint64_t bits = static_cast<uint64_t>(SliceSize) * 8;
    for (int n = 0; n < 8; n++) tail[63 - n] = static_cast<uint8_t>(bits >> (8 * n));
    routine(digest, tail);
}

// NameInMemory and NameFile for one routine.
#define ROUTINE_CONTENDERS(Name, routine)                                               \
    static void Name##InMemory(const uint8_t* bytes, size_t, uint8_t digest[64]) {     \
        DigestInMemory(routine, bytes, digest);                                         \
    }                                                                                   \
    static void Name##File(const uint8_t*, size_t offset, uint8_t digest[64]) {         \
        HashFileWith(routine, offset, digest);                                          \
    }

static void OpenSslInMemory(const uint8_t* bytes, size_t, uint8_t digest[64]) {
    unsigned size = 0;
    EVP_Digest(bytes, SliceSize, digest, &size, OpenSslWhirlpool, nullptr);
}

static void GcryptInMemory(const uint8_t* bytes, size_t, uint8_t digest[64]) {
    gcry_md_hash_buffer(GCRY_MD_WHIRLPOOL, digest, bytes, SliceSize);
}

// The file opened and positioned at the slice, as HashFile expects it.
static FileHandle OpenSlice(size_t offset) {
    FileHandle file = OpenFileForReading(FilePath);
    lseek(static_cast<int>(file), static_cast<off_t>(offset), SEEK_SET);
    return file;
}

static void HashFileWith(BlockRoutine routine, size_t offset, uint8_t digest[64]) {
    CompressBlock = routine;
    FileHandle file = OpenSlice(offset);
    std::atomic<uint64_t> bytesDone(0);
    HashFile(file, SliceSize, OpenGate, &bytesDone, digest);
    CloseFile(file);
}

ROUTINE_CONTENDERS(Avx512, CompressBlockAvx512)
ROUTINE_CONTENDERS(Avx2, CompressBlockAvx2)
ROUTINE_CONTENDERS(Sse2, CompressBlockSse2)
ROUTINE_CONTENDERS(Scalar, CompressBlockScalar)

// The peers read the file the same way: 64 KiB pieces into one buffer.
static void OpenSslFile(const uint8_t*, size_t offset, uint8_t digest[64]) {
    FileHandle file = OpenSlice(offset);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, OpenSslWhirlpool, nullptr);
    for (size_t done = 0; done < SliceSize;) {
        uint32_t got = ReadFileChunk(file, FileBuffer.data(), ReadBufferSize);
        if (got == 0) break;
        EVP_DigestUpdate(context, FileBuffer.data(), got);
        done += got;
    }
    unsigned size = 0;
    EVP_DigestFinal_ex(context, digest, &size);
    EVP_MD_CTX_free(context);
    CloseFile(file);
}

static void GcryptFile(const uint8_t*, size_t offset, uint8_t digest[64]) {
    FileHandle file = OpenSlice(offset);
    gcry_md_hd_t context;
    gcry_md_open(&context, GCRY_MD_WHIRLPOOL, 0);
    for (size_t done = 0; done < SliceSize;) {
        uint32_t got = ReadFileChunk(file, FileBuffer.data(), ReadBufferSize);
        if (got == 0) break;
        gcry_md_write(context, FileBuffer.data(), got);
        done += got;
    }
    std::memcpy(digest, gcry_md_read(context, GCRY_MD_WHIRLPOOL), 64);
    gcry_md_close(context);
    CloseFile(file);
}

static double ThreadSeconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec * 1e-9;
}

struct Contender {
    const char* name;
    void (*digest)(const uint8_t* bytes, size_t offset, uint8_t digest[64]);
    bool runs;  // false: the processor lacks the routine's instructions
    std::vector<double> best;  // seconds, per slice
    std::vector<std::string> results;
};

static bool ProcessorRunsAvx512() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("gfni");
}

int main(int argc, char** argv) {
    size_t mebibytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    if (argc > 3) FilePath = argv[3];
    size_t slices = (mebibytes << 20) / SliceSize;
    if (slices == 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: whirlpool_bench [MiB, at least 16] [rounds] [file]\n");
        return 2;
    }

    BuildWhirlpoolTables();
    OpenGate = CreateGate(true, true);
    OSSL_PROVIDER_load(nullptr, "legacy");
    OSSL_PROVIDER_load(nullptr, "default");
    OpenSslWhirlpool = EVP_MD_fetch(nullptr, "WHIRLPOOL", nullptr);
    if (!OpenSslWhirlpool || !gcry_check_version(nullptr)) {
        std::fprintf(stderr, "OpenSSL's legacy Whirlpool or libgcrypt is missing\n");
        return 1;
    }
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);

    size_t size = slices * SliceSize;
    Data.resize(size);
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (uint8_t& byte : Data) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        byte = static_cast<uint8_t>(x >> 24);
    }
    std::FILE* file = std::fopen(FilePath, "wb");
    if (!file || std::fwrite(Data.data(), 1, size, file) != size || std::fclose(file) != 0) {
        std::fprintf(stderr, "cannot write %s\n", FilePath);
        return 1;
    }

    bool avx512 = ProcessorRunsAvx512(), avx2 = __builtin_cpu_supports("avx2");
    bool sse2 = __builtin_cpu_supports("sse2");
    // Rows 0-5 and 6-11 are the same contenders in memory and from the file;
    // the last two of each half are the peers the ratios refer to.
    Contender contenders[] = {
        {"AVX-512 routine, memory", Avx512InMemory, avx512, {}, {}},
        {"AVX2 routine, memory", Avx2InMemory, avx2, {}, {}},
        {"SSE2 routine, memory", Sse2InMemory, sse2, {}, {}},
        {"scalar routine, memory", ScalarInMemory, true, {}, {}},
        {"libgcrypt, memory", GcryptInMemory, true, {}, {}},
        {"OpenSSL, memory", OpenSslInMemory, true, {}, {}},
        {"HashFile + AVX-512, file", Avx512File, avx512, {}, {}},
        {"HashFile + AVX2, file", Avx2File, avx2, {}, {}},
        {"HashFile + SSE2, file", Sse2File, sse2, {}, {}},
        {"HashFile + scalar, file", ScalarFile, true, {}, {}},
        {"libgcrypt, file", GcryptFile, true, {}, {}},
        {"OpenSSL, file", OpenSslFile, true, {}, {}},
    };
    const int count = sizeof contenders / sizeof contenders[0];
    const int half = count / 2, gcrypt = 4, openssl = 5;
    for (Contender& contender : contenders) {
        contender.best.assign(slices, 1e30);
        contender.results.resize(slices);
    }
    BlockRoutine chosen = CompressBlock;
    uint8_t digest[64];
    for (size_t slice = 0; slice < slices; slice++) OpenSslFile(nullptr, slice * SliceSize, digest);

    for (int round = 0; round < rounds; round++) {
        for (size_t slice = 0; slice < slices; slice++) {
            for (Contender& contender : contenders) {
                if (!contender.runs) continue;
                double start = ThreadSeconds();
                contender.digest(Data.data() + slice * SliceSize, slice * SliceSize, digest);
                double seconds = ThreadSeconds() - start;
                if (seconds < contender.best[slice]) contender.best[slice] = seconds;
                contender.results[slice].assign(reinterpret_cast<const char*>(digest), 64);
            }
        }
    }
    CompressBlock = chosen;
    std::remove(FilePath);

    double total[count];
    bool agree = true;
    for (int n = 0; n < count; n++) {
        total[n] = 0;
        for (size_t slice = 0; slice < slices; slice++) total[n] += contenders[n].best[slice];
        if (contenders[n].runs) agree = agree && contenders[n].results == contenders[openssl].results;
    }
    std::printf("Whirlpool over %zu MiB as %zu messages of 16 MiB, best of %d rounds, thread CPU time,\n"
                "MB = 10^6 bytes; ratios to the peer read the same way (memory or file)\n",
                size >> 20, slices, rounds);
    std::printf("%-26s %8s %12s %12s\n", "", "MB/s", "x libgcrypt", "x OpenSSL");
    for (int n = 0; n < count; n++) {
        if (!contenders[n].runs) {
            std::printf("%-26s %8s\n", contenders[n].name, "not run: the processor lacks its instructions");
            continue;
        }
        int base = n < half ? 0 : half;
        std::printf("%-26s %8.1f %12.2f %12.2f\n", contenders[n].name, size / total[n] / 1e6,
                    total[base + gcrypt] / total[n], total[base + openssl] / total[n]);
    }
    std::printf("digests %s\n", agree ? "agree" : "DIFFER");
    return agree ? 0 : 1;
}
