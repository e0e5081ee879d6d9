#include "store/ledger.h"

#include <cstring>
#include <mutex>

#include "platform/state_file.h"

static const char LedgerMagic[16] = "quorvane-ledger";
const uint32_t LedgerVersion = 1;
const uint64_t FirstCapacity = 4096;
const uint32_t EntriesAChunk = 2048;  // 64 KiB read at a time
const uint64_t FlushInterval = 50000000;  // 5 s in 100-ns units

static uint64_t Mix(uint64_t value) {
    value ^= value >> 31;
    value *= 0x7FB5D329728EA185ull;
    value ^= value >> 27;
    value *= 0x81DADEF4BC2DD44Dull;
    return value ^ (value >> 33);
}

static void PutLittle(uint64_t value, int bytes, uint8_t* out) {
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

static uint64_t TakeLittle(const uint8_t* in, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(in[i]) << (8 * i);
    return value;
}

uint32_t ScaleKey(uint64_t key, uint32_t n) {
    // The high half of key * n in 64-bit pieces: i686 has no 128-bit product.
    uint64_t high = (key >> 32) * n;
    uint64_t low = (key & 0xFFFFFFFFull) * n;
    return static_cast<uint32_t>((high + (low >> 32)) >> 32);
}

uint64_t LedgerKeyOf(const FileIdentity& identity) { return Mix(identity.index + Mix(identity.volume)); }

// Bytes 0-27 with the facts' unit and the whole digest, so that an entry
// fits only the digest it was verified against; never 0, which marks empty.
static uint32_t EntryCheck(const uint8_t bytes[28], TimeUnit unit, const uint8_t digest[64]) {
    uint64_t sum = Mix(unit);
    for (int i = 0; i < 28; i += 4) sum = Mix(sum + TakeLittle(bytes + i, 4));
    for (int i = 0; i < 64; i += 8) sum = Mix(sum + TakeLittle(digest + i, 8));
    uint32_t check = static_cast<uint32_t>(sum);
    return check != 0 ? check : 1;
}

void EncodeLedgerEntry(uint64_t key, const FileFacts& facts, const uint8_t digest[64], uint32_t minute,
                       uint8_t out[LedgerEntryBytes]) {
    PutLittle(key, 8, out);
    PutLittle(facts.size, 8, out + 8);
    PutLittle(static_cast<uint64_t>(facts.time), 8, out + 16);
    PutLittle(minute, 4, out + 24);
    PutLittle(EntryCheck(out, facts.unit, digest), 4, out + 28);
}

LedgerEntryState ReadLedgerEntry(const uint8_t bytes[LedgerEntryBytes], uint64_t key, const FileFacts& facts,
                                 const uint8_t digest[64], uint32_t* minute) {
    static const uint8_t empty[LedgerEntryBytes] = {};
    if (std::memcmp(bytes, empty, LedgerEntryBytes) == 0) return EntryEmpty;
    if (TakeLittle(bytes, 8) != key) return EntryOfOtherKey;
    bool fits = TakeLittle(bytes + 8, 8) == facts.size && static_cast<int64_t>(TakeLittle(bytes + 16, 8)) == facts.time &&
                TakeLittle(bytes + 28, 4) == EntryCheck(bytes, facts.unit, digest);
    if (!fits) return EntryDoesNotFit;
    *minute = static_cast<uint32_t>(TakeLittle(bytes + 24, 4));
    return EntryFits;
}

// A table file, and its entries in memory where they could be mapped (else
// each is read and written at its offset).
struct LedgerTable {
    FileHandle file;
    uint8_t* view;
    uint64_t capacity;  // entries
};

struct LedgerRecord {
    std::mutex lock;
    LedgerTable table;  // file NoFile: no ledger in this run
    FileHandle holder;  // ledger.lock, locked while the run lasts
    bool writable;
    PathString path;
    uint64_t used;
    int failure;
    uint64_t lastFlush;
    bool unflushed;
};

static LedgerRecord Ledger = {{}, {NoFile, nullptr, 0}, NoFile, false, PathString(), 0, 0, 0, false};

uint32_t MinuteNow() {
    // 100-ns units since 1601 to minutes since 1970.
    return static_cast<uint32_t>((SystemTimeNow() - 116444736000000000ull) / 600000000ull);
}

static void EncodeHeader(uint64_t capacity, uint8_t out[LedgerHeaderBytes]) {
    std::memset(out, 0, LedgerHeaderBytes);
    std::memcpy(out, LedgerMagic, 16);
    PutLittle(LedgerVersion, 4, out + 16);
    PutLittle(LedgerEntryBytes, 4, out + 20);
    PutLittle(capacity, 8, out + 24);
    PutLittle(Mix(Mix(capacity) + LedgerVersion), 8, out + 32);
}

// The table's entries, or 0 for a header that is not ours.
static uint64_t CapacityOf(const uint8_t header[LedgerHeaderBytes]) {
    uint64_t capacity = TakeLittle(header + 24, 8);
    bool ours = std::memcmp(header, LedgerMagic, 16) == 0 && TakeLittle(header + 16, 4) == LedgerVersion &&
                TakeLittle(header + 20, 4) == LedgerEntryBytes && TakeLittle(header + 32, 8) == Mix(Mix(capacity) + LedgerVersion);
    // Beyond what GrowTable makes, the table's end would not fit 64 bits.
    return ours && capacity % 16 == 0 && capacity >> 4 <= 0xFFFFFFFFull ? capacity : 0;
}

static uint64_t OffsetOf(uint64_t slot) { return LedgerHeaderBytes + slot * LedgerEntryBytes; }

static bool ReadEntries(const LedgerTable& table, uint64_t at, uint64_t count, uint8_t* out) {
    uint32_t size = static_cast<uint32_t>(count * LedgerEntryBytes);
    if (table.view) {
        std::memcpy(out, table.view + OffsetOf(at), size);
        return true;
    }
    return ReadStateAt(table.file, OffsetOf(at), out, size) == static_cast<int>(size);
}

static bool WriteEntry(const LedgerTable& table, uint64_t slot, const uint8_t bytes[LedgerEntryBytes]) {
    if (table.view) {
        std::memcpy(table.view + OffsetOf(slot), bytes, LedgerEntryBytes);
        return true;
    }
    return WriteStateAt(table.file, OffsetOf(slot), bytes, LedgerEntryBytes);
}

static bool FlushTable(const LedgerTable& table) {
    if (table.view && !FlushStateView(table.view, OffsetOf(table.capacity))) return false;
    return FlushStateFile(table.file);
}

static void CloseTable(LedgerTable* table) {
    if (table->view) UnmapStateFile(table->view, OffsetOf(table->capacity));
    if (table->file != NoFile) CloseFile(table->file);
    *table = LedgerTable{NoFile, nullptr, 0};
}

// Zeros over the whole table, written out: a file with holes could fail a
// store into its view on a full disk.
static bool WriteEmptyTable(FileHandle file, uint64_t capacity) {
    static const uint8_t zeros[65536] = {};
    uint64_t end = OffsetOf(capacity);
    for (uint64_t at = LedgerHeaderBytes; at < end; at += sizeof zeros) {
        uint64_t size = end - at < sizeof zeros ? end - at : sizeof zeros;
        if (!WriteStateAt(file, at, zeros, static_cast<uint32_t>(size))) return false;
    }
    return true;
}

// A new, empty table of capacity entries at path, mapped where it can be;
// file NoFile when it cannot be made.
static LedgerTable MakeTable(const PathString& path, uint64_t capacity) {
    bool writable;
    LedgerTable table = {OpenStateFile(path, true, &writable), nullptr, capacity};
    if (table.file == NoFile) return table;
    uint8_t header[LedgerHeaderBytes];
    EncodeHeader(capacity, header);
    if (!writable || !SetStateFileSize(table.file, 0) || !WriteStateAt(table.file, 0, header, LedgerHeaderBytes) ||
        !WriteEmptyTable(table.file, capacity)) {
        // What was written of it would keep a full disk full.
        CloseTable(&table);
        if (writable) DeleteStateFile(path);
        return table;
    }
    table.view = MapStateFile(table.file, OffsetOf(capacity), true);
    return table;
}

// The slot of key in table: where its entry is, or the first empty one on
// its way; false when it cannot be read, or the table is full.
static bool FindSlot(const LedgerTable& table, uint64_t key, uint64_t* slot, uint8_t entry[LedgerEntryBytes]) {
    static const uint8_t empty[LedgerEntryBytes] = {};
    uint64_t capacity = table.capacity;
    uint64_t at = ScaleKey(key, static_cast<uint32_t>(capacity >> 4)) * 16ull + (key & 15);
    uint8_t chunk[16 * LedgerEntryBytes];
    for (uint64_t probed = 0; probed < capacity;) {
        uint64_t count = capacity - at < 16 ? capacity - at : 16;
        if (!ReadEntries(table, at, count, chunk)) return false;
        for (uint64_t i = 0; i < count; ++i) {
            const uint8_t* bytes = chunk + i * LedgerEntryBytes;
            if (TakeLittle(bytes, 8) == key || std::memcmp(bytes, empty, LedgerEntryBytes) == 0) {
                *slot = at + i;
                std::memcpy(entry, bytes, LedgerEntryBytes);
                return true;
            }
        }
        probed += count;
        at = (at + count) % capacity;
    }
    return false;
}

// Each entry of the table in turn, a chunk at a time; false on a read error.
static bool ForEachEntry(const LedgerTable& table, void (*take)(const uint8_t*, void*), void* context) {
    static uint8_t chunk[EntriesAChunk * LedgerEntryBytes];
    static const uint8_t empty[LedgerEntryBytes] = {};
    for (uint64_t at = 0; at < table.capacity; at += EntriesAChunk) {
        uint64_t count = table.capacity - at < EntriesAChunk ? table.capacity - at : EntriesAChunk;
        if (!ReadEntries(table, at, count, chunk)) return false;
        for (uint64_t i = 0; i < count; ++i) {
            const uint8_t* bytes = chunk + i * LedgerEntryBytes;
            if (std::memcmp(bytes, empty, LedgerEntryBytes) != 0) take(bytes, context);
        }
    }
    return true;
}

static void CountEntry(const uint8_t*, void* used) { ++*static_cast<uint64_t*>(used); }

struct GrownTable {
    LedgerTable table;
    bool failed;
};

static void CopyEntry(const uint8_t* bytes, void* context) {
    GrownTable* grown = static_cast<GrownTable*>(context);
    uint64_t slot;
    uint8_t entry[LedgerEntryBytes];
    if (grown->failed) return;
    grown->failed = !FindSlot(grown->table, TakeLittle(bytes, 8), &slot, entry) || !WriteEntry(grown->table, slot, bytes);
}

// A table of room for twice the entries, filled from the old one, made the
// ledger in one rename: a crash on the way leaves the old one as it was.
static bool GrowTable() {
    PathString fresh = Ledger.path + PT(".new");
    uint64_t capacity = (Ledger.used * 2 + FirstCapacity + 15) / 16 * 16;
    if (capacity >> 4 > 0xFFFFFFFFull) return false;
    GrownTable grown = {MakeTable(fresh, capacity), false};
    if (grown.table.file == NoFile) return false;
    if (!ForEachEntry(Ledger.table, CopyEntry, &grown) || grown.failed || !FlushTable(grown.table)) {
        CloseTable(&grown.table);
        DeleteStateFile(fresh);
        return false;
    }
    // Windows renames over a file only once nobody has it open.
    CloseTable(&Ledger.table);
    Ledger.table = grown.table;
    return ReplaceStateFile(fresh, Ledger.path);
}

// The table at Ledger.path, opened, or made anew where it is missing or
// not ours (losing it costs only the schedule).
static LedgerState OpenTable(int* error) {
    LedgerTable& table = Ledger.table;
    table = LedgerTable{OpenStateFile(Ledger.path, false, &Ledger.writable), nullptr, 0};
    uint8_t header[LedgerHeaderBytes] = {};
    if (table.file != NoFile) {
        if (ReadStateAt(table.file, 0, header, LedgerHeaderBytes) != LedgerHeaderBytes) std::memset(header, 0, sizeof header);
        table.capacity = CapacityOf(header);
        if (table.capacity != 0 && FileSizeOf(table.file) >= static_cast<int64_t>(OffsetOf(table.capacity))) {
            table.view = MapStateFile(table.file, OffsetOf(table.capacity), Ledger.writable);
            Ledger.used = 0;
            if (ForEachEntry(table, CountEntry, &Ledger.used)) return Ledger.writable ? LedgerInUse : LedgerReadOnly;
        }
        CloseTable(&table);
    }
    PathString fresh = Ledger.path + PT(".new");
    table = MakeTable(fresh, FirstCapacity);
    if (table.file == NoFile || !ReplaceStateFile(fresh, Ledger.path)) {
        *error = LastPlatformError();
        bool made = table.file != NoFile;
        CloseTable(&table);
        if (made) DeleteStateFile(fresh);
        return LedgerUnusable;
    }
    Ledger.writable = true;
    Ledger.used = 0;
    return LedgerInUse;
}

LedgerState OpenLedger(LedgerUse use, const PathString& path, void (*onWait)(), int* error) {
    *error = 0;
    Ledger.failure = 0;
    if (use == LedgerOff) return LedgerClosed;
    PathString folder = path.empty() ? StateFolderPath() : path.substr(0, path.find_last_of(PT("/\\")));
    if (folder.empty() || !MakeStateFolder(folder)) {
        *error = LastPlatformError();
        return LedgerUnusable;
    }
    Ledger.path = path.empty() ? folder + PathSeparator + PT("ledger") : path;
    bool writable;
    Ledger.holder = OpenStateFile(Ledger.path + PT(".lock"), true, &writable);
    if (Ledger.holder == NoFile) {
        *error = LastPlatformError();
        return LedgerUnusable;
    }
    if (!LockStateFile(Ledger.holder, false)) {
        if (use == LedgerSkipsWhenBusy) {
            CloseFile(Ledger.holder);
            Ledger.holder = NoFile;
            return LedgerBusy;
        }
        if (onWait) onWait();
        if (!LockStateFile(Ledger.holder, true)) {
            *error = LastPlatformError();
            CloseLedger();
            return LedgerUnusable;
        }
    }
    LedgerState state = OpenTable(error);
    Ledger.lastFlush = SystemTimeNow();
    Ledger.unflushed = false;
    if (state == LedgerUnusable) CloseLedger();
    return state;
}

bool FindLastRead(const FileIdentity& identity, const FileFacts& facts, const uint8_t digest[64], uint32_t* minute,
                  bool* matched) {
    std::lock_guard<std::mutex> hold(Ledger.lock);
    if (Ledger.table.file == NoFile) return false;
    uint64_t key = LedgerKeyOf(identity), slot;
    uint8_t entry[LedgerEntryBytes];
    uint32_t found = 0;
    if (!FindSlot(Ledger.table, key, &slot, entry)) return false;
    if (ReadLedgerEntry(entry, key, facts, digest, &found) != EntryFits) return false;
    if (minute) *minute = found & ~MismatchMark;
    if (matched) *matched = (found & MismatchMark) == 0;
    return true;
}

bool FindVerified(const FileIdentity& identity, const FileFacts& facts, const uint8_t digest[64],
                  uint32_t* minute) {
    bool matched = false;
    return FindLastRead(identity, facts, digest, minute, &matched) && matched;
}

static void StopWriting() {
    Ledger.failure = LastPlatformError() != 0 ? LastPlatformError() : ErrorShortRead;
    Ledger.writable = false;
}

void RecordRead(const FileIdentity& identity, const FileFacts& facts, const uint8_t digest[64], bool matched) {
    std::lock_guard<std::mutex> hold(Ledger.lock);
    if (Ledger.table.file == NoFile || !Ledger.writable) return;
    if ((Ledger.used + 1) * 5 > Ledger.table.capacity * 4 && !GrowTable()) return StopWriting();
    uint64_t key = LedgerKeyOf(identity), slot;
    uint8_t entry[LedgerEntryBytes];
    if (!FindSlot(Ledger.table, key, &slot, entry)) return StopWriting();
    uint8_t unused[LedgerEntryBytes] = {};
    if (std::memcmp(entry, unused, LedgerEntryBytes) == 0) ++Ledger.used;
    // A file once verified at these facts stays so when read again without a
    // match: it is rot, and stays altered whatever its record says.
    uint32_t before = MismatchMark;
    bool verifiedBefore = ReadLedgerEntry(entry, key, facts, digest, &before) == EntryFits &&
                          (before & MismatchMark) == 0;
    EncodeLedgerEntry(key, facts, digest, MinuteNow() | (matched || verifiedBefore ? 0 : MismatchMark), entry);
    if (!WriteEntry(Ledger.table, slot, entry)) return StopWriting();
    // A kill loses nothing written; a power cut at most the last seconds.
    uint64_t now = SystemTimeNow();
    Ledger.unflushed = true;
    if (now - Ledger.lastFlush >= FlushInterval) {
        FlushTable(Ledger.table);
        Ledger.lastFlush = now;
        Ledger.unflushed = false;
    }
}

int LedgerFailure() { return Ledger.failure; }

void CloseLedger() {
    std::lock_guard<std::mutex> hold(Ledger.lock);
    if (Ledger.table.file != NoFile && Ledger.unflushed) FlushTable(Ledger.table);
    CloseTable(&Ledger.table);
    if (Ledger.holder != NoFile) CloseFile(Ledger.holder);
    Ledger.holder = NoFile;
}
