// shell register, unregister, status: Explorer's Send To entry and folder
// verb, which start the window lying beside this program.
#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/output.h"

#ifdef _WIN32
#include "platform/shell.h"

// One line an entry: a word, two blanks, where it is and what it starts.
static void PrintEntries(const PathChar* presentWord, const ShellEntryState states[ShellEntryCount]) {
    for (int i = 0; i < ShellEntryCount; ++i) {
        const ShellEntryState& state = states[i];
        PathString line = state.place;
        const PathChar* word = PT("not-registered");
        if (state.present) {
            word = state.programExists || presentWord != PathString(PT("registered")) ? presentWord : PT("stale");
        }
        if (!state.program.empty()) line += PT(" -> ") + state.program;
        PrintText(StandardOutput, word + PathString(PT("  ")) + line + PT("\n"));
    }
}

static PathString WindowBesideProgram() {
    PathString program = RunningProgramPath();
    size_t separator = program.rfind(PathChar('\\'));
    return separator == PathString::npos ? PathString() : program.substr(0, separator + 1) + PT("Quorvane.exe");
}

int RunShellCommand() {
    const PathString& action = CommandOptions.operands[0];
    ShellEntryState states[ShellEntryCount];
    if (action == PT("status")) {
        QueryShellEntries(states);
        PrintEntries(PT("registered"), states);
        for (const ShellEntryState& state : states) {
            if (state.present && !state.programExists) {
                PrintMessage(PathString(ProgramName) + PT(": ") + state.program +
                             PT(" is gone: run 'shell register' where Quorvane.exe is now"));
                break;
            }
        }
        return 0;
    }
    if (action == PT("register")) {
        PathString window = WindowBesideProgram();
        if (window.empty() || QueryPathKind(window.c_str()) != PathFile) {
            PrintFileError(window, PT("not found: Quorvane.exe must lie beside this program"));
            return ExitNoTarget;
        }
        int error = RegisterShellEntries(window.c_str());
        if (error) {
            PrintMessage(PathString(ProgramName) + PT(": shell register: ") + ReasonText(error));
            return ExitFailed;
        }
        QueryShellEntries(states);
        PrintEntries(PT("registered"), states);
        return 0;
    }
    if (action == PT("unregister")) {
        int error = UnregisterShellEntries(states);
        for (ShellEntryState& state : states) state.program.clear();
        PrintEntries(PT("removed"), states);
        if (error) {
            PrintMessage(PathString(ProgramName) + PT(": shell unregister: ") + ReasonText(error));
            return ExitFailed;
        }
        return 0;
    }
    return PrintUsageError(PT("shell takes one of register, unregister and status"));
}
#else
int RunShellCommand() {
    PrintMessage(PathString(ProgramName) + PT(": shell: Explorer's entries are for Windows only"));
    return ExitUsage;
}
#endif
