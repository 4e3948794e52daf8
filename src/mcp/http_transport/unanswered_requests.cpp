#include "mcp/http_transport/unanswered_requests.hpp"

#include "mcp/core/coding_error.hpp"
#include "mcp/core/json.hpp"
#include "mcp/core/message_classification.hpp"

namespace lumenary::mcp {

namespace {

// The ids a message answers: a response's, or those of a batch's responses.
std::vector<ID> answeredIDsIn(const Value& message) {
    std::vector<ID> ids;
    const auto collect = [&ids](const Value& single) {
        const auto classification = classifyMessage(single);
        const bool isAnswer = classification.kind == MessageKind::response ||
                              classification.kind == MessageKind::errorResponse;
        if (isAnswer && classification.id && !classification.idIsNull) {
            ids.push_back(*classification.id);
        }
    };
    if (const auto* elements = message.arrayValue()) {
        for (const auto& element : *elements) {
            collect(element);
        }
    } else {
        collect(message);
    }
    return ids;
}

}  // namespace

std::vector<ID> UnansweredRequests::requestIDsIn(std::string_view message) {
    std::optional<Value> parsed;
    try {
        parsed = parseJSON(message);
    } catch (const DecodingError&) {
        return {};
    }
    std::vector<ID> ids;
    const auto collect = [&ids](const Value& single) {
        const auto classification = classifyMessage(single);
        if (classification.kind == MessageKind::request && classification.id) {
            ids.push_back(*classification.id);
        }
    };
    if (const auto* elements = parsed->arrayValue()) {
        for (const auto& element : *elements) {
            collect(element);
        }
    } else {
        collect(*parsed);
    }
    return ids;
}

void UnansweredRequests::file(const std::vector<ID>& ids) {
    for (const auto& id : ids) {
        open_[id] = false;
        // A reused id waits afresh: an answer to it is no longer late.
        failed_.erase(id);
    }
}

bool UnansweredRequests::noteAnswers(const Value& message) {
    const auto ids = answeredIDsIn(message);
    bool answersMoreThanFailures = false;
    for (const auto& id : ids) {
        if (auto found = open_.find(id); found != open_.end()) {
            found->second = true;
            answersMoreThanFailures = true;
        } else if (!failed_.contains(id)) {
            // Not ours to judge: the client knows what it still waits for.
            answersMoreThanFailures = true;
        }
    }
    return ids.empty() || answersMoreThanFailures;
}

std::vector<ID> UnansweredRequests::fail(const std::vector<ID>& ids) {
    std::vector<ID> unanswered;
    for (const auto& id : ids) {
        auto found = open_.find(id);
        if (found == open_.end()) {
            continue;
        }
        if (!found->second) {
            unanswered.push_back(id);
            rememberFailure(id);
        }
        open_.erase(found);
    }
    return unanswered;
}

void UnansweredRequests::forget(const std::vector<ID>& ids) {
    for (const auto& id : ids) {
        open_.erase(id);
    }
}

void UnansweredRequests::rememberFailure(const ID& id) {
    if (!failed_.insert(id).second) {
        return;
    }
    failedInOrder_.push_back(id);
    if (failedInOrder_.size() > keptFailures) {
        failed_.erase(failedInOrder_.front());
        failedInOrder_.pop_front();
    }
}

}  // namespace lumenary::mcp
