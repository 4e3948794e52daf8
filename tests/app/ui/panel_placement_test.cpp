#include "app/ui/panel_placement.hpp"

#include <gtest/gtest.h>

namespace lumenary::app::ui {
namespace {

// A 1440 × 900 screen whose bar of 30 lies on one edge; the icon sits in it.
struct PlacementCase {
    const char* name;
    QRect icon;
    QRect available;
    QSize panel;
    QRect expected;
};

TEST(TrayPanelGeometry, LiesBesideTheIconOnTheTraysSideAndInsideTheUsableArea) {
    const PlacementCase cases[] = {
        {"bar at the top, icon mid-screen", {700, 4, 22, 22}, {0, 30, 1440, 870}, {400, 475}, {510, 38, 400, 475}},
        {"bar at the top, icon in the corner", {1410, 4, 22, 22}, {0, 30, 1440, 870}, {400, 475}, {1032, 38, 400, 475}},
        {"bar at the bottom", {1410, 874, 22, 22}, {0, 0, 1440, 870}, {400, 475}, {1032, 387, 400, 475}},
        {"bar on the left", {4, 850, 22, 22}, {30, 0, 1410, 900}, {400, 475}, {38, 417, 400, 475}},
        {"bar on the right", {1414, 100, 22, 22}, {0, 0, 1410, 900}, {400, 475}, {1002, 8, 400, 475}},
        {"only the pointer known, near the bottom", {600, 880, 1, 1}, {0, 0, 1440, 900}, {400, 300}, {400, 572, 400, 300}},
        {"second screen on the right, bar at its top", {2800, 4, 22, 22}, {1440, 30, 1440, 870}, {400, 313},
         {2472, 38, 400, 313}},
        {"taller than the screen, bar at the top", {700, 4, 22, 22}, {0, 30, 1440, 870}, {400, 1529},
         {510, 38, 400, 854}},
        {"taller than the screen, bar at the bottom", {700, 874, 22, 22}, {0, 0, 1440, 870}, {400, 1186},
         {510, 8, 400, 854}},
    };
    for (const auto& given : cases) {
        EXPECT_EQ(trayPanelGeometry(given.icon, given.available, given.panel), given.expected) << given.name;
        EXPECT_TRUE(given.available.contains(given.expected)) << given.name;
    }
}

}  // namespace
}  // namespace lumenary::app::ui
