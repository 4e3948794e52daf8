#include "app/http/allocator_trim.hpp"

#include <malloc.h>

#include <asio/steady_timer.hpp>

namespace lumenary::http {

std::shared_ptr<AllocatorTrim> AllocatorTrim::create(std::chrono::milliseconds delay) {
    return std::shared_ptr<AllocatorTrim>(new AllocatorTrim(delay));
}

void AllocatorTrim::request(const asio::any_io_executor& executor) {
    if (isDue_.exchange(true)) {
        return;
    }
    auto timer = std::make_shared<asio::steady_timer>(executor, delay_);
    timer->async_wait([timer, self = shared_from_this()](asio::error_code error) {
        self->isDue_ = false;
        if (!error) {
            malloc_trim(0);
        }
    });
}

}  // namespace lumenary::http
