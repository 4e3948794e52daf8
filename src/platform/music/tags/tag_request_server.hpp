#pragma once

#include "platform/music/audio_tag_reader.hpp"

namespace lumenary::platform {

// The tag worker's side of its pipe (tag_worker_protocol.hpp): sends the
// greeting, then reads batches of paths from `requests` and writes one
// answer per path to `answers`, each as soon as `reader` has read it, until
// the server closes `requests`. Blocking. Gives the program's exit status:
// 0 at the end of the requests, 1 when the server no longer reads or sent
// a line or a batch past the protocol's bounds.
int serveTagRequests(int requests, int answers, AudioTagReader& reader);

}  // namespace lumenary::platform
