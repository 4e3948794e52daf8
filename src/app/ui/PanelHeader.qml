import QtQuick
import Lumenary.Ui
import QtQuick.Layouts

// The row above the pages: on the main page the logo and the service badge,
// on a sub-page a back button titled with the page's name.
Item {
    id: header

    // The sub-page's title; empty on the main page.
    property string title
    property bool running: false
    property string badgeText
    signal backRequested()

    implicitHeight: (title.length > 0 ? backRow.implicitHeight + 16 : logoRow.implicitHeight) + 16

    Item {
        id: backButton
        objectName: "backButton"
        visible: header.title.length > 0
        x: 6
        y: 8
        width: parent.width - 6 - 5
        height: backRow.implicitHeight + 16
        Accessible.role: Accessible.Button
        Accessible.name: header.title

        RowLayout {
            id: backRow
            anchors.fill: parent
            anchors.topMargin: 8
            anchors.bottomMargin: 8
            spacing: 4
            TintedIcon {
                Layout.preferredWidth: 12
                Layout.preferredHeight: 12
                source: "icons/chevron-left.svg"
                color: Tokens.colorBlack900
            }
            PanelText {
                objectName: "headerTitle"
                Layout.fillWidth: true
                text: header.title
                font.weight: Tokens.medium
            }
        }
        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.PointingHandCursor
            onClicked: header.backRequested()
        }
    }

    RowLayout {
        id: logoRow
        visible: header.title.length === 0
        x: 6
        y: 8
        width: parent.width - 6 - 5
        spacing: 4
        TintedIcon {
            objectName: "logo"
            Layout.preferredWidth: 18
            Layout.preferredHeight: 18
            Layout.topMargin: 4
            Layout.bottomMargin: 4
            source: "icons/logo.svg"
            color: Tokens.colorBlack900
        }
        Item { Layout.fillWidth: true }
        RunningBadge {
            objectName: "runningBadge"
            running: header.running
            text: header.badgeText
        }
    }
}
