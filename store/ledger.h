// The ledger: when each file was last verified whole, kept outside the tree
// in the user's state folder, never in the files. Keyed by the file's
// identity (volume and file id), each entry holds the minute it was verified
// and the size and last-write time it had then, and is tied by its check
// value to the digest it matched: a torn entry, or one of a file whose
// digest was rewritten since, fits nothing and is ignored. Losing the ledger
// costs only the schedule, never a verdict.
//
// The file: a header sector, then a table of 32-byte entries (16 a sector,
// none across a sector's edge), open addressing by the identity's hash.
// The table is mapped (else each entry is read and written at its offset):
// nothing is loaded into the program's own memory, whatever the number of
// files. A table four fifths full is
// copied into one twice the entries' size, which is renamed over the old.
// One run at a time holds ledger.lock beside it.
#pragma once

#include <cstdint>

#include "platform/platform.h"

const int LedgerEntryBytes = 32;
const int LedgerHeaderBytes = 512;
// In an entry's minute: the file was read whole, and did not match.
const uint32_t MismatchMark = 0x80000000u;

// floor(key * n / 2^64): where key falls among n equal ranges, from 0 (a
// slice of the digests, a place in the table).
uint32_t ScaleKey(uint64_t key, uint32_t n);

// The pure part: an entry's bytes.
uint64_t LedgerKeyOf(const FileIdentity& identity);
void EncodeLedgerEntry(uint64_t key, const FileFacts& facts, const uint8_t digest[64], uint32_t minute,
                       uint8_t out[LedgerEntryBytes]);
enum LedgerEntryState { EntryEmpty, EntryOfOtherKey, EntryFits, EntryDoesNotFit };
// Whether bytes hold key's entry for these facts and digest; minute is set
// where it fits.
LedgerEntryState ReadLedgerEntry(const uint8_t bytes[LedgerEntryBytes], uint64_t key, const FileFacts& facts,
                                 const uint8_t digest[64], uint32_t* minute);

// How a run takes the ledger: not at all, waiting while another run holds
// it (the console), or going without it then (the window).
enum LedgerUse { LedgerOff, LedgerWaits, LedgerSkipsWhenBusy };
// What became of it, for the front end's one warning.
enum LedgerState { LedgerClosed, LedgerInUse, LedgerReadOnly, LedgerUnusable, LedgerBusy };

// The front end, before the run: opens (creating it where missing) and
// locks the ledger at path, or in the state folder for an empty path;
// onWait is called once before waiting for another run. error: the
// system's reason where it is not LedgerInUse.
LedgerState OpenLedger(LedgerUse use, const PathString& path, void (*onWait)(), int* error);
// Any thread, while open: minute (since 1970) at which the file, with these
// facts and this digest, was last verified whole; false when unknown.
// The same for the last whole read of the file, matched (verified) or not;
// a schedule orders by it, so that a file that did not match waits its turn.
bool FindLastRead(const FileIdentity& identity, const FileFacts& facts, const uint8_t digest[64], uint32_t* minute,
                  bool* matched);
bool FindVerified(const FileIdentity& identity, const FileFacts& facts, const uint8_t digest[64],
                  uint32_t* minute);
// The run's thread: the file was verified whole now. A write that fails
// turns the ledger off for the rest of the run; LedgerFailure tells why.
// Read whole without a match (altered, edited): digest is the stored one.
void RecordRead(const FileIdentity& identity, const FileFacts& facts, const uint8_t digest[64], bool matched);
inline void RecordVerified(const FileIdentity& identity, const FileFacts& facts, const uint8_t digest[64]) {
    RecordRead(identity, facts, digest, true);
}
// The system's reason the ledger stopped being written in the run, else 0.
int LedgerFailure();
// The run's end: to the disk, unlocked, closed.
void CloseLedger();
// Minutes since 1970 by the system clock.
uint32_t MinuteNow();
