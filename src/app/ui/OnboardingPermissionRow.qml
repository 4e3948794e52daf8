import QtQuick
import Lumenary.Ui
import QtQuick.Layouts

// One permission of page 2: title and subtitle, then the "已开启" badge
// while the permission is held, else the "开启" button; the probe's hint
// below once the button was pressed.
Item {
    id: row

    property string title
    property string subtitle
    property bool isGranted: false
    property string hint
    signal openRequested()

    implicitHeight: layout.implicitHeight + 32

    Rectangle {
        anchors.fill: parent
        radius: 16
        color: Qt.rgba(Tokens.colorBlack900.r, Tokens.colorBlack900.g, Tokens.colorBlack900.b, 0.04)
    }
    ColumnLayout {
        id: layout
        anchors.fill: parent
        anchors.margins: 16
        spacing: 8

        RowLayout {
            Layout.fillWidth: true
            spacing: 8

            Column {
                Layout.fillWidth: true
                spacing: 4
                PanelText {
                    objectName: "permissionTitle"
                    text: row.title
                    font.pixelSize: 16
                    font.weight: Tokens.medium
                }
                PanelText {
                    text: row.subtitle
                    color: Qt.rgba(Tokens.colorBlack900.r, Tokens.colorBlack900.g, Tokens.colorBlack900.b, 0.5)
                }
            }
            Item {
                objectName: "grantedBadge"
                visible: row.isGranted
                implicitWidth: badgeRow.implicitWidth + 32
                implicitHeight: badgeRow.implicitHeight + 16
                Rectangle {
                    anchors.fill: parent
                    radius: 41
                    color: Qt.rgba(Tokens.colorBlack900.r, Tokens.colorBlack900.g, Tokens.colorBlack900.b, 0.1)
                }
                Row {
                    id: badgeRow
                    anchors.centerIn: parent
                    spacing: 6
                    TintedIcon {
                        anchors.verticalCenter: parent.verticalCenter
                        width: 12
                        height: 12
                        source: "icons/checkmark.svg"
                        color: Tokens.colorBlack900
                    }
                    PanelText {
                        text: "已开启"
                        font.weight: Tokens.medium
                    }
                }
            }
            Item {
                objectName: "openButton"
                visible: !row.isGranted
                implicitWidth: openLabel.implicitWidth + 48
                implicitHeight: openLabel.implicitHeight + 16
                Accessible.role: Accessible.Button
                Accessible.name: openLabel.text
                Rectangle {
                    anchors.fill: parent
                    radius: 41
                    color: Tokens.colorBlack900
                }
                PanelText {
                    id: openLabel
                    anchors.centerIn: parent
                    text: "开启"
                    font.weight: Tokens.medium
                    color: Tokens.colorWhite900
                }
                MouseArea {
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: row.openRequested()
                }
            }
        }
        PanelText {
            objectName: "permissionHint"
            Layout.fillWidth: true
            visible: row.hint.length > 0
            text: row.hint
            wrapMode: Text.Wrap
            font.pixelSize: 12
            color: Tokens.colorBlack400
        }
    }
}
