import QtQuick
import Lumenary.Ui

// "立即进入" and "开始使用": 160 × 44, filled with the primary colour.
Item {
    id: button

    property string text
    signal clicked()

    implicitWidth: 160
    implicitHeight: 44
    Accessible.role: Accessible.Button
    Accessible.name: text

    Rectangle {
        anchors.fill: parent
        radius: 22
        color: Tokens.colorBlack900
    }
    PanelText {
        anchors.centerIn: parent
        text: button.text
        font.pixelSize: 16
        font.weight: Tokens.medium
        color: Tokens.colorWhite900
    }
    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: button.clicked()
    }
}
