import QtQuick
import Lumenary.Ui
import QtQuick.Layouts

// A navigation row: icon, title and a trailing chevron, with an optional
// detail text before the chevron; the whole row clicks.
Item {
    id: row

    property string title
    property url icon
    property real iconSize: 20
    property string detail
    signal clicked()

    implicitHeight: layout.implicitHeight + 28
    Accessible.role: Accessible.Button
    Accessible.name: title

    RowLayout {
        id: layout
        anchors.fill: parent
        anchors.leftMargin: 16
        anchors.rightMargin: 16
        anchors.topMargin: 14
        anchors.bottomMargin: 14
        spacing: 8

        TintedIcon {
            Layout.preferredWidth: row.iconSize
            Layout.preferredHeight: row.iconSize
            source: row.icon
            color: Tokens.colorBlack900
        }
        PanelText {
            objectName: "menuRowTitle"
            Layout.fillWidth: true
            text: row.title
        }
        PanelText {
            objectName: "menuRowDetail"
            visible: row.detail.length > 0
            text: row.detail
            color: Tokens.colorBlack400
            font.pixelSize: 12
        }
        Item {
            Layout.preferredWidth: 20
            Layout.preferredHeight: 20
            TintedIcon {
                anchors.centerIn: parent
                width: 12
                height: 12
                source: "icons/chevron-right.svg"
                color: Tokens.colorBlack400
            }
        }
    }
    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: row.clicked()
    }
}
