#pragma once

// Event streams: the incremental parser, the event sequence over a body read
// in pieces, and the stand-alone event-source client.
#include "eventsource/event.hpp"                        // Event
#include "eventsource/event_source.hpp"                 // EventSource
#include "eventsource/event_source_error.hpp"           // EventSourceError
#include "eventsource/oversized_event_error.hpp"        // OversizedEventError
#include "eventsource/parser.hpp"                       // Parser
#include "eventsource/ready_state.hpp"                  // ReadyState
#include "eventsource/server_sent_event_sequence.hpp"   // ServerSentEventSequence
