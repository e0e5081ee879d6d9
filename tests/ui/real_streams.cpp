// The harness resets the in-memory stream double between tests; a test
// executable linked with the real stream calls has nothing to reset.
#include "tests/ui/stream_double.h"

void ClearStreams() {}
void SetReadHook(void (*)(const std::wstring&)) {}
