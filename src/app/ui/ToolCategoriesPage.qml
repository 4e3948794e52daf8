import QtQuick

// The tools page: the ten categories, then the note about reconnecting.
Column {
    id: page

    required property QtObject toolCategories

    Repeater {
        model: page.toolCategories
        Column {
            id: entry
            required property int index
            required property string displayName
            required property string iconName
            required property string toolCountText
            required property bool isEnabled
            required property bool isExpanded
            required property var tools

            objectName: "categoryEntry"
            width: page.width

            CategoryRow {
                objectName: "categoryRow"
                width: parent.width
                displayName: entry.displayName
                iconName: entry.iconName
                toolCountText: entry.toolCountText
                isEnabled: entry.isEnabled
                isExpanded: entry.isExpanded
                tools: entry.tools
                onExpandToggled: page.toolCategories.toggleExpanded(entry.index)
                onSwitchRequested: value => page.toolCategories.setCategoryEnabled(entry.index, value)
            }
            RowDivider {
                objectName: "categoryDivider"
                visible: entry.index < page.toolCategories.count - 1
                width: parent.width
                leadingInset: 64
            }
        }
    }
    RowDivider { width: page.width }
    PanelText {
        objectName: "reconnectNote"
        width: page.width
        leftPadding: 16
        rightPadding: 16
        topPadding: 12
        bottomPadding: 12
        text: "调整开关后，部分 ai 客户端需要重新链接下服务才会生效"
        color: Tokens.colorBlack400
        font.pixelSize: 11
        wrapMode: Text.Wrap
    }
}
