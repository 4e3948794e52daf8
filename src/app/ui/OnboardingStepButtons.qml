import QtQuick
import Lumenary.Ui

// "上一步" and "下一步" of pages 2 and 3, centred side by side.
Item {
    id: buttons

    signal previousRequested()
    signal nextRequested()

    implicitHeight: Math.max(back.height, next.height)

    Row {
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 22

        Item {
            id: back
            objectName: "previousStepButton"
            width: Math.max(100, backLabel.implicitWidth + 48)
            height: backLabel.implicitHeight + 16
            Accessible.role: Accessible.Button
            Accessible.name: backLabel.text

            Rectangle {
                anchors.fill: parent
                radius: 41
                color: "transparent"
                border.width: 1
                border.color: Qt.rgba(Tokens.colorBlack900.r, Tokens.colorBlack900.g, Tokens.colorBlack900.b, 0.12)
            }
            PanelText {
                id: backLabel
                anchors.centerIn: parent
                text: "上一步"
                font.weight: Tokens.medium
                color: Qt.rgba(Tokens.colorBlack900.r, Tokens.colorBlack900.g, Tokens.colorBlack900.b, 0.6)
            }
            MouseArea {
                anchors.fill: parent
                cursorShape: Qt.PointingHandCursor
                onClicked: buttons.previousRequested()
            }
        }
        Item {
            id: next
            objectName: "nextStepButton"
            width: Math.max(100, nextLabel.implicitWidth + 48)
            height: nextLabel.implicitHeight + 16
            Accessible.role: Accessible.Button
            Accessible.name: nextLabel.text

            Rectangle {
                anchors.fill: parent
                radius: 41
                color: Tokens.colorBlack900
            }
            PanelText {
                id: nextLabel
                anchors.centerIn: parent
                text: "下一步"
                font.weight: Tokens.medium
                color: Tokens.colorWhite900
            }
            MouseArea {
                anchors.fill: parent
                cursorShape: Qt.PointingHandCursor
                onClicked: buttons.nextRequested()
            }
        }
    }
}
