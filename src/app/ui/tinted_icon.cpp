#include "app/ui/tinted_icon.hpp"

#include <QImageReader>
#include <QPainter>
#include <QQmlContext>
#include <QQmlFile>
#include <QQuickWindow>
#include <QtQml/qqmlinfo.h>

namespace lumenary::app::ui {

TintedIcon::TintedIcon(QQuickItem* parent) : QQuickPaintedItem(parent) {
    setAntialiasing(true);
    connect(this, &QQuickItem::widthChanged, this, [this] { cached_ = {}; });
    connect(this, &QQuickItem::heightChanged, this, [this] { cached_ = {}; });
}

void TintedIcon::setSource(const QUrl& source) {
    if (source == source_) {
        return;
    }
    source_ = source;
    cached_ = {};
    warned_ = false;
    Q_EMIT sourceChanged();
    update();
}

void TintedIcon::setColor(const QColor& color) {
    if (color == color_) {
        return;
    }
    color_ = color;
    cached_ = {};
    Q_EMIT colorChanged();
    update();
}

void TintedIcon::setTinted(bool tinted) {
    if (tinted == tinted_) {
        return;
    }
    tinted_ = tinted;
    cached_ = {};
    Q_EMIT tintedChanged();
    update();
}

QImage TintedIcon::tintedPicture(QSize pixelSize) {
    // QML hands url properties over as written; a relative name means the
    // file beside the QML file that made this item.
    const QQmlContext* context = qmlContext(this);
    const QUrl resolved = context != nullptr ? context->resolvedUrl(source_) : source_;
    QImageReader reader(QQmlFile::urlToLocalFileOrQrc(resolved));
    const QSize natural = reader.size();
    if (natural.isValid()) {
        reader.setScaledSize(natural.scaled(pixelSize, Qt::KeepAspectRatio));
    }
    QImage picture = reader.read();
    if (picture.isNull()) {
        if (!warned_) {
            warned_ = true;
            qmlWarning(this) << "cannot read icon " << source_.toString() << ": " << reader.errorString();
        }
        return {};
    }
    picture = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (tinted_) {
        QPainter tint(&picture);
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tint.fillRect(picture.rect(), color_);
    }
    return picture;
}

void TintedIcon::paint(QPainter* painter) {
    if (source_.isEmpty() || width() <= 0 || height() <= 0) {
        return;
    }
    const qreal ratio = window() != nullptr ? window()->effectiveDevicePixelRatio() : 1.0;
    const QSize pixelSize(qRound(width() * ratio), qRound(height() * ratio));
    if (cached_.isNull() || cached_.devicePixelRatio() != ratio) {
        cached_ = tintedPicture(pixelSize);
        cached_.setDevicePixelRatio(ratio);
    }
    if (cached_.isNull()) {
        return;
    }
    const QSizeF drawn = cached_.deviceIndependentSize();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(QPointF((width() - drawn.width()) / 2, (height() - drawn.height()) / 2), cached_);
}

}  // namespace lumenary::app::ui
