#pragma once

// Async primitives shared by every subsystem, built on asio coroutines.
//
// Streams and continuations
#include "async/one_shot.hpp"  // OneShot<T>, OneShot<void>: settled once from any thread, awaited once
#include "async/queue.hpp"     // Queue<T>: unbounded, many producers, one consumer, finishes once

// Failures as values
#include "async/capture.hpp"  // capture, Outcome<T>: an awaited call's value or the exception it threw

// Tasks and cancellation
#include "async/cancellation.hpp"  // isCancelled(): sticky check from inside a task body
#include "async/task.hpp"          // Task: co_spawn handle with cancel, sticky flag, join, recorded error

// Time
#include "async/sleep_for.hpp"      // sleepFor: cancellable sleep
#include "async/timeout_error.hpp"  // TimeoutError: says what timed out and after how long
#include "async/with_timeout.hpp"   // withTimeout: result or TimeoutError, loser cancelled
#include "async/quiet_timer.hpp"    // cancelQuietly: a cancelled deadline that no longer wakes its thread

// Building block for waits completed from other threads
#include "async/completion_handler.hpp"  // CompletionHandler: type-erased, move-only, posts to its executor

// Actors: objects that guard their state by a strand
#include "async/on_strand.hpp"  // onStrand, readOnStrand, writeOnStrand: run on an actor's strand and come back

// Blocking work, kept off the main executor and the strands
#include "async/worker_pool.hpp"  // workerPool(), runBlocking: run on the shared pool, resume where awaited

// The program's main strand and change signals
#include "async/main_executor.hpp"  // mainContext(), mainExecutor(): the strand that owns application state
#include "async/signal.hpp"         // Signal: value-less event with RAII subscriptions
