import QtQuick
import Lumenary.Ui

// "复制成功" at the bottom of the panel, above everything else.
Item {
    id: layer

    property bool shown: false

    visible: toast.opacity > 0

    SoftShadow {
        x: toast.x
        y: toast.y
        width: toast.width
        height: toast.height
        opacity: toast.opacity
        radius: toast.radius
        blur: 10
        offsetY: 4
    }
    Rectangle {
        id: toast
        objectName: "copyToast"
        readonly property real restingY: layer.height - height - 20
        x: Math.round((layer.width - width) / 2)
        y: layer.shown ? restingY : restingY + height + 20
        width: content.implicitWidth + 40
        height: content.implicitHeight + 24
        radius: 24
        color: Tokens.colorButtonfill
        opacity: layer.shown ? 1 : 0

        Behavior on y {
            enabled: Tokens.animationsEnabled
            NumberAnimation { duration: Tokens.toastSpringDuration; easing.type: Easing.OutCubic }
        }
        Behavior on opacity {
            enabled: Tokens.animationsEnabled
            NumberAnimation { duration: Tokens.toastSpringDuration; easing.type: Easing.OutCubic }
        }

        Row {
            id: content
            anchors.centerIn: parent
            spacing: 8
            TintedIcon {
                anchors.verticalCenter: parent.verticalCenter
                width: 16
                height: 16
                source: "icons/checkmark.svg"
                color: Tokens.colorGreen500
            }
            PanelText {
                text: "复制成功"
                font.weight: Tokens.medium
            }
        }
    }
}
