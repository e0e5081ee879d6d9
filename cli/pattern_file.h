// The file of --exclude-from, read whole.
#pragma once

#include <string>

#include "platform/platform.h"

// A pattern file, whole, or standard input for "-"; false with the reason.
bool ReadPatternFile(const PathString& path, std::string* bytes, PathString* problem);
