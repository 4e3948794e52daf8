#pragma once

#include <string>
#include <string_view>

namespace lumenary::platform::vision {

// The worker's side of one request: reads the request payload, loads its
// images, runs its analysis and gives the answer payload. Never throws:
// a library exception or an allocation the memory limit refuses becomes
// a "VisionService" 500 error answer.
std::string answerVisionRequest(std::string_view requestPayload);

}  // namespace lumenary::platform::vision
