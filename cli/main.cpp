// quorvane (quorvane-cli.exe on Windows): the console front end.
#include <vector>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/console.h"
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
    EndProcess(status);
}
