#include "store/schedule.h"

#include <map>
#include <vector>

#include "store/ledger.h"
#include "store/operation_state.h"

ScheduleRecord Schedule;

uint32_t SliceOfDigest(const uint8_t digest[64], uint32_t n) {
    uint64_t key = 0;
    for (int i = 0; i < 8; ++i) key = key << 8 | digest[i];
    return ScaleKey(key, n) + 1;
}

// A whole number at text, up to limit; text moved past it.
static bool TakeNumber(const PathChar** text, uint64_t limit, uint64_t* value) {
    const PathChar* p = *text;
    *value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        *value = *value * 10 + static_cast<uint64_t>(*p - '0');
        if (*value > limit) return false;
    }
    bool taken = p != *text;
    *text = p;
    return taken;
}

bool ParseSlice(const PathChar* text, uint32_t* k, uint32_t* n) {
    uint64_t slice, of;
    if (!TakeNumber(&text, 0xFFFFFFFFull, &slice) || *text++ != '/' || !TakeNumber(&text, 0xFFFFFFFFull, &of) ||
        *text != 0 || slice < 1 || slice > of) {
        return false;
    }
    *k = static_cast<uint32_t>(slice);
    *n = static_cast<uint32_t>(of);
    return true;
}

bool ParseAge(const PathChar* text, uint32_t* minutes) {
    static const struct {
        PathChar unit;
        uint32_t minutes;
    } units[] = {{'m', 1}, {'h', 60}, {'d', 1440}, {'w', 10080}};
    uint64_t count;
    if (!TakeNumber(&text, 0xFFFFFFFFull, &count) || text[0] == 0 || text[1] != 0) return false;
    for (const auto& unit : units) {
        if (unit.unit == text[0] && count * unit.minutes <= 0xFFFFFFFFull) {
            *minutes = static_cast<uint32_t>(count * unit.minutes);
            return true;
        }
    }
    return false;
}

bool ParseBudget(const PathChar* text, uint32_t* minutes, uint64_t* bytes) {
    static const struct {
        PathChar unit;
        uint64_t bytes;
    } units[] = {{'K', 1000ull}, {'M', 1000000ull}, {'G', 1000000000ull}, {'T', 1000000000000ull}};
    *minutes = 0;
    *bytes = 0;
    if (ParseAge(text, minutes)) return *minutes != 0;
    uint64_t count;
    if (!TakeNumber(&text, 1000000000ull, &count) || text[0] == 0 || text[1] != 0) return false;
    for (const auto& unit : units) {
        if (unit.unit == text[0]) *bytes = count * unit.bytes;
    }
    return *bytes != 0;
}

bool IsDue(bool known, uint32_t verified, uint32_t now, uint32_t period) {
    // A time after now (the clock was set back) proves nothing.
    return !known || verified > now || now - verified >= period;
}

int ChooseRoundBounds(const uint32_t* days, const uint64_t* counts, int n, uint32_t bounds[MaxScheduleRounds]) {
    uint64_t total = 0, sum = 0, share = 1;
    for (int i = 0; i < n; ++i) total += counts[i];
    int rounds = 0;
    // A round ends at the day that reaches a further share of the due files;
    // a day that holds several shares ends them all.
    for (int i = 0; i < n; ++i) {
        sum += counts[i];
        if (i != n - 1 && sum * MaxScheduleRounds < total * share) continue;
        bounds[rounds++] = days[i];
        while (share <= MaxScheduleRounds && sum * MaxScheduleRounds >= total * share) ++share;
        if (rounds == MaxScheduleRounds - 1 && i != n - 1) {
            bounds[rounds++] = days[n - 1];
            break;
        }
    }
    return rounds;
}

// One run's bookkeeping, on the run's thread (the size pass and the walk).
struct ScheduleRunRecord {
    std::map<uint32_t, uint64_t> dueByDay;
    bool reportable;  // the size pass met something the first round must report
    int round;
    uint32_t bounds[MaxScheduleRounds];
    uint32_t now;
    uint64_t start;
    uint64_t bytesBegun;
};

static ScheduleRunRecord ScheduleRun;

void BeginSchedule() {
    Schedule.budgetSpent = false;
    Schedule.dueFiles = Schedule.dueBytes = Schedule.readFiles = Schedule.readBytes = 0;
    ScheduleRun.dueByDay.clear();
    ScheduleRun.reportable = false;
    for (int error : OperationState.TargetErrors) ScheduleRun.reportable = ScheduleRun.reportable || error != 0;
    ScheduleRun.round = 0;
    ScheduleRun.bounds[0] = 0xFFFFFFFFu;
    ScheduleRun.now = MinuteNow();
    ScheduleRun.start = SystemTimeNow();
    ScheduleRun.bytesBegun = 0;
}

bool InSlice(int storedLength, const uint8_t stored[64]) {
    return Schedule.sliceN == 0 || storedLength != 64 || SliceOfDigest(stored, Schedule.sliceN) == Schedule.sliceK;
}

// The day (since 1970) the file was last verified, 0 when never; false when
// it is not due (or outside the slice), and for a file without a usable
// digest (*noDigest), which costs no read.
static bool DayOfDueFile(FileHandle file, const PathChar* path, const FileSnapshot& before, uint32_t* day,
                         bool* noDigest) {
    uint8_t digest[64];
    int length = ReadStream(file, path, DigestStream, digest, 64);
    *noDigest = length != 64;
    if (*noDigest || !InSlice(length, digest)) return false;
    uint32_t minute = 0;
    bool known = FindLastRead(before.identity, FactsOf(before), digest, &minute, nullptr);
    *day = known ? minute / 1440 : 0;
    return IsDue(known, minute, ScheduleRun.now, Schedule.periodMinutes);
}

void NoteReportable() { ScheduleRun.reportable = true; }

void CountDueFile(FileHandle file, const PathChar* path) {
    FileSnapshot before;
    uint32_t day;
    bool noDigest;
    if (!TakeFileSnapshot(file, &before)) return NoteReportable();
    if (!DayOfDueFile(file, path, before, &day, &noDigest)) {
        if (noDigest) NoteReportable();
        return;
    }
    ++Schedule.dueFiles;
    Schedule.dueBytes += static_cast<uint64_t>(before.size);
    OperationState.BytesTotal += static_cast<uint64_t>(before.size);
    ++ScheduleRun.dueByDay[day];
}

int PlanScheduleRounds() {
    if (!Schedule.olderThan) return 1;
    std::vector<uint32_t> days;
    std::vector<uint64_t> counts;
    for (const auto& day : ScheduleRun.dueByDay) {
        days.push_back(day.first);
        counts.push_back(day.second);
    }
    int rounds = ChooseRoundBounds(days.data(), counts.data(), static_cast<int>(days.size()), ScheduleRun.bounds);
    if (Schedule.budgetBytes != 0 && OperationState.BytesTotal > Schedule.budgetBytes) {
        OperationState.BytesTotal = Schedule.budgetBytes;
    }
    if (rounds == 0 && ScheduleRun.reportable) {
        ScheduleRun.bounds[0] = 0;
        rounds = 1;
    }
    return rounds;
}

void BeginScheduleRound(int round) { ScheduleRun.round = round; }

bool ReportsInThisRound() { return ScheduleRun.round == 0; }

bool SchedulesMoreFiles() { return !Schedule.budgetSpent; }

static bool BudgetSpentNow() {
    uint64_t elapsed = SystemTimeNow() - ScheduleRun.start;
    return (Schedule.budgetBytes != 0 && ScheduleRun.bytesBegun >= Schedule.budgetBytes) ||
           (Schedule.budgetMinutes != 0 && elapsed >= Schedule.budgetMinutes * 600000000ull);
}

bool TakesFileInRound(FileHandle file, const PathChar* path, const FileSnapshot& before) {
    if (!Schedule.olderThan) return true;
    uint32_t day;
    bool noDigest;
    if (!DayOfDueFile(file, path, before, &day, &noDigest)) return noDigest && ScheduleRun.round == 0;
    int round = ScheduleRun.round;
    if ((round > 0 && day <= ScheduleRun.bounds[round - 1]) || day > ScheduleRun.bounds[round]) return false;
    if (BudgetSpentNow()) {
        Schedule.budgetSpent = true;
        return false;
    }
    ScheduleRun.bytesBegun += static_cast<uint64_t>(before.size);
    return true;
}
