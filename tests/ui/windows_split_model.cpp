#include "tests/ui/windows_split_model.h"

static bool IsBlank(PathChar c) { return c == PathChar(' ') || c == PathChar('\t'); }

static void SplitRest(const PathChar* p, std::vector<PathString>* args) {
    // 0 outside quotes, 1 inside; a run of quotes counts on from there, and
    // its third quote is a literal one that ends quoting.
    int quotes = 0;
    for (;;) {
        while (IsBlank(*p)) ++p;
        if (*p == 0) return;
        PathString arg;
        while (*p != 0 && !(quotes == 0 && IsBlank(*p))) {
            if (*p == PathChar('\\')) {
                int n = 0;
                while (p[n] == PathChar('\\')) ++n;
                p += n;
                if (*p != PathChar('"')) {
                    arg.append(n, PathChar('\\'));
                    continue;
                }
                arg.append(n / 2, PathChar('\\'));
                if (n % 2 == 1) {
                    arg.push_back(PathChar('"'));
                    ++p;
                    continue;
                }
            }
            if (*p == PathChar('"')) {
                ++quotes;
                ++p;
                for (; *p == PathChar('"'); ++p) {
                    if (++quotes == 3) {
                        arg.push_back(PathChar('"'));
                        quotes = 0;
                    }
                }
                if (quotes == 2) quotes = 0;
                continue;
            }
            arg.push_back(*p++);
        }
        args->push_back(arg);
    }
}

std::vector<PathString> SplitByWindowsRules(const PathChar* text) {
    std::vector<PathString> args;
    if (*text == 0) return args;
    const PathChar* p = text;
    PathString first;
    if (*p == PathChar('"')) {
        for (++p; *p != 0 && *p != PathChar('"'); ++p) first.push_back(*p);
        if (*p != 0) ++p;
    } else {
        for (; *p != 0 && !IsBlank(*p); ++p) first.push_back(*p);
    }
    args.push_back(first);
    SplitRest(p, &args);
    return args;
}

std::vector<PathString> SplitLaterArguments(const PathChar* text) {
    std::vector<PathString> args;
    SplitRest(text, &args);
    return args;
}
