// Process entry: prepare the shared objects, run the dialog until Exit, end.
#include "ui/window.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    PrepareProcess();
    RunMainDialog();
    // Ends a worker that may still run; nothing is torn down.
    ExitProcess(0);
}
