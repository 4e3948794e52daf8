#pragma once

#include <array>
#include <string_view>

namespace lumenary::platform::vision {

// The joint keys of Part 7.107, in the order of its tables. The Part keeps
// the other platform's own strings for its joint-name constants; these are
// those strings, so that a client written against it reads the same keys.

// nose, left eye, right eye, left ear, right ear, left shoulder, right
// shoulder, neck, left elbow, right elbow, left wrist, right wrist, left
// hip, right hip, left knee, right knee, left ankle, right ankle.
inline constexpr std::array<std::string_view, 18> bodyJointKeys = {
    "head_joint",           "left_eye_joint",         "right_eye_joint",   "left_ear_joint",
    "right_ear_joint",      "left_shoulder_1_joint",  "right_shoulder_1_joint", "neck_1_joint",
    "left_forearm_joint",   "right_forearm_joint",    "left_hand_joint",   "right_hand_joint",
    "left_upLeg_joint",     "right_upLeg_joint",      "left_leg_joint",    "right_leg_joint",
    "left_foot_joint",      "right_foot_joint"};

// wrist; thumb tip, interphalangeal, metacarpophalangeal, carpometacarpal;
// then for the index, middle, ring and little fingers: tip, distal,
// proximal, metacarpophalangeal.
inline constexpr std::array<std::string_view, 21> handJointKeys = {
    "VNHLKWRI",  "VNHLKTTIP", "VNHLKTIP",  "VNHLKTMP",  "VNHLKTCMC", "VNHLKITIP", "VNHLKIDIP",
    "VNHLKIPIP", "VNHLKIMCP", "VNHLKMTIP", "VNHLKMDIP", "VNHLKMPIP", "VNHLKMMCP", "VNHLKRTIP",
    "VNHLKRDIP", "VNHLKRPIP", "VNHLKRMCP", "VNHLKPTIP", "VNHLKPDIP", "VNHLKPPIP", "VNHLKPMCP"};

}  // namespace lumenary::platform::vision
