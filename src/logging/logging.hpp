#pragma once

// Structured logging: what a component includes to log.
//
// Levels and metadata
#include "logging/log_level.hpp"          // LogLevel: trace < debug < ... < critical
#include "logging/metadata_provider.hpp"  // MetadataProvider: metadata attached to every record
#include "logging/metadata_value.hpp"     // MetadataValue, Metadata, StringConvertible

// The logger and its back-end contract
#include "logging/log_handler.hpp"  // LogHandler interface, AnyLogHandler value holder
#include "logging/logger.hpp"       // Logger: label + handler, level entry points with deferred arguments

// Back ends
#include "logging/multiplex_log_handler.hpp"  // MultiplexLogHandler: fan-out to several handlers
#include "logging/no_op_log_handler.hpp"      // NoOpLogHandler: discards everything
#include "logging/stream_log_handler.hpp"     // StreamLogHandler: one line per record
#include "logging/text_output_stream.hpp"     // TextOutputStream, StdioOutputStream

// Console lines, apart from structured records
#include "logging/console.hpp"             // Console: "[Component] ..." diagnostic lines to standard error
#include "logging/diagnostics_writer.hpp"  // DiagnosticsWriter: the bounded queue every standard-error line goes through

// Process-wide default back end
#include "logging/logging_system.hpp"  // LoggingSystem::bootstrap, set once per process
