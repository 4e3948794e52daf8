import QtQuick

// A counter of the service card: a large figure over its label.
CardBackground {
    id: tile

    property string figure
    property string label
    property bool clickable: false
    signal clicked()

    implicitHeight: content.implicitHeight + 20 + 16

    Column {
        id: content
        x: 16
        y: 20
        width: parent.width - 32
        spacing: 8
        PanelText {
            objectName: "tileFigure"
            text: tile.figure
            font.pixelSize: 24
            font.weight: Font.Bold
        }
        PanelText {
            objectName: "tileLabel"
            text: tile.label
            color: Tokens.colorBlack400
        }
    }
    MouseArea {
        anchors.fill: parent
        enabled: tile.clickable
        cursorShape: tile.clickable ? Qt.PointingHandCursor : Qt.ArrowCursor
        onClicked: tile.clicked()
    }
}
