#pragma once

// The transports a client (or an in-process server) can run over.
#include "mcp/transports/in_memory_transport.hpp"  // InMemoryTransport: two ends wired to each other in one process
