#include "ui/command_line.h"

const PathChar* ArgumentsOfCommandLine(const PathChar* commandLine) {
    const PathChar* p = commandLine;
    if (*p == PathChar('"')) {
        ++p;
        while (*p && *p != PathChar('"')) ++p;
    }
    // Text glued to a closing quote still belongs to the program name.
    while (*p && *p != PathChar(' ')) ++p;
    while (*p == PathChar(' ')) ++p;
    return p;
}
