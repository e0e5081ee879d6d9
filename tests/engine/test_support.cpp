#include "test_support.h"

#include <cstdio>
#include <cstring>
#include <random>

#include "engine/whirlpool.h"

// ISO/IEC 10118-3 and the NESSIE set, one row per message.
const std::vector<KnownAnswer> KnownAnswers = {
    // the empty message
    {"empty", "",
     "19FA61D75522A4669B44E39C1D2E1726C530232130D407F89AFEE0964997F7A7"
     "3E83BE698B288FEBCF88E3E03C4F0757EA8964E59B63D93708B138CC42A66EB3"},
    // one byte, one final block
    {"a", "a",
     "8ACA2602792AEC6F11A67206531FB7D7F0DFF59413145E6973C45001D0087B42"
     "D11BC645413AEFF63A42391A39145A591A92200D560195E53B478584FDAE231A"},
    // the standard's three letters
    {"abc", "abc",
     "4E2448A4C6F486BB16B6562C73B4020BF3043E3A731BCE721AE1B303D97E6D4C"
     "7181EEBDB6C57E277D0E34957114CBD6C797FC9D95D8B582D225292076D4EEF5"},
    // 14 bytes
    {"message digest", "message digest",
     "378C84A4126E2DC6E56DCC7458377AAC838D00032230F53CE1F5700C0FFB4D3B"
     "8421557659EF55C106B4B52AC5A4AAA692ED920052838F3362E86DBD37A8903E"},
    // 26 bytes, still one final block
    {"alphabet", "abcdefghijklmnopqrstuvwxyz",
     "F1D754662636FFE92C82EBB9212A484A8D38631EAD4238F5442EE13B8054E41B"
     "08BF2A9251C30B6A0B8AAE86177AB4A6F68F673E7207865D5D9819A3DBA4EB3B"},
    // 62 bytes: the 0x80 byte at 62, so two final blocks
    {"letters and digits", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "DC37E008CF9EE69BF11F00ED9ABA26901DD7C28CDEC066CC6AF42E40F82F3A1E"
     "08EBA26629129D8FB7CB57211B9281A65517CC879D7B962142C65F5A7AF01467"},
    // 80 bytes: one data block and a partial one of 16 bytes
    {"8 x 1234567890",
     "1234567890123456789012345678901234567890123456789012345678901234567890"
     "1234567890",
     "466EF18BABB0154D25B9D38A6414F5C08784372BCCB204D6549C4AFADB601429"
     "4D5BD8DF2A6C44E538CD047B2681A51A2C60481E88C5A20B2C2A80CF3A9A083B"},
    // 1000000 bytes: sixteen 64 KiB reads, the last one short
    {"million a", std::string(1000000, 'a'),
     "0C99005BEB57EFF50A7CF005560DDF5D29057FD86B20BFD62DECA0F1CCEA4AF5"
     "1FC15490EDDC47AF32BB2B66C34FF9AD8C6008AD677F77126953B226E4ED8B01"},
};

const std::vector<CompressRoutine> CompressRoutines = {
    {"Avx512", CompressBlockAvx512, {"avx512f", "avx512bw", "avx512vbmi", "gfni"}},
    {"Avx2", CompressBlockAvx2, {"avx2"}},
    {"Sse2", CompressBlockSse2, {"sse2"}},
    {"Scalar", CompressBlockScalar, {}},
};

// libgcc's answer, which counts AVX2 and AVX-512 only where the OS saves their
// registers: independent of the engine's own CPUID code.
static bool ProcessorSupports(const std::string& feature) {
#if defined(__i386__) || defined(__x86_64__)
    __builtin_cpu_init();
    if (feature == "sse2") return __builtin_cpu_supports("sse2");
    if (feature == "avx2") return __builtin_cpu_supports("avx2");
    if (feature == "avx512f") return __builtin_cpu_supports("avx512f");
    if (feature == "avx512bw") return __builtin_cpu_supports("avx512bw");
    if (feature == "avx512vbmi") return __builtin_cpu_supports("avx512vbmi");
    if (feature == "gfni") return __builtin_cpu_supports("gfni");
    return false;
#else
    // Elsewhere the vector routines are the scalar one under their names.
    (void)feature;
    return true;
#endif
}

std::string MissingFeatures(const CompressRoutine& routine) {
    std::string missing;
    for (const std::string& feature : routine.features) {
        if (ProcessorSupports(feature)) continue;
        if (!missing.empty()) missing += ", ";
        missing += feature;
    }
    return missing;
}

std::string NameOfRoutine(const testing::TestParamInfo<CompressRoutine>& info) { return info.param.name; }

std::vector<uint8_t> BytesFromHex(const char* hex) {
    std::vector<uint8_t> bytes;
    for (size_t n = 0; hex[n] && hex[n + 1]; n += 2) {
        char pair[3] = {hex[n], hex[n + 1], 0};
        bytes.push_back(static_cast<uint8_t>(std::strtoul(pair, nullptr, 16)));
    }
    return bytes;
}

std::string HexOf(const uint8_t* bytes, size_t size) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t n = 0; n < size; n++) {
        text += digits[bytes[n] >> 4];
        text += digits[bytes[n] & 15];
    }
    return text;
}

std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed) {
    std::mt19937 generator(seed);
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes) b = static_cast<uint8_t>(generator());
    return bytes;
}

void DigestWithRoutine(BlockRoutine routine, const uint8_t* message, size_t size, size_t messageOffset,
                       size_t stateOffset, uint8_t digest[64]) {
    size_t padded = (size + 1 + 32 + 63) / 64 * 64;
    std::vector<uint8_t> buffer(messageOffset + padded, 0);
    uint8_t* start = buffer.data() + messageOffset;
    if (size) std::memcpy(start, message, size);
    start[size] = 0x80;
    uint64_t bits = static_cast<uint64_t>(size) * 8;
    for (int n = 0; n < 8; n++) start[padded - 1 - n] = static_cast<uint8_t>(bits >> (8 * n));

    uint8_t state[64 + 16] = {};
    for (size_t n = 0; n < padded; n += 64) routine(state + stateOffset, start + n);
    std::memcpy(digest, state + stateOffset, 64);
}

static std::vector<std::string> TestFileNames;

PathString WriteTestFile(const char* name, const uint8_t* bytes, size_t size) {
    TestFileNames.push_back(name);
    std::FILE* file = std::fopen(name, "wb");
    if (file) {
        if (size) std::fwrite(bytes, 1, size, file);
        std::fclose(file);
    }
    PathString path;
    for (const char* c = name; *c; c++) path += static_cast<PathChar>(*c);
    return path;
}

void RemoveTestFiles() {
    for (const std::string& name : TestFileNames) std::remove(name.c_str());
    TestFileNames.clear();
}
