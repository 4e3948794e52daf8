import QtQuick
import Lumenary.Ui

// The frame of pages 1, 2 and 4: room for the window's title bar, the
// page's illustration across the full width, and the content below it on
// the window's background.
Item {
    id: frame

    property url illustration
    default property alias content: contentArea.data

    Rectangle {
        anchors.fill: parent
        color: Tokens.colorWhite900
    }
    TintedIcon {
        id: picture
        objectName: "onboardingIllustration"
        y: 48
        width: frame.width
        height: 120
        source: frame.illustration
        tinted: false
    }
    Item {
        id: contentArea
        anchors.top: picture.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
    }
}
