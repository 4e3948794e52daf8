import QtQuick
import Lumenary.Ui

// The dice beside the port field, with its tip "随机生成端口" on hover.
Item {
    id: button

    signal clicked()

    implicitWidth: 20
    implicitHeight: 20
    Accessible.role: Accessible.Button
    Accessible.name: "随机生成端口"

    TintedIcon {
        anchors.centerIn: parent
        width: 14
        height: 14
        source: "icons/settings/dice.svg"
        color: Tokens.colorBlack400
    }
    MouseArea {
        id: pointer
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: button.clicked()
    }
    // The desktop's tooltip delay, so a pointer passing over shows nothing.
    Timer {
        id: tipDelay
        interval: 700
        running: pointer.containsMouse
    }
    Rectangle {
        id: tip
        objectName: "diceTip"
        visible: pointer.containsMouse && !tipDelay.running
        // Centred over the dice, but pushed inside the window near its edge.
        x: {
            const centred = (button.width - tip.width) / 2
            const window = button.Window.window
            if (!tip.visible || window === null) {
                return centred
            }
            const left = button.mapToItem(null, centred, 0).x
            const inside = Math.max(4, Math.min(left, window.width - tip.width - 4))
            return centred + inside - left
        }
        anchors.bottom: parent.top
        anchors.bottomMargin: 4
        width: tipText.implicitWidth + 12
        height: tipText.implicitHeight + 6
        radius: 4
        color: Tokens.colorBlack900
        PanelText {
            id: tipText
            objectName: "diceTipText"
            anchors.centerIn: parent
            text: "随机生成端口"
            color: Tokens.colorWhite900
            font.pixelSize: 12
        }
    }
}
