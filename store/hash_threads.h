// How many threads hash at once when the user names no count: reading
// several files at once pays on a disk that does not seek and costs on one
// that does.
#pragma once

#include <vector>

#include "platform/platform.h"

// One thread when every target lies on a volume that reports a seek penalty;
// one per processor otherwise, also where a volume cannot tell. answers holds
// one answer a target; with none there is nothing to tell either.
int ChooseHashThreads(const SeekPenalty* answers, int count, int processors);

// The rule for these targets, with the platform's answer for each (asked
// only until one reports no seek penalty or cannot tell).
int DefaultHashThreads(const std::vector<PathString>& targets);
