#pragma once

// The Streamable-HTTP endpoint: MCP over HTTP on the loopback interface, with
// sessions and event streams.
//
// Serving
#include "app/http/mcp_http_server.hpp"                   // MCPHTTPServer: the parts put together
#include "app/http/http_listener.hpp"                     // HTTPListener: accepting, connection table, limits
#include "app/http/session_table.hpp"                     // SessionTable, HTTPSession: create, expire, evict, end
#include "app/http/http_routes.hpp"                       // route, serveConnection, RouteContext
#include "app/http/http_streamable_server_transport.hpp"  // HTTPStreamableServerTransport, RefusedMessage

// Bytes
#include "app/http/body_budget.hpp"          // BodyBudget: request bodies in flight
#include "app/http/http_connection.hpp"      // HTTPConnection: one accepted connection
#include "app/http/http_request.hpp"         // HTTPRequest
#include "app/http/http_request_parser.hpp"  // HTTPRequestParser, parseRequest, HTTPRequestLimits
#include "app/http/http_response.hpp"        // httpResponseBytes, jsonRPCErrorBody, HTTPHeaders

// Event streams
#include "app/http/event_stream.hpp"           // EventStream: write queue, heartbeat, watch
#include "app/http/event_stream_registry.hpp"  // EventStreamRegistry: the open streams by session
#include "app/http/event_stream_text.hpp"      // eventStreamHead, dataEvent, connectedEvent, heartbeatComment

// Checks
#include "app/http/loopback_origin.hpp"  // isLoopbackOrigin, isLoopbackHost
