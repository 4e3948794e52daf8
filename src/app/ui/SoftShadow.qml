import QtQuick

// A blurred drop shadow for the overlays, drawn as rings of falling opacity
// because the software scene graph runs no blur effect. Fill the shadowed
// card's frame with it and put it behind the card.
Item {
    id: shadow

    property real radius: 0
    property real blur: 10
    property real offsetY: 0
    property real strength: 0.15

    Repeater {
        model: 6
        Rectangle {
            required property int index
            readonly property real spread: shadow.blur * (index + 1) / 6
            x: -spread / 2
            y: shadow.offsetY - spread / 2
            width: shadow.width + spread
            height: shadow.height + spread
            radius: shadow.radius + spread / 2
            color: Qt.rgba(0, 0, 0, shadow.strength / 4)
        }
    }
}
