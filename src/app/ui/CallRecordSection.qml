import QtQuick
import Lumenary.Ui
import QtQuick.Layouts

// One category of the call records: a header with the number of tools
// called and the total calls; unfolded, one line per tool with its count.
Column {
    id: section

    // Filled from the records model's roles.
    required property string category
    required property string iconName
    required property string toolCountText
    required property int totalCount
    required property bool isExpanded
    // {"toolName", "callCount"} of every tool called, more calls first.
    required property var tools

    signal expandToggled()

    Item {
        objectName: "sectionHeader"
        width: section.width
        implicitHeight: headerRow.implicitHeight + 28
        Accessible.role: Accessible.Button
        Accessible.name: section.category

        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.PointingHandCursor
            onClicked: section.expandToggled()
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
                iconName: section.iconName
            }
            Column {
                Layout.fillWidth: true
                spacing: 2
                PanelText {
                    objectName: "sectionCategory"
                    text: section.category
                    font.weight: Tokens.medium
                }
                PanelText {
                    objectName: "sectionToolCount"
                    text: section.toolCountText
                    color: Tokens.colorBlack400
                    font.pixelSize: 11
                }
            }
            Rectangle {
                objectName: "totalPill"
                Layout.preferredWidth: totalText.implicitWidth + 20
                Layout.preferredHeight: totalText.implicitHeight + 8
                radius: 12
                color: Tokens.colorBlue500
                PanelText {
                    id: totalText
                    objectName: "totalCount"
                    anchors.centerIn: parent
                    text: String(section.totalCount)
                    color: "#ffffff"
                    font.weight: Tokens.semibold
                }
            }
            Item {
                Layout.preferredWidth: 12 + 8
                Layout.preferredHeight: 12
                TintedIcon {
                    objectName: section.isExpanded ? "chevronUp" : "chevronDown"
                    x: 8
                    width: 12
                    height: 12
                    source: section.isExpanded ? "icons/chevron-up.svg" : "icons/chevron-down.svg"
                    color: Tokens.colorBlack400
                }
            }
        }
    }

    Rectangle {
        objectName: "recordList"
        width: section.width
        height: records.implicitHeight
        color: Qt.rgba(Tokens.colorBlack900.r, Tokens.colorBlack900.g, Tokens.colorBlack900.b, 0.02)
        visible: opacity > 0
        opacity: section.isExpanded ? 1 : 0
        Behavior on opacity {
            enabled: Tokens.animationsEnabled
            NumberAnimation { duration: Tokens.expandSpringDuration; easing.type: Easing.OutCubic }
        }

        Column {
            id: records
            width: parent.width
            Repeater {
                model: section.tools
                Column {
                    required property var modelData
                    objectName: "recordRow"
                    width: records.width

                    RowDivider {
                        width: parent.width
                        leadingInset: 60
                    }
                    RowLayout {
                        x: 32
                        width: parent.width - 32 - 16
                        height: implicitHeight + 20
                        spacing: 12
                        Item {
                            Layout.preferredWidth: 32
                            Layout.preferredHeight: 12
                            TintedIcon {
                                anchors.centerIn: parent
                                width: 12
                                height: 12
                                source: "icons/wrench.svg"
                                color: Tokens.colorBlack400
                            }
                        }
                        PanelText {
                            objectName: "recordToolName"
                            Layout.fillWidth: true
                            text: modelData.toolName
                            font.pixelSize: 13
                            elide: Text.ElideRight
                        }
                        Rectangle {
                            Layout.preferredWidth: countText.implicitWidth + 16
                            Layout.preferredHeight: countText.implicitHeight + 4
                            radius: 8
                            color: Qt.rgba(Tokens.colorBlack400.r, Tokens.colorBlack400.g, Tokens.colorBlack400.b, 0.15)
                            PanelText {
                                id: countText
                                objectName: "recordCallCount"
                                anchors.centerIn: parent
                                text: String(modelData.callCount)
                                color: Tokens.colorBlack400
                                font.pixelSize: 12
                                font.weight: Tokens.medium
                            }
                        }
                    }
                }
            }
        }
    }
}
