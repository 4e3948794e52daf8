#include "async/worker_pool.hpp"

#include <algorithm>
#include <thread>

namespace lumenary::async {

asio::thread_pool& workerPool() {
    // Half the cores: the work is mostly waiting on disks, databases and
    // children, and the main and HTTP threads need cores of their own. The
    // destructor at exit stops the pool before joining it, so idle threads
    // never hold the process open.
    static asio::thread_pool pool(std::max(2U, std::thread::hardware_concurrency() / 2));
    return pool;
}

}  // namespace lumenary::async
