// quorvane (quorvane-cli.exe on Windows): the console front end.
#include <vector>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "engine/whirlpool.h"
#include "store/operation_state.h"

static int RunCommand() {
    switch (CommandOptions.command) {
        case HelpCommand:
            PrintHelp();
            return 0;
        case VersionCommand:
            PrintVersion();
            return 0;
        case ShellCommand:
            return RunShellCommand();
        default:
            break;
    }
    // Before any thread exists.
    BuildWhirlpoolTables();
    InitOperationState();
    if (CommandOptions.command == ShowCommand) return RunShowCommand();
    if (CommandOptions.command == DigestCommand) return RunDigestCommand();
    return RunTargetCommand();
}

int main(int argc, char** argv) {
    std::vector<PathString> args;
    ReadCommandArguments(argc, argv, &args);
    int status = ParseCommandLine(args);
    if (status == 0) status = RunCommand();
    // A listing that did not reach its file is no success.
    FlushChannels();
    if (!OutputComplete() && status != ExitInterrupted) {
        PrintMessage(PathString(ProgramName) + PT(": standard output could not be written"));
        status |= ExitFailed;
    }
    EndProcess(status);
}
