#pragma once

// The Streamable-HTTP endpoint: MCP over HTTP on the loopback interface, with
// sessions and event streams.
//
// Serving
#include "app/http/http_streamable_server_transport.hpp"  // HTTPStreamableServerTransport, RefusedMessage
#include "app/http/json_rpc_id.hpp"                       // JSONRPCID, extractID
#include "app/http/mcp_http_server.hpp"                   // MCPHTTPServer: listener, sessions, routes, streams

// Bytes
#include "app/http/http_connection.hpp"      // HTTPConnection: one accepted connection
#include "app/http/http_request.hpp"         // HTTPRequest
#include "app/http/http_request_parser.hpp"  // HTTPRequestParser, parseRequest, HTTPRequestLimits
#include "app/http/http_response.hpp"        // httpResponseBytes, jsonRPCErrorBody, HTTPHeaders

// Event streams
#include "app/http/event_stream.hpp"       // EventStream: write queue, heartbeat, watch
#include "app/http/event_stream_text.hpp"  // eventStreamHead, dataEvent, connectedEvent, heartbeatComment

// Checks and diagnostics

#include "app/http/loopback_origin.hpp"  // isLoopbackOrigin, isLoopbackHost
