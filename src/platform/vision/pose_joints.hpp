#pragma once

#include <array>
#include <string_view>

namespace lumenary::platform::vision {

// The joint keys of the pose tools, one fixed string per joint, in the order
// each pose lists its joints.

inline constexpr std::array<std::string_view, 18> bodyJointKeys = {
    "nose",      "left_eye",   "right_eye",   "left_ear",   "right_ear",  "left_shoulder",
    "right_shoulder", "neck",  "left_elbow",  "right_elbow", "left_wrist", "right_wrist",
    "left_hip",  "right_hip",  "left_knee",   "right_knee", "left_ankle", "right_ankle"};

// The thumb's joints are its tip, interphalangeal, metacarpophalangeal and
// carpometacarpal joints; each finger's its tip, distal, proximal and
// metacarpophalangeal joints.
inline constexpr std::array<std::string_view, 21> handJointKeys = {
    "wrist",      "thumb_tip",  "thumb_ip",   "thumb_mp",   "thumb_cmc",  "index_tip",  "index_dip",
    "index_pip",  "index_mcp",  "middle_tip", "middle_dip", "middle_pip", "middle_mcp", "ring_tip",
    "ring_dip",   "ring_pip",   "ring_mcp",   "little_tip", "little_dip", "little_pip", "little_mcp"};

}  // namespace lumenary::platform::vision
