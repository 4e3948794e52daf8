#pragma once

// The client side of MCP: a client per connection and its batches.
#include "mcp/client/client.hpp"                // Client: handshake, requests, notifications, inbound requests
#include "mcp/client/client_batch.hpp"          // ClientBatch: requests sent as one JSON-RPC batch
#include "mcp/client/pending_request.hpp"       // PendingRequest<T>: a request waiting for its response
#include "mcp/client/type_mismatch_error.hpp"   // TypeMismatchError: a result of the wrong shape
