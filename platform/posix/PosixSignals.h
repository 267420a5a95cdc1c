#pragma once
// Signal settings shared by the POSIX platform files.

// Writes to a pipe or socket whose reader has gone must fail with an error
// instead of ending the service. Idempotent.
void ignoreBrokenPipeSignal();
