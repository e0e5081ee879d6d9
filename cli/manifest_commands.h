// What export and import do around their runs (manifest_commands.cpp).
#pragma once

// Before the targets are validated: import reads and keys its manifest (its
// first operand); both take the folder the paths are relative to as their
// target when given none, and clean targets. 0, or the exit status once the
// problem has been printed.
int PrepareManifestCommand();
// Export, once its targets are validated: the output opened, the header
// written, each told outcome printed as a manifest line or named as left
// out. 0, or ExitFailed once the problem has been printed.
int StartManifestOutput();
// After the run: ExitFailed where a name could not be written in the format.
int FinishManifestOutput();
