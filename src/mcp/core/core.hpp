#pragma once

// The MCP protocol core: what every MCP peer of the system shares.
//
// JSON
#include "mcp/core/base64.hpp"             // base64Encode, base64Decode
#include "mcp/core/data_url.hpp"           // isDataURL, parseDataURL, dataURLEncoded
#include "mcp/core/json.hpp"               // parseJSON, writeJSON: text <-> Value, compact or pretty
#include "mcp/core/value.hpp"              // Value: the JSON value, with data URLs as bytes
#include "mcp/core/value_conversions.hpp"  // boolFrom, integerFrom, doubleFrom, stringFrom

// Typed JSON forms
#include "mcp/core/coders.hpp"            // coders of the basic types, ObjectEncoder
#include "mcp/core/coding_error.hpp"      // DecodingError, EncodingError
#include "mcp/core/decoder.hpp"           // Coder<T>, Decoder, encodeValue, decodeValue
#include "mcp/core/log_level_coding.hpp"  // log levels by name

// JSON-RPC
#include "mcp/core/classified_envelopes.hpp"  // takeClassifiedRequest/Notification: envelopes moved out of a classified message
#include "mcp/core/handler_box.hpp"  // RequestHandlerBox, TypedRequestHandler, notification boxes
#include "mcp/core/id.hpp"           // ID: request identifiers
#include "mcp/core/mcp_error.hpp"    // MCPError and its error object
#include "mcp/core/message_classification.hpp"  // classifyMessage: request, notification, response or invalid, with its id
#include "mcp/core/message.hpp"      // Message<N>: notifications
#include "mcp/core/method.hpp"       // Method, Notification, Empty, NotRequired, AnyMethod, AnyNotification
#include "mcp/core/request.hpp"      // Request<M>
#include "mcp/core/response.hpp"     // Response<M>
#include "mcp/core/uuid.hpp"         // randomUUID, canonicalUUID: upper-case UUID text

// MCP handshake and identities
#include "mcp/core/client_capabilities.hpp"      // ClientCapabilities
#include "mcp/core/create_sampling_message.hpp"  // CreateSamplingMessage
#include "mcp/core/handshake.hpp"                // Initialize, InitializedNotification, Ping
#include "mcp/core/peer_configuration.hpp"       // PeerConfiguration (Client-, ServerConfiguration): the strict switch
#include "mcp/core/peer_info.hpp"                // PeerInfo (ClientInfo, ServerInfo): name and version
#include "mcp/core/sampling.hpp"                 // Sampling message types
#include "mcp/core/server_capabilities.hpp"      // ServerCapabilities
#include "mcp/core/unit_interval.hpp"            // UnitInterval: a double in 0...1
#include "mcp/core/version.hpp"                  // Version: supported protocol versions

// Channels
#include "mcp/core/transport.hpp"  // Transport: the contract every transport meets
