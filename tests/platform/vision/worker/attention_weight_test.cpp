#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "platform/vision/worker/attention_weight.hpp"

namespace lumenary::platform::vision {
namespace {

struct Found {
    SubjectKind kind;
    double confidence;
    // Of the frame's area.
    double share;
};

double weightOf(const Found& subject) {
    return attentionWeight(subject.kind, subject.confidence, subject.share);
}

TEST(AttentionWeight, NamesTheSubjectAPersonWouldOfTwo) {
    constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        Found winner;
        Found loser;
    };
    const std::vector<Case> cases = {
        {"a rocket over the bright street lamp beside it, a thirtieth of its size",
         {SubjectKind::object, 0.58, 0.30}, {SubjectKind::object, 0.61, 0.01}},
        {"a rocket of a ninth of the frame over a lamp of a hundredth",
         {SubjectKind::object, 0.58, 0.11}, {SubjectKind::object, 0.60, 0.01}},
        {"a bicycle filling half the frame over a cup a twentieth of it",
         {SubjectKind::object, 0.55, 0.50}, {SubjectKind::object, 0.70, 0.05}},
        {"a person filling a quarter of the frame over a small bird",
         {SubjectKind::person, 0.60, 0.25}, {SubjectKind::animal, 0.90, 0.01}},
        {"of two subjects both a good part of the frame, the surer",
         {SubjectKind::object, 0.80, 0.12}, {SubjectKind::object, 0.60, 0.40}},
        {"of two subjects of one size, the surer", {SubjectKind::object, 0.62, 0.04},
         {SubjectKind::object, 0.60, 0.04}},
        {"a dog over the larger bicycle it sits by", {SubjectKind::animal, 0.67, 0.16},
         {SubjectKind::object, 0.53, 0.41}},
        {"a person over the horse behind, at equal size and confidence", {SubjectKind::person, 0.70, 0.15},
         {SubjectKind::object, 0.70, 0.15}},
        {"a small face over the person it belongs to", {SubjectKind::face, 0.90, 0.017},
         {SubjectKind::person, 0.87, 0.74}},
        {"a small face over a large, sure animal", {SubjectKind::face, 0.90, 0.015},
         {SubjectKind::animal, 1.00, 0.60}},
        {"of two faces, the larger", {SubjectKind::face, 0.90, 0.034}, {SubjectKind::face, 0.90, 0.017}},
        {"a subject over one whose confidence is not a number", {SubjectKind::object, 0.30, 0.02},
         {SubjectKind::animal, notANumber, 0.50}},
        {"a subject over one whose size is not a number", {SubjectKind::object, 0.30, 0.02},
         {SubjectKind::face, 0.90, notANumber}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_GT(weightOf(testCase.winner), weightOf(testCase.loser));
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
