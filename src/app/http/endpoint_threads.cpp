#include "app/http/endpoint_threads.hpp"

#include <algorithm>

namespace lumenary::http {

EndpointThreads::EndpointThreads(std::size_t count) {
    count = std::max<std::size_t>(count, 1);
    for (std::size_t index = 0; index < count; ++index) {
        // Each context is run by exactly one thread, which it can plan for.
        auto& context = contexts_.emplace_back(std::make_unique<asio::io_context>(1));
        workGuards_.emplace_back(context->get_executor());
        executors_.emplace_back(context->get_executor());
    }
    for (auto& context : contexts_) {
        threads_.emplace_back([&context = *context] { context.run(); });
    }
}

EndpointThreads::~EndpointThreads() {
    stop();
}

void EndpointThreads::stop() {
    workGuards_.clear();
    for (auto& context : contexts_) {
        context->stop();
    }
    for (auto& thread : threads_) {
        if (thread.joinable()) thread.join();
    }
}

}  // namespace lumenary::http
