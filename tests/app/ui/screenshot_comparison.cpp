#include "app/ui/screenshot_comparison.hpp"

#include <cstdlib>
#include <filesystem>

#include <QColor>
#include <QCoreApplication>
#include <QDir>

namespace lumenary::app::ui::testing {
namespace {

QString referenceFolder() {
    return QString::fromStdString((std::filesystem::path(__FILE__).parent_path() / "references").string());
}

QString outputFolder() {
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/ui-screenshots");
    QDir().mkpath(folder);
    return folder;
}

bool channelsClose(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance && std::abs(qAlpha(a) - qAlpha(b)) <= tolerance;
}

}  // namespace

ScreenshotComparison compareWithReference(const QImage& rendered, const QString& name, int channelTolerance,
                                          double changedShare) {
    const QImage actual = rendered.convertToFormat(QImage::Format_ARGB32);
    const QString referencePath = referenceFolder() + QLatin1Char('/') + name + QStringLiteral(".png");
    if (qEnvironmentVariableIntValue("LUMENARY_UPDATE_SCREENSHOTS") == 1) {
        QDir().mkpath(referenceFolder());
        if (!actual.save(referencePath)) {
            return {false, QStringLiteral("cannot write the reference ") + referencePath};
        }
        return {true, QStringLiteral("reference written: ") + referencePath};
    }

    const QString actualPath = outputFolder() + QLatin1Char('/') + name + QStringLiteral("-actual.png");
    const QImage reference = QImage(referencePath).convertToFormat(QImage::Format_ARGB32);
    if (reference.isNull()) {
        actual.save(actualPath);
        return {false, QStringLiteral("no reference at %1; the actual image is at %2").arg(referencePath, actualPath)};
    }
    if (reference.size() != actual.size()) {
        actual.save(actualPath);
        return {false, QStringLiteral("size %1x%2, reference %3x%4; the actual image is at %5")
                           .arg(actual.width())
                           .arg(actual.height())
                           .arg(reference.width())
                           .arg(reference.height())
                           .arg(actualPath)};
    }

    QImage difference(actual.size(), QImage::Format_ARGB32);
    qint64 changed = 0;
    for (int y = 0; y < actual.height(); ++y) {
        const auto* actualLine = reinterpret_cast<const QRgb*>(actual.constScanLine(y));
        const auto* referenceLine = reinterpret_cast<const QRgb*>(reference.constScanLine(y));
        auto* differenceLine = reinterpret_cast<QRgb*>(difference.scanLine(y));
        for (int x = 0; x < actual.width(); ++x) {
            if (channelsClose(actualLine[x], referenceLine[x], channelTolerance)) {
                const int grey = 255 - (255 - qGray(referenceLine[x])) / 4;
                differenceLine[x] = qRgb(grey, grey, grey);
            } else {
                ++changed;
                differenceLine[x] = qRgb(255, 0, 0);
            }
        }
    }
    const double share = static_cast<double>(changed) / (static_cast<double>(actual.width()) * actual.height());
    if (share <= changedShare) {
        return {true, {}};
    }
    const QString differencePath = outputFolder() + QLatin1Char('/') + name + QStringLiteral("-difference.png");
    actual.save(actualPath);
    difference.save(differencePath);
    return {false, QStringLiteral("%1 pixels (%2 %) differ from %3; actual: %4, difference: %5")
                       .arg(changed)
                       .arg(share * 100, 0, 'f', 2)
                       .arg(referencePath, actualPath, differencePath)};
}

}  // namespace lumenary::app::ui::testing
