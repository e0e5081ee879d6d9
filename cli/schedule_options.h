// The console's options of the schedule (--slice, --older-than, --budget,
// --no-ledger): their values go to the store's schedule (store/schedule.h).
#pragma once

#include "platform/platform.h"

enum ScheduleOptionKind { ScheduleSlice, ScheduleOlderThan, ScheduleBudget };

// False for a value that is none of its kind (ScheduleUsage says which are).
bool TakeScheduleValue(ScheduleOptionKind kind, const PathString& value);
extern const PathChar ScheduleUsage[];
// The problem of a schedule option the command has no use for; null for none.
const PathChar* MisplacedScheduleOption();
// Their lines of the help's options, then what the ledger is.
extern const char ScheduleHelpText[];
