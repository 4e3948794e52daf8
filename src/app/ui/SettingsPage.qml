import QtQuick
import Lumenary.Ui
import QtQuick.Layouts

// The settings page: the banner, the card of launch at login, port and
// permissions, the card of document rows, update check and sharing, and
// "退出". `shown` is true while the page is on screen in a visible window;
// each showing reads the autostart entry again, and leaving the screen
// commits an edited port and takes the focus from the port field.
Column {
    id: page

    required property QtObject panel
    required property QtObject settings
    property bool shown: false

    spacing: 6
    onShownChanged: {
        if (shown) {
            page.settings.pageShown()
        } else {
            portField.release()
        }
    }

    Item {
        objectName: "banner"
        width: parent.width
        // The picture's own proportions, as wide as the page.
        height: Math.round(width * 96 / 388)
        Accessible.role: Accessible.Button
        TintedIcon {
            anchors.fill: parent
            source: "icons/settings/banner.svg"
            tinted: false
        }
        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.PointingHandCursor
            onClicked: page.settings.openDocument()
        }
    }

    CardBackground {
        objectName: "settingsCard"
        width: parent.width
        implicitHeight: firstCard.implicitHeight
        // The permissions rows lie over the card's lower corners.
        z: 1

        Column {
            id: firstCard
            width: parent.width

            SettingsRow {
                width: parent.width
                icon: "icons/settings/launch-at-login.svg"
                title: "开机自启动"
                PanelSwitch {
                    objectName: "launchAtLoginSwitch"
                    checked: page.settings.launchAtLogin
                    onToggleRequested: value => page.settings.setLaunchAtLogin(value)
                }
            }
            RowDivider {
                width: parent.width
                leadingInset: 16
                trailingInset: 16
            }
            SettingsRow {
                width: parent.width
                icon: "icons/settings/mcp-port.svg"
                title: "MCP端口"
                Row {
                    spacing: 6
                    PortField {
                        id: portField
                        anchors.verticalCenter: parent.verticalCenter
                        settings: page.settings
                    }
                    DiceButton {
                        objectName: "diceButton"
                        anchors.verticalCenter: parent.verticalCenter
                        onClicked: page.settings.randomizePort()
                    }
                }
            }
            RowDivider {
                width: parent.width
                leadingInset: 16
                trailingInset: 16
            }
            Item {
                objectName: "permissionsRow"
                width: parent.width
                implicitHeight: permissionsLabel.implicitHeight + 28
                Accessible.role: Accessible.Button
                Accessible.name: "权限状态"

                RowLayout {
                    id: permissionsLabel
                    anchors.fill: parent
                    anchors.leftMargin: 16
                    anchors.rightMargin: 16
                    anchors.topMargin: 14
                    anchors.bottomMargin: 14
                    spacing: 8
                    TintedIcon {
                        Layout.preferredWidth: 20
                        Layout.preferredHeight: 20
                        source: "icons/settings/permission-status.svg"
                        color: Tokens.colorBlack900
                    }
                    PanelText {
                        Layout.fillWidth: true
                        text: "权限状态"
                    }
                    TintedIcon {
                        objectName: "permissionsChevron"
                        Layout.preferredWidth: 12
                        Layout.preferredHeight: 12
                        source: "icons/chevron-right.svg"
                        color: Tokens.colorBlack400
                        rotation: page.panel.isPermissionsExpanded ? 90 : 0
                        Behavior on rotation {
                            enabled: Tokens.animationsEnabled
                            NumberAnimation { duration: Tokens.springAnimation.duration; easing.type: Tokens.springAnimation.easingType }
                        }
                    }
                }
                MouseArea {
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: page.panel.togglePermissionsExpanded()
                }
            }
            Item {
                id: permissionsArea
                width: parent.width
                // Shown only while unfolded; it fades as it comes and goes.
                readonly property bool expanded: page.panel.isPermissionsExpanded
                implicitHeight: expanded ? permissionsContent.implicitHeight + 14 : 0
                height: implicitHeight
                visible: opacity > 0
                opacity: expanded ? 1 : 0
                clip: true
                Behavior on opacity {
                    enabled: Tokens.animationsEnabled
                    NumberAnimation { duration: Tokens.springAnimation.duration; easing.type: Tokens.springAnimation.easingType }
                }
                PermissionsContent {
                    id: permissionsContent
                    objectName: "permissionsContent"
                    x: 16
                    width: parent.width - 32
                    content: page.settings.permissions
                    shown: page.shown && permissionsArea.expanded
                }
            }
        }
    }

    CardBackground {
        objectName: "documentsCard"
        width: parent.width
        implicitHeight: secondCard.implicitHeight

        Column {
            id: secondCard
            width: parent.width

            MenuRow {
                objectName: "aboutRow"
                width: parent.width
                title: "关于我们"
                icon: "icons/settings/about.svg"
                onClicked: page.settings.openDocument()
            }
            CardDivider {}
            MenuRow {
                objectName: "tutorialRow"
                width: parent.width
                title: "使用教程"
                icon: "icons/settings/tutorial.svg"
                onClicked: page.settings.openDocument()
            }
            CardDivider {}
            MenuRow {
                objectName: "checkUpdateRow"
                width: parent.width
                title: "检查更新"
                icon: "icons/settings/check-update.svg"
                detail: page.settings.versionText
                onClicked: page.settings.checkForUpdates()
            }
            PanelText {
                objectName: "updateMessage"
                visible: text.length > 0
                x: 16
                width: parent.width - 32
                bottomPadding: 14
                text: page.settings.updateMessage
                textFormat: Text.PlainText
                color: Tokens.colorBlack400
                font.pixelSize: 12
                wrapMode: Text.Wrap
            }
            CardDivider {}
            MenuRow {
                objectName: "shareRow"
                width: parent.width
                title: "分享给好友"
                icon: "icons/settings/share.svg"
                onClicked: page.settings.shareToFriends()
            }
            CardDivider {}
        }
    }

    CardBackground {
        objectName: "quitButton"
        width: parent.width
        implicitHeight: quitLabel.implicitHeight + 28
        Accessible.role: Accessible.Button
        Accessible.name: "退出"

        RowLayout {
            id: quitLabel
            anchors.fill: parent
            anchors.leftMargin: 16
            anchors.rightMargin: 16
            anchors.topMargin: 14
            anchors.bottomMargin: 14
            spacing: 8
            TintedIcon {
                Layout.preferredWidth: 20
                Layout.preferredHeight: 20
                source: "icons/settings/quit.svg"
                color: Tokens.colorBlack900
            }
            PanelText {
                Layout.fillWidth: true
                text: "退出"
            }
        }
        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.PointingHandCursor
            onClicked: page.settings.quit()
        }
    }

    // A row of the first card: icon, title, and the row's control at the end.
    component SettingsRow: Item {
        id: row
        property url icon
        property string title
        default property alias control: trailing.data

        implicitHeight: Math.max(rowLabel.implicitHeight, trailing.childrenRect.height) + 28

        RowLayout {
            id: rowLabel
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.leftMargin: 16
            anchors.rightMargin: 16
            anchors.verticalCenter: parent.verticalCenter
            spacing: 8
            TintedIcon {
                Layout.preferredWidth: 20
                Layout.preferredHeight: 20
                source: row.icon
                color: Tokens.colorBlack900
            }
            PanelText {
                Layout.fillWidth: true
                text: row.title
            }
            Item {
                id: trailing
                Layout.preferredWidth: childrenRect.width
                Layout.preferredHeight: childrenRect.height
            }
        }
    }

    component CardDivider: RowDivider {
        width: parent.width
        leadingInset: 16
        trailingInset: 16
    }
}
