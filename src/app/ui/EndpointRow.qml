import QtQuick
import Lumenary.Ui
import QtQuick.Layouts
import QtQuick.Controls.Basic as Controls

// One endpoint of the running service: a coloured kind badge, the address,
// and copy buttons that show while the pointer is over the row. What is
// copied and how long "已复制" stays belong to the row's view-model.
Item {
    id: row

    required property QtObject endpoint
    property color badgeBg
    property color badgeText
    readonly property bool isHovered: hover.hovered

    implicitHeight: layout.implicitHeight
    implicitWidth: layout.implicitWidth

    HoverHandler { id: hover }

    RowLayout {
        id: layout
        anchors.fill: parent
        spacing: 10

        Rectangle {
            objectName: "endpointBadge"
            Layout.preferredWidth: 38
            Layout.preferredHeight: badgeLabel.implicitHeight + 4
            radius: 6
            color: row.badgeBg
            PanelText {
                id: badgeLabel
                anchors.centerIn: parent
                width: parent.width - 8
                horizontalAlignment: Text.AlignHCenter
                text: row.endpoint.badge
                color: row.badgeText
                font.pixelSize: 10
                font.weight: Tokens.semibold
            }
        }
        PanelText {
            objectName: "endpointContent"
            Layout.fillWidth: true
            text: row.endpoint.content
            elide: Text.ElideMiddle
            maximumLineCount: 1
        }
        Item {
            objectName: "endpointCopyArea"
            visible: row.endpoint.showCopy
            Layout.preferredWidth: Math.max(buttons.implicitWidth, copiedTip.implicitWidth)
            Layout.preferredHeight: Math.max(buttons.implicitHeight, copiedTip.implicitHeight)

            PanelText {
                id: copiedTip
                objectName: "copiedTip"
                anchors.centerIn: parent
                text: "已复制"
                color: Tokens.colorGreen500
                font.pixelSize: 11
                font.weight: Tokens.medium
                visible: opacity > 0
                opacity: row.endpoint.showCopiedTip ? 1 : 0
                scale: row.endpoint.showCopiedTip ? 1 : 0.9
                Behavior on opacity {
                    enabled: Tokens.animationsEnabled
                    NumberAnimation { duration: Tokens.copiedTipSpringDuration; easing.type: Easing.OutBack; easing.overshoot: 0.8 }
                }
                Behavior on scale {
                    enabled: Tokens.animationsEnabled
                    NumberAnimation { duration: Tokens.copiedTipSpringDuration; easing.type: Easing.OutBack; easing.overshoot: 0.8 }
                }
            }
            Row {
                id: buttons
                objectName: "copyButtons"
                anchors.centerIn: parent
                spacing: 12
                visible: !row.endpoint.showCopiedTip
                opacity: row.isHovered ? 1 : 0
                Behavior on opacity {
                    enabled: Tokens.animationsEnabled
                    NumberAnimation { duration: Tokens.hoverFadeDuration; easing.type: Easing.InOutQuad }
                }

                CopyButton {
                    objectName: "copyLinkButton"
                    visible: row.endpoint.hasCopyLink
                    icon: "icons/copy-link.svg"
                    tip: "复制链接"
                    onClicked: row.endpoint.copyLink()
                }
                CopyButton {
                    objectName: "copyJsonButton"
                    visible: row.endpoint.hasCopyJSON
                    icon: "icons/copy-json.svg"
                    tip: "复制 JSON 配置"
                    onClicked: row.endpoint.copyJSON()
                }
            }
        }
    }

    component CopyButton: Item {
        id: button
        property url icon
        property string tip
        signal clicked()

        implicitWidth: 16
        implicitHeight: 16
        Accessible.role: Accessible.Button
        Accessible.name: tip

        TintedIcon {
            anchors.fill: parent
            source: button.icon
            color: Tokens.colorBlack400
        }
        MouseArea {
            id: buttonArea
            anchors.fill: parent
            hoverEnabled: true
            cursorShape: Qt.PointingHandCursor
            onClicked: button.clicked()
        }
        Controls.ToolTip.visible: buttonArea.containsMouse
        Controls.ToolTip.delay: 600
        Controls.ToolTip.text: button.tip
    }
}
