import QtQuick

// An on/off switch that shows `checked` and only asks for a change: the
// owner decides (a permission gate may refuse), so the switch never flips
// itself and always shows the stored value.
Item {
    id: control

    property bool checked: false
    property bool small: false
    signal toggleRequested(bool value)

    implicitWidth: small ? 30 : 38
    implicitHeight: small ? 18 : 22
    activeFocusOnTab: true
    Accessible.role: Accessible.CheckBox
    Accessible.checkable: true
    Accessible.checked: checked

    Keys.onSpacePressed: control.toggleRequested(!control.checked)

    Rectangle {
        id: track
        anchors.fill: parent
        radius: height / 2
        color: control.checked ? Tokens.colorBlue500 : Tokens.colorGray200
        Behavior on color {
            enabled: Tokens.animationsEnabled
            ColorAnimation { duration: Tokens.springAnimation.duration; easing.type: Tokens.springAnimation.easingType }
        }
    }
    Rectangle {
        id: knob
        readonly property real inset: 2
        width: control.height - 2 * inset
        height: width
        radius: width / 2
        y: inset
        x: control.checked ? control.width - width - inset : inset
        color: "#ffffff"
        border.color: Qt.rgba(0, 0, 0, 0.08)
        border.width: 0.5
        Behavior on x {
            enabled: Tokens.animationsEnabled
            NumberAnimation { duration: Tokens.springAnimation.duration; easing.type: Tokens.springAnimation.easingType }
        }
    }
    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: control.toggleRequested(!control.checked)
    }
}
