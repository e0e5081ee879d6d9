// The progress tick lives beside OperationState, whose start of the hashing
// phase asks a front end for the timer; the pure rules have no front end.
#include "store/window_services.h"

void SetProgressTimer(bool) {}
