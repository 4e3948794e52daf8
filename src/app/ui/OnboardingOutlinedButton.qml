import QtQuick
import Lumenary.Ui

// The closing page's "上一步": 100 × 44, outlined; the whole rounded shape
// takes the click.
Item {
    id: button

    property string text
    signal clicked()

    implicitWidth: 100
    implicitHeight: 44
    Accessible.role: Accessible.Button
    Accessible.name: text

    Rectangle {
        anchors.fill: parent
        radius: 22
        color: "transparent"
        border.width: 1
        border.color: Qt.rgba(Tokens.colorBlack900.r, Tokens.colorBlack900.g, Tokens.colorBlack900.b, 0.1)
    }
    PanelText {
        anchors.centerIn: parent
        text: button.text
        font.weight: Tokens.medium
        color: Qt.rgba(Tokens.colorBlack900.r, Tokens.colorBlack900.g, Tokens.colorBlack900.b, 0.6)
    }
    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: button.clicked()
    }
}
