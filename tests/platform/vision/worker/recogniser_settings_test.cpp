#include "platform/vision/worker/recogniser_settings.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include <tesseract/baseapi.h>

namespace lumenary::platform::vision {
namespace {

// Settings of each kind the library shares between every recogniser in
// the process, two of them among those the larger Chinese model sets as it
// loads.
TEST(RecogniserSettings, SetsSharedSettingsOfEveryKindBackExactlyAfterAnotherRecogniserChangedThem) {
    tesseract::TessBaseAPI reader;
    reader.SetVariable("debug_file", "/dev/null");
    const RecogniserSettings before = recogniserSettings(reader);
    for (const char* name : {"edges_children_count_limit", "textord_force_make_prop_words", "textord_ascx_ratio_min",
                             "debug_file"}) {
        EXPECT_TRUE(std::any_of(before.begin(), before.end(), [&](const auto& setting) { return setting.first == name; }))
            << name;
    }

    tesseract::TessBaseAPI other;
    other.SetVariable("edges_children_count_limit", "1000");
    other.SetVariable("textord_force_make_prop_words", "1");
    other.SetVariable("textord_ascx_ratio_min", "1.3");
    other.SetVariable("debug_file", "/dev/null/elsewhere");
    int childrenLimit = 0;
    ASSERT_TRUE(reader.GetIntVariable("edges_children_count_limit", &childrenLimit));
    ASSERT_EQ(childrenLimit, 1000) << "the setting is no longer shared; the reader needs no restoring";

    restoreRecogniserSettings(reader, before);
    EXPECT_EQ(recogniserSettings(reader), before);
}

}  // namespace
}  // namespace lumenary::platform::vision
