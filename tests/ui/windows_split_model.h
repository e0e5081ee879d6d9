// A portable model of the window's splitter, CommandLineToArgvW, so that the
// round trips of the target text are checked on every system. For tests and
// fuzz targets only; split_model_test.cpp holds it against the real splitter
// under Wine.
#pragma once

#include <vector>

#include "platform/platform.h"

// The arguments of text as CommandLineToArgvW gives them. The first follows
// the program-name rule: a quoted one runs to the next quote, whatever stands
// before it, an unquoted one to the first blank or tab; backslashes are
// ordinary there. An empty text (for which the real splitter answers the
// program's own path) gives none.
std::vector<PathString> SplitByWindowsRules(const PathChar* text);

// The same rules for the arguments after the first: blanks and tabs separate
// outside quotes; n backslashes before a quote give n / 2 backslashes and,
// for odd n, a literal quote; other backslashes stand for themselves; in a
// run of quotes every third one after the one that opened quoting is literal.
std::vector<PathString> SplitLaterArguments(const PathChar* text);
