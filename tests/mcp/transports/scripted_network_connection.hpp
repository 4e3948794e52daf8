#pragma once

#include <algorithm>
#include <cstddef>
#include <exception>
#include <deque>
#include <optional>
#include <string>
#include <system_error>
#include <variant>
#include <vector>

#include <asio/error.hpp>
#include <asio/post.hpp>

#include "async/one_shot.hpp"
#include "async/queue.hpp"
#include "mcp/transports/network_connection.hpp"
#include "mcp/transports/network_heartbeat.hpp"

namespace lumenary::mcp::testing {

// A network connection that a test scripts: it shows what TCP never does
// (waiting and preparing states, empty reads, a second ready, a failure
// after ready) and records every start, cancel and write. All of it runs on
// the test's one thread.
class ScriptedNetworkConnection final : public NetworkConnection {
public:
    // What a start does by itself before the test speaks: a peer that
    // accepts and drops at once is readyThenClose.
    enum class OnStart { nothing, ready, fail, readyThenClose, readyThenHeartbeatThenClose };

    NetworkConnectionState state() const override { return state_; }

    void start(asio::any_io_executor executor, StateHandler handler) override {
        ++starts_;
        executor_ = std::move(executor);
        handler_ = std::move(handler);
        reads_ = async::Queue<Read>();
        leftover_.clear();
        state_ = NetworkConnectionState::setup;
        const auto step = plan_.empty() ? defaultStep_ : plan_.front();
        if (!plan_.empty()) {
            plan_.pop_front();
        }
        if (step == OnStart::fail) {
            report(NetworkConnectionState::failed, std::make_error_code(std::errc::connection_refused));
            return;
        }
        if (step != OnStart::nothing) {
            report(NetworkConnectionState::ready);
        }
        if (step == OnStart::readyThenHeartbeatThenClose) {
            deliver(NetworkHeartbeat::now().data());
        }
        if (step == OnStart::readyThenClose || step == OnStart::readyThenHeartbeatThenClose) {
            failRead(asio::error::eof);
        }
    }

    void cancel() override {
        ++cancels_;
        reads_.finish(std::make_exception_ptr(std::system_error(asio::error::operation_aborted)));
        for (auto& held : std::exchange(heldWrites_, {})) {
            held.fail(std::make_exception_ptr(std::system_error(asio::error::operation_aborted)));
        }
        report(NetworkConnectionState::cancelled);
    }

    asio::awaitable<void> send(asio::const_buffer bytes) override {
        writes_.emplace_back(static_cast<const char*>(bytes.data()), bytes.size());
        if (writeFailure_) {
            throw std::system_error(*writeFailure_);
        }
        if (holdWrites_) {
            async::OneShot<void> released;
            heldWrites_.push_back(released);
            ++writesInFlight_;
            mostWritesInFlight_ = std::max(mostWritesInFlight_, writesInFlight_);
            std::exception_ptr failure;
            try {
                co_await released.wait();
            } catch (...) {
                failure = std::current_exception();
            }
            --writesInFlight_;
            if (failure) {
                std::rethrow_exception(failure);
            }
        }
    }

    asio::awaitable<std::size_t> receive(asio::mutable_buffer buffer) override {
        if (leftover_.empty()) {
            auto reads = reads_;
            auto read = co_await reads.next();
            if (!read) {
                throw std::system_error(asio::error::operation_aborted);
            }
            if (auto* error = std::get_if<std::error_code>(&*read)) {
                throw std::system_error(*error);
            }
            leftover_ = std::get<std::string>(*read);
        }
        const auto count = std::min(buffer.size(), leftover_.size());
        leftover_.copy(static_cast<char*>(buffer.data()), count);
        leftover_.erase(0, count);
        co_return count;
    }

    // The test's side.
    void plan(std::vector<OnStart> steps) { plan_.assign(steps.begin(), steps.end()); }
    void planEveryStart(OnStart step) { defaultStep_ = step; }

    void report(NetworkConnectionState state, std::error_code error = {}) {
        state_ = state;
        // Nobody listens before the first start.
        if (!handler_) {
            return;
        }
        asio::post(executor_, [handler = handler_, report = NetworkConnectionStateReport{state, error}] {
            handler(report);
        });
    }
    // Changes the state without a report, as a connection that went away
    // under its reader.
    void setState(NetworkConnectionState state) { state_ = state; }

    // Bytes for the next read of the current start; empty bytes are an
    // empty read.
    void deliver(std::string bytes) { reads_.push(Read(std::move(bytes))); }
    void failRead(std::error_code error) { reads_.push(Read(error)); }

    void failWrites(std::optional<std::error_code> error) { writeFailure_ = error; }
    void holdWrites(bool hold) { holdWrites_ = hold; }
    void releaseWrites() {
        for (auto& held : std::exchange(heldWrites_, {})) {
            held.resume();
        }
    }

    int starts() const { return starts_; }
    int cancels() const { return cancels_; }
    const std::vector<std::string>& writes() const { return writes_; }
    std::size_t heldWrites() const { return heldWrites_.size(); }
    int mostWritesInFlight() const { return mostWritesInFlight_; }

private:
    using Read = std::variant<std::string, std::error_code>;

    NetworkConnectionState state_ = NetworkConnectionState::setup;
    asio::any_io_executor executor_;
    StateHandler handler_;
    std::deque<OnStart> plan_;
    OnStart defaultStep_ = OnStart::ready;
    async::Queue<Read> reads_;
    std::string leftover_;
    std::vector<std::string> writes_;
    std::optional<std::error_code> writeFailure_;
    bool holdWrites_ = false;
    std::vector<async::OneShot<void>> heldWrites_;
    int writesInFlight_ = 0;
    int mostWritesInFlight_ = 0;
    int starts_ = 0;
    int cancels_ = 0;
};

}  // namespace lumenary::mcp::testing
