import QtQuick
import Lumenary.Ui

// The alert over the panel when a category's permission is missing: the
// title, the message ending with how to grant it, "取消", and "去设置" when
// there is somewhere to send the user.
Item {
    id: alert

    property bool shown: false
    property string title
    property string message
    property bool canOpenSettings: false
    readonly property real cardHeight: card.height

    signal dismissed()
    signal openSettingsRequested()

    visible: opacity > 0
    opacity: shown ? 1 : 0
    Behavior on opacity {
        enabled: Tokens.animationsEnabled
        NumberAnimation { duration: Tokens.alertFadeDuration; easing.type: Easing.InOutQuad }
    }

    Rectangle {
        objectName: "alertBackdrop"
        anchors.fill: parent
        color: Tokens.backdrop
        MouseArea {
            anchors.fill: parent
            onClicked: alert.dismissed()
        }
    }

    SoftShadow {
        x: card.x
        y: card.y
        width: card.width
        height: card.height
        radius: card.radius
        blur: 20
        offsetY: 10
    }
    Rectangle {
        id: card
        objectName: "alertCard"
        x: 40
        y: Math.round((alert.height - height) / 2)
        width: alert.width - 80
        height: content.implicitHeight + 48
        radius: 24
        color: Tokens.colorWhite900

        // Clicks on the card never reach the backdrop.
        MouseArea { anchors.fill: parent }

        Column {
            id: content
            x: 24
            y: 24
            width: parent.width - 48
            spacing: 16

            Rectangle {
                anchors.horizontalCenter: parent.horizontalCenter
                width: 56
                height: 56
                radius: 28
                color: Qt.rgba(Tokens.warningOrange.r, Tokens.warningOrange.g, Tokens.warningOrange.b, 0.15)
                TintedIcon {
                    anchors.centerIn: parent
                    width: 32
                    height: 32
                    source: "icons/warning.svg"
                    color: Tokens.warningOrange
                }
            }
            PanelText {
                objectName: "alertTitle"
                anchors.horizontalCenter: parent.horizontalCenter
                text: alert.title
                textFormat: Text.PlainText
                font.pixelSize: 16
                font.weight: Tokens.semibold
            }
            PanelText {
                objectName: "alertMessage"
                width: parent.width
                text: alert.message
                textFormat: Text.PlainText
                color: Tokens.colorBlack400
                font.pixelSize: 13
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
            }
            Row {
                id: buttons
                width: parent.width
                spacing: 12
                readonly property real buttonWidth: alert.canOpenSettings ? (width - spacing) / 2 : width

                AlertButton {
                    objectName: "cancelButton"
                    width: buttons.buttonWidth
                    label: "取消"
                    labelColor: Tokens.colorBlack400
                    fill: Tokens.colorWhite900
                    outline: Tokens.colorGray200
                    onClicked: alert.dismissed()
                }
                AlertButton {
                    objectName: "openSettingsButton"
                    visible: alert.canOpenSettings
                    width: buttons.buttonWidth
                    label: "去设置"
                    labelColor: Tokens.colorWhite900
                    fill: Tokens.colorBlack900
                    onClicked: alert.openSettingsRequested()
                }
            }
        }
    }

    component AlertButton: Rectangle {
        id: button
        property string label
        property color labelColor
        property color fill
        property color outline: "transparent"
        signal clicked()

        implicitHeight: buttonLabel.implicitHeight + 24
        radius: height / 2
        color: fill
        border.width: outline.a > 0 ? 1 : 0
        border.color: outline
        Accessible.role: Accessible.Button
        Accessible.name: label

        PanelText {
            id: buttonLabel
            anchors.centerIn: parent
            text: button.label
            color: button.labelColor
            font.weight: Tokens.medium
        }
        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.PointingHandCursor
            onClicked: button.clicked()
        }
    }
}
