// The commands, one procedure each family; each returns the exit status.
#pragma once

// check, list, create, rewrite, remove.
int RunTargetCommand();
// show and digest: single files, no run, no worker.
int RunShowCommand();
int RunDigestCommand();
// shell register, unregister, status: Explorer's entries, Windows only.
int RunShellCommand();
