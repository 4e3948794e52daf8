#include "async/main_executor.hpp"

namespace lumenary::async {

asio::io_context& mainContext() {
    static asio::io_context context(1);
    return context;
}

const MainExecutor& mainExecutor() {
    static const MainExecutor executor = asio::make_strand(mainContext());
    return executor;
}

}  // namespace lumenary::async
