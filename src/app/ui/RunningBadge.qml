import QtQuick

// The header's service state: a green pill while running, a red one when not.
Rectangle {
    id: badge

    property bool running: false
    property string text
    readonly property color stateColor: running ? Tokens.colorGreen500 : Tokens.stoppedRed

    implicitWidth: content.implicitWidth + 16
    implicitHeight: content.implicitHeight + 4
    radius: height / 2
    color: Qt.rgba(stateColor.r, stateColor.g, stateColor.b, 0.2)

    Row {
        id: content
        anchors.centerIn: parent
        spacing: 4
        Rectangle {
            anchors.verticalCenter: parent.verticalCenter
            width: 4
            height: 4
            radius: 2
            color: badge.stateColor
        }
        PanelText {
            objectName: "badgeText"
            text: badge.text
            color: badge.running ? Tokens.runningText : Tokens.stoppedRed
            font.pixelSize: 10
            font.weight: Tokens.semibold
        }
    }
}
