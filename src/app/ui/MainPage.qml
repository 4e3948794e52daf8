import QtQuick

// The main page: the two counters, the service card and the navigation card.
Column {
    id: page

    required property QtObject panel
    required property QtObject serviceCard

    spacing: 6

    Row {
        id: tiles
        width: parent.width
        spacing: 6
        readonly property real tileWidth: (width - spacing) / 2
        readonly property real tileHeight: Math.max(enabledTile.implicitHeight, callsTile.implicitHeight)

        StatusTile {
            id: enabledTile
            objectName: "enabledToolsTile"
            width: tiles.tileWidth
            height: tiles.tileHeight
            figure: String(page.serviceCard.enabledToolCount)
            label: "已启用工具"
        }
        StatusTile {
            id: callsTile
            objectName: "callCountTile"
            width: tiles.tileWidth
            height: tiles.tileHeight
            figure: String(page.serviceCard.toolCallCount)
            label: "调用次数"
            clickable: true
            onClicked: page.panel.openCallRecords()
        }
    }

    ServiceCard {
        objectName: "serviceCard"
        width: parent.width
        serviceCard: page.serviceCard
        height: implicitHeight
        clip: true
        Behavior on height {
            enabled: Tokens.animationsEnabled
            NumberAnimation { duration: Tokens.springAnimation.duration; easing.type: Tokens.springAnimation.easingType }
        }
    }

    CardBackground {
        objectName: "navigationCard"
        width: parent.width
        implicitHeight: navigation.implicitHeight
        Column {
            id: navigation
            width: parent.width
            MenuRow {
                objectName: "toolsRow"
                width: parent.width
                title: "工具列表"
                icon: "icons/tools-list.svg"
                iconSize: 20
                onClicked: page.panel.openToolsPage()
            }
            RowDivider {
                width: parent.width
                leadingInset: 16
                trailingInset: 16
            }
            MenuRow {
                objectName: "settingsRow"
                width: parent.width
                title: "设置"
                icon: "icons/settings.svg"
                iconSize: 18
                onClicked: page.panel.openSettingsPage()
            }
        }
    }
}
