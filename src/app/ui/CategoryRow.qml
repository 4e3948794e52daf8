import QtQuick
import QtQuick.Layouts

// One tool category: picture, name, tool count and switch; a click on the
// row unfolds its tools. The switch only asks: the permission gate decides.
Column {
    id: row

    property string displayName
    property string iconName
    property string toolCountText
    property bool isEnabled: false
    property bool isExpanded: false
    // {"name", "displayDescription"} of every tool of the category.
    property var tools: []

    signal expandToggled()
    signal switchRequested(bool value)

    Item {
        id: header
        objectName: "categoryHeader"
        width: row.width
        implicitHeight: headerRow.implicitHeight + 28
        Accessible.role: Accessible.Button
        Accessible.name: row.displayName

        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.PointingHandCursor
            onClicked: row.expandToggled()
        }
        RowLayout {
            id: headerRow
            anchors.fill: parent
            anchors.leftMargin: 16
            anchors.rightMargin: 16
            anchors.topMargin: 14
            anchors.bottomMargin: 14
            spacing: 12

            CategoryPicture {
                Layout.preferredWidth: 32
                Layout.preferredHeight: 32
                iconName: row.iconName
            }
            Column {
                Layout.fillWidth: true
                spacing: 2
                PanelText {
                    objectName: "categoryName"
                    text: row.displayName
                    font.weight: Tokens.medium
                }
                PanelText {
                    objectName: "categoryToolCount"
                    text: row.toolCountText
                    color: Tokens.colorBlack400
                    font.pixelSize: 11
                }
            }
            PanelSwitch {
                objectName: "categorySwitch"
                small: true
                checked: row.isEnabled
                Accessible.name: row.displayName
                onToggleRequested: value => row.switchRequested(value)
            }
        }
    }

    Column {
        objectName: "toolList"
        x: 16 + 44
        width: row.width - x - 16
        spacing: 12
        bottomPadding: 12
        visible: opacity > 0
        opacity: row.isExpanded ? 1 : 0
        Behavior on opacity {
            enabled: Tokens.animationsEnabled
            NumberAnimation { duration: Tokens.expandSpringDuration; easing.type: Easing.OutCubic }
        }

        Repeater {
            model: row.tools
            Column {
                required property var modelData
                objectName: "toolLine"
                width: parent.width
                spacing: 4
                PanelText {
                    objectName: "toolName"
                    text: modelData.name
                    font.pixelSize: 12
                    font.weight: Tokens.semibold
                }
                PanelText {
                    objectName: "toolDescription"
                    width: parent.width
                    text: modelData.displayDescription
                    color: Tokens.colorBlack400
                    font.pixelSize: 11
                    wrapMode: Text.Wrap
                    maximumLineCount: 2
                    elide: Text.ElideRight
                }
            }
        }
    }
}
