#pragma once

#include <QColor>
#include <QImage>
#include <QQuickPaintedItem>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace lumenary::app::ui {

// A picture from the panel's resources, by default a one-colour one drawn in
// a token colour: the picture's shape (its alpha) is kept and every pixel
// takes `color`, so one SVG serves light and dark alike. With `tinted`
// false the picture keeps its own colours (the category pictures). The
// software scene graph the panel's tests use runs no shaders, hence a
// painted item rather than an effect; and Qt 6.4's Image keeps SVG
// pictures it has read past the end of the process. An unreadable source
// is a QML warning, never an empty square in silence.
class TintedIcon : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QUrl source READ source WRITE setSource NOTIFY sourceChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)
    Q_PROPERTY(bool tinted READ tinted WRITE setTinted NOTIFY tintedChanged)

public:
    explicit TintedIcon(QQuickItem* parent = nullptr);

    QUrl source() const { return source_; }
    void setSource(const QUrl& source);
    QColor color() const { return color_; }
    void setColor(const QColor& color);
    bool tinted() const { return tinted_; }
    void setTinted(bool tinted);

    void paint(QPainter* painter) override;

Q_SIGNALS:
    void sourceChanged();
    void colorChanged();
    void tintedChanged();

private:
    QImage tintedPicture(QSize pixelSize);

    QUrl source_;
    QColor color_ = Qt::black;
    bool tinted_ = true;
    QImage cached_;
    bool warned_ = false;
};

}  // namespace lumenary::app::ui
