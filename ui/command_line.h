// Where the arguments begin in the process command line; the rest, unchanged,
// seeds the target field. Pure and portable.
#pragma once

#include "platform/platform.h"

// Skips the program name (a quoted one up to its closing quote, then anything
// up to the next blank) and the blanks after it. Only U+0020 separates.
const PathChar* ArgumentsOfCommandLine(const PathChar* commandLine);
