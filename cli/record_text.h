// The plain record of a listed file: a word, two blanks, the path, a line
// feed. A path that would break the line form is escaped as sha256sum
// escapes it: the record then begins with a backslash, and in the path
// \ becomes \\, a line feed \n, a carriage return \r, a tab \t, and any other
// control character (below 0x20, and DEL) \xHH. That is done when the path
// holds a control character or, under POSIX rules, a backslash; Windows paths
// are full of backslashes (no name holds one), so there they are doubled only
// in a record escaped for a control character. With -0 (NUL ends a record)
// the path is written raw. Pure and portable.
#pragma once

#include <string>

#include "platform/platform.h"

// Appends the whole record, its end included.
template <typename Char>
void AppendPlainRecord(const Char* word, const Char* path, int length, bool nulRecords, bool windowsRules,
                       std::basic_string<Char>* record);
// Under this system's rules.
PathString FormatPlainRecord(const PathChar* word, const PathString& path, bool nulRecords);

// The inverse, for a record of a line-feed-ended listing without its line
// feed: false when it is not one that AppendPlainRecord writes.
template <typename Char>
bool ParsePlainRecord(const Char* line, int length, std::basic_string<Char>* word, std::basic_string<Char>* path);
