#pragma once

#include <string>
#include <vector>

#include "platform/vision/worker/text_line_decoding.hpp"

namespace lumenary::vision_test {

// A character of a reading as the recognition network would give it: its
// probability and the others it saw at its step.
struct ReadPlace {
    std::string character;
    float probability = 1;
    std::vector<platform::vision::ReadAlternative> alternatives = {};
};

// The reading of these places, a step of 4 apart and no space seen.
inline platform::vision::NetworkLineText readingOf(const std::vector<ReadPlace>& places) {
    platform::vision::NetworkLineText read;
    int step = 0;
    for (const ReadPlace& place : places) {
        read.text += place.character;
        read.characters.push_back(place.character);
        read.steps.push_back(step += 4);
        read.spaceBefore.push_back(0);
        read.probabilities.push_back(place.probability);
        read.alternatives.push_back(place.alternatives);
    }
    return read;
}

inline std::string joined(const std::vector<std::string>& characters) {
    std::string text;
    for (const std::string& character : characters) {
        text += character;
    }
    return text;
}

}  // namespace lumenary::vision_test
