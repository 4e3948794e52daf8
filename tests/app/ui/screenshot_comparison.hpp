#pragma once

#include <QImage>
#include <QString>

namespace lumenary::app::ui::testing {

// A rendered page against its reference PNG in tests/app/ui/references/.
// Font rasterising differs slightly between machines, so a pixel counts as
// changed only when a channel moves by more than `channelTolerance`, and
// the images match while at most `changedShare` of their pixels changed.
// On a mismatch the actual image and a difference image (changed pixels
// red over a faded copy of the reference) are written to
// ui-screenshots/ in the build folder, and `report` says where.
// LUMENARY_UPDATE_SCREENSHOTS=1 writes the actual image as the new
// reference instead of comparing.
struct ScreenshotComparison {
    bool matches = false;
    QString report;
};

ScreenshotComparison compareWithReference(const QImage& actual, const QString& name, int channelTolerance = 32,
                                          double changedShare = 0.0005);

}  // namespace lumenary::app::ui::testing
