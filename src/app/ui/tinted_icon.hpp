#pragma once

#include <QColor>
#include <QImage>
#include <QQuickPaintedItem>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace lumenary::app::ui {

// A one-colour picture from the panel's resources drawn in a token colour:
// the picture's shape (its alpha) is kept and every pixel takes `color`, so
// one SVG serves light and dark alike. The software scene graph the panel's
// tests use runs no shaders, hence a painted item rather than an effect. An
// unreadable source is a QML warning, never an empty square in silence.
class TintedIcon : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QUrl source READ source WRITE setSource NOTIFY sourceChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)

public:
    explicit TintedIcon(QQuickItem* parent = nullptr);

    QUrl source() const { return source_; }
    void setSource(const QUrl& source);
    QColor color() const { return color_; }
    void setColor(const QColor& color);

    void paint(QPainter* painter) override;

Q_SIGNALS:
    void sourceChanged();
    void colorChanged();

private:
    QImage tintedPicture(QSize pixelSize);

    QUrl source_;
    QColor color_ = Qt::black;
    QImage cached_;
    bool warned_ = false;
};

}  // namespace lumenary::app::ui
