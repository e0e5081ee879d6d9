// Hashes the same data with CompressBlockSse2, CompressBlockScalar, OpenSSL
// and libgcrypt, in memory and from a page-cached file, and prints MB/s.
// Times are the thread's CPU time (kernel time for the reads included), so
// that other processes on a busy machine skew the comparison less.
//   whirlpool_bench [MiB=256] [repetitions=5] [file=/tmp/quorvane-bench.bin]
#include <gcrypt.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "engine/hash_file.h"
#include "engine/whirlpool.h"

static uint8_t* Data;
static size_t DataSize;
static const char* FilePath = "/tmp/quorvane-bench.bin";
static EVP_MD* OpenSslWhirlpool;
static GateHandle OpenGate;
static std::vector<uint8_t> FileBuffer(ReadBufferSize);

static std::string Hex(const uint8_t* bytes) {
    char text[129];
    for (int n = 0; n < 64; n++) std::snprintf(text + 2 * n, 3, "%02x", bytes[n]);
    return text;
}

// Whole blocks straight from Data, then the padding in a small tail buffer.
static void DigestInMemory(void (*routine)(), uint8_t digest[64]) {
    std::memset(digest, 0, 64);
    StatePtr = digest;
    size_t whole = DataSize / 64 * 64;
    for (size_t n = 0; n < whole; n += 64) {
        BlockPtr = Data + n;
        routine();
    }
    uint8_t tail[128] = {};
    size_t rest = DataSize - whole;
    std::memcpy(tail, Data + whole, rest);
    tail[rest] = 0x80;
    size_t tailSize = rest < 32 ? 64 : 128;
    uint64_t bits = static_cast<uint64_t>(DataSize) * 8;
    for (int n = 0; n < 8; n++) tail[tailSize - 1 - n] = static_cast<uint8_t>(bits >> (8 * n));
    for (size_t n = 0; n < tailSize; n += 64) {
        BlockPtr = tail + n;
        routine();
    }
}

static void DigestSse2InMemory(uint8_t digest[64]) { DigestInMemory(CompressBlockSse2, digest); }
static void DigestScalarInMemory(uint8_t digest[64]) { DigestInMemory(CompressBlockScalar, digest); }

static void DigestOpenSslInMemory(uint8_t digest[64]) {
    unsigned size = 0;
    EVP_Digest(Data, DataSize, digest, &size, OpenSslWhirlpool, nullptr);
}

static void DigestGcryptInMemory(uint8_t digest[64]) {
    gcry_md_hash_buffer(GCRY_MD_WHIRLPOOL, digest, Data, DataSize);
}

static void DigestFileWith(void (*routine)(), uint8_t digest[64]) {
    CompressBlock = routine;
    FileHandle file = OpenFileForReading(FilePath);
    std::atomic<uint64_t> bytesDone(0);
    HashFile(file, FileSizeOf(file), digest, OpenGate, &bytesDone);
    CloseFile(file);
}

static void DigestSse2File(uint8_t digest[64]) { DigestFileWith(CompressBlockSse2, digest); }
static void DigestScalarFile(uint8_t digest[64]) { DigestFileWith(CompressBlockScalar, digest); }

// The peers read the file the same way: 64 KiB pieces into one buffer.
static void DigestOpenSslFile(uint8_t digest[64]) {
    FileHandle file = OpenFileForReading(FilePath);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, OpenSslWhirlpool, nullptr);
    for (uint32_t got; (got = ReadFileChunk(file, FileBuffer.data(), ReadBufferSize)) != 0;) {
        EVP_DigestUpdate(context, FileBuffer.data(), got);
    }
    unsigned size = 0;
    EVP_DigestFinal_ex(context, digest, &size);
    EVP_MD_CTX_free(context);
    CloseFile(file);
}

static void DigestGcryptFile(uint8_t digest[64]) {
    FileHandle file = OpenFileForReading(FilePath);
    gcry_md_hd_t context;
    gcry_md_open(&context, GCRY_MD_WHIRLPOOL, 0);
    for (uint32_t got; (got = ReadFileChunk(file, FileBuffer.data(), ReadBufferSize)) != 0;) {
        gcry_md_write(context, FileBuffer.data(), got);
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
    void (*digest)(uint8_t digest[64]);
    double best;  // seconds
    std::string result;
};

int main(int argc, char** argv) {
    size_t mebibytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    int repetitions = argc > 2 ? std::atoi(argv[2]) : 5;
    if (argc > 3) FilePath = argv[3];
    if (mebibytes == 0 || repetitions <= 0) {
        std::fprintf(stderr, "usage: whirlpool_bench [MiB] [repetitions] [file]\n");
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

    DataSize = mebibytes << 20;
    std::vector<uint8_t> data(DataSize);
    Data = data.data();
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (size_t n = 0; n < DataSize; n++) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        Data[n] = static_cast<uint8_t>(x >> 24);
    }
    std::FILE* file = std::fopen(FilePath, "wb");
    if (!file || std::fwrite(Data, 1, DataSize, file) != DataSize || std::fclose(file) != 0) {
        std::fprintf(stderr, "cannot write %s\n", FilePath);
        return 1;
    }

    Contender contenders[] = {
        {"SSE2 routine, memory", DigestSse2InMemory, 0, ""},
        {"scalar routine, memory", DigestScalarInMemory, 0, ""},
        {"OpenSSL, memory", DigestOpenSslInMemory, 0, ""},
        {"libgcrypt, memory", DigestGcryptInMemory, 0, ""},
        {"HashFile + SSE2, file", DigestSse2File, 0, ""},
        {"HashFile + scalar, file", DigestScalarFile, 0, ""},
        {"OpenSSL, file", DigestOpenSslFile, 0, ""},
        {"libgcrypt, file", DigestGcryptFile, 0, ""},
    };
    void (*chosen)() = CompressBlock;
    uint8_t digest[64];
    DigestOpenSslFile(digest);  // brings the file into the page cache
    // Rounds over all contenders, so that a noisy moment hurts each of them alike.
    for (int round = 0; round < repetitions; round++) {
        for (Contender& contender : contenders) {
            double start = ThreadSeconds();
            contender.digest(digest);
            double seconds = ThreadSeconds() - start;
            if (round == 0 || seconds < contender.best) contender.best = seconds;
            contender.result = Hex(digest);
        }
    }
    CompressBlock = chosen;
    std::remove(FilePath);

    std::printf("Whirlpool over %zu MiB, best of %d, thread CPU time, MB = 10^6 bytes\n", mebibytes,
                repetitions);
    // Each row against OpenSSL in memory, and file rows also against OpenSSL
    // reading the same file.
    std::printf("%-26s %8s %16s %16s\n", "", "MB/s", "x OpenSSL memory", "x OpenSSL file");
    bool agree = true;
    for (int n = 0; n < 8; n++) {
        const Contender& c = contenders[n];
        std::printf("%-26s %8.1f %16.2f", c.name, DataSize / c.best / 1e6, contenders[2].best / c.best);
        if (n >= 4) std::printf(" %16.2f", contenders[6].best / c.best);
        std::printf("\n");
        agree = agree && c.result == contenders[2].result;
    }
    std::printf("digests %s\n", agree ? "agree" : "DIFFER");
    return agree ? 0 : 1;
}
