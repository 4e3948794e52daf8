#pragma once

// The transports a client (or an in-process server) can run over.
#include "mcp/transports/in_memory_transport.hpp"  // InMemoryTransport: two ends wired to each other in one process

// Over a network connection
#include "mcp/transports/network_transport.hpp"       // NetworkTransport: framing, heartbeats, reconnection
#include "mcp/transports/network_connection.hpp"      // NetworkConnection: the connection seam the transport drives
#include "mcp/transports/tcp_network_connection.hpp"  // TCPNetworkConnection: TCP to a host and port
#include "mcp/transports/network_configuration.hpp"   // heartbeat, reconnection and buffer configurations
#include "mcp/transports/network_heartbeat.hpp"       // NetworkHeartbeat: the 12-byte heartbeat record
#include "mcp/transports/network_framer.hpp"          // NetworkFramer: bytes in, messages and heartbeats out
#include "mcp/transports/network_write_queue.hpp"     // NetworkWriteQueue: one writer, whole and in order
