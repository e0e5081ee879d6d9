#include "store/file_outcome.h"

// A record that fits the digest but not the file: something moved its
// last-write time or size since the digest was written, so a later change of
// the contents could not be told from an edit until the record is renewed.
static Verdict JudgeSameContents(const FileReading& reading, int* reason) {
    if (reading.record == RecordMissing) {
        *reason = ErrorNoRecord;
        return VerdictStaleRecord;
    }
    if (reading.record == RecordStale) {
        *reason = ErrorRecordStale;
        return VerdictStaleRecord;
    }
    if (JudgeEdit(reading.recorded, reading.current) != FileUnchanged) {
        *reason = ErrorRecordOutOfStep;
        return VerdictStaleRecord;
    }
    return VerdictMatched;
}

// Other contents than hashed: an edit only where a usable record says the
// file was written since; when unsure, altered, and the user decides.
static Verdict JudgeOtherContents(const FileReading& reading, int* reason) {
    // Whatever the record says: it may be out of step where nobody ran update.
    if (reading.ledgerVerified || reading.record != RecordUsable) return VerdictAltered;
    switch (JudgeEdit(reading.recorded, reading.current)) {
        case FileEdited:
            return VerdictEdited;
        case FileOlderVersion:
            *reason = ErrorOlderVersion;
            return VerdictEdited;
        default:
            // Same time and size, or another size under the same time: no
            // write through the file system does that.
            return VerdictAltered;
    }
}

Verdict JudgeFile(const FileReading& reading, int* reason) {
    *reason = 0;
    if (reading.storedLength == NoDigestStream) return VerdictNoDigest;
    if (reading.storedLength == StreamOfAnotherFile) {
        *reason = ErrorChangedWhileRead;
        return VerdictChanged;
    }
    if (reading.storedLength < 0) return VerdictUnreadable;
    if (reading.storedLength != DigestLength) return VerdictMalformed;
    if (reading.hashProblem != 0) {
        *reason = reading.hashProblem;
        return reading.hashProblem == ErrorChangedWhileRead ? VerdictChanged : VerdictUnreadable;
    }
    return reading.sameContents ? JudgeSameContents(reading, reason) : JudgeOtherContents(reading, reason);
}

Verdict JudgeImport(const ImportReading& reading, int* reason) {
    *reason = 0;
    if (!reading.listed) return VerdictUnlisted;
    if (reading.storedLength == StreamOfAnotherFile) {
        *reason = ErrorChangedWhileRead;
        return VerdictChanged;
    }
    // A digest of its own is never overwritten: the same one needs nothing.
    if (reading.storedLength == DigestLength) return reading.storedIsListed ? VerdictKept : VerdictConflict;
    if (reading.storedLength >= 0) return VerdictMalformed;
    if (reading.storedLength != NoDigestStream) return VerdictUnreadable;
    if (reading.sizeDiffers) return VerdictAltered;
    if (reading.hashProblem != 0) {
        *reason = reading.hashProblem;
        return reading.hashProblem == ErrorChangedWhileRead ? VerdictChanged : VerdictUnreadable;
    }
    return reading.contentsListed ? VerdictWritten : VerdictAltered;
}

int ListOfOutcome(OperationMode mode, Verdict verdict) {
    switch (verdict) {
        case VerdictAltered:
        case VerdictEdited:
            return AlteredList;
        case VerdictMalformed:
            // Listed where rewrite finds it; a listing counts it with the digests.
            return mode == Check || mode == Update ? AlteredList : mode == List ? HashedList : -1;
        case VerdictNoDigest:
            return mode == Check || mode == List || mode == Remove ? UnhashedList : -1;
        case VerdictHashed:
        case VerdictUpdated:
        case VerdictNotRemoved:
            return HashedList;
        case VerdictWritten:
            return mode == Rewrite ? -1 : HashedList;
        case VerdictRemoved:
            return UnhashedList;
        case VerdictNotWritten:
        case VerdictChanged:
            // A run that writes in its walk ends the files it could not write
            // in the list of files without a digest; a write run keeps them in
            // its source list.
            return mode == Update || mode == CreateMissing || mode == Import ? UnhashedList : -1;
        default:
            return -1;
    }
}
