#pragma once

#include <cstddef>
#include <deque>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "mcp/core/id.hpp"
#include "mcp/core/value.hpp"

namespace lumenary::mcp {

// The requests one connection has sent on POSTs still open, and whether an
// answer has reached each (on its own POST or on the GET stream), so that a
// POST whose exchange ends can tell which of its requests the server left
// unanswered; then the ids failed that way, so that an answer arriving
// after all is known for late.
//
// Owned by the transport's connection and used on the transport's strand
// only: it has no lock of its own. It keeps the last `keptFailures` failed
// ids, so a server that never sends its late answers costs a bounded
// amount.
class UnansweredRequests {
public:
    static constexpr std::size_t keptFailures = 1024;

    // The ids of the requests in a message the client sends: one request's,
    // or those of a batch's requests. Notifications, responses and text that
    // is no JSON carry none.
    static std::vector<ID> requestIDsIn(std::string_view message);

    // A POST carrying `ids` goes out.
    void file(const std::vector<ID>& ids);
    // Notes the requests a received message answers. False when it answers
    // nothing but requests failed already: a late answer nobody waits for.
    bool noteAnswers(const Value& message);
    // The POST of `ids` ended without a way for their answers to come on it:
    // the ids no answer reached, remembered from now on as failed.
    std::vector<ID> fail(const std::vector<ID>& ids);
    // The POST of `ids` ended, and their answers may still come on the GET
    // stream: they are no longer tracked.
    void forget(const std::vector<ID>& ids);

private:
    void rememberFailure(const ID& id);

    // Whether an answer reached each request of an open POST.
    std::unordered_map<ID, bool> open_;
    std::unordered_set<ID> failed_;
    std::deque<ID> failedInOrder_;
};

}  // namespace lumenary::mcp
