#pragma once

namespace lumenary::system {

// A write to a pipe whose reader has gone must fail with EPIPE, not end the
// process with SIGPIPE: ignores the signal for the whole process, once. An
// ignored signal stays ignored across exec, so code that starts other
// programs sets SIGPIPE back to default for them (posix_spawnattr_setsigdefault).
void ignoreBrokenPipeSignals();

}  // namespace lumenary::system
