#pragma once

// The client side of Streamable HTTP.
#include "mcp/http_transport/event_stream_delivery.hpp"          // deliverEventStream
#include "mcp/http_transport/http_client_transport.hpp"          // HTTPClientTransport
#include "mcp/http_transport/http_client_transport_options.hpp"  // HTTPClientTransportOptions
#include "mcp/http_transport/http_status_failure.hpp"            // postStatusFailure
