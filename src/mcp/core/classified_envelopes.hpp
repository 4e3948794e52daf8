#pragma once

#include "mcp/core/id.hpp"
#include "mcp/core/message.hpp"
#include "mcp/core/request.hpp"
#include "mcp/core/value.hpp"

namespace lumenary::mcp {

// The envelope of a message that `classifyMessage` called a request (with
// its id) or a notification. The classifier has checked everything the
// envelope's reader would, so the members are moved out of `message` instead
// of being decoded and copied; an absent "params" reads as null, as the
// reader has it. `message` is left without its method and parameters.
Request<AnyMethod> takeClassifiedRequest(Value& message, ID id);
Message<AnyNotification> takeClassifiedNotification(Value& message);

}  // namespace lumenary::mcp
