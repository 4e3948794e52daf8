import QtQuick
import Lumenary.Ui
import QtQuick.Layouts

// One tool category of page 3: picture, name, what the AI may do, and a
// switch that only asks (the request decides); the hint below when the
// probe said why the category stayed off.
Item {
    id: row

    property string title
    property string subtitle
    property string iconName
    property bool isEnabled: false
    property string hint
    signal switchRequested(bool value)

    implicitHeight: layout.implicitHeight + 24

    Rectangle {
        anchors.fill: parent
        radius: 12
        color: Qt.rgba(Tokens.colorButtonfill.r, Tokens.colorButtonfill.g, Tokens.colorButtonfill.b, 0.5)
        border.width: 1
        border.color: Tokens.colorGray200
    }
    ColumnLayout {
        id: layout
        anchors.fill: parent
        anchors.margins: 12
        spacing: 8

        RowLayout {
            Layout.fillWidth: true
            spacing: 16

            CategoryPicture {
                Layout.preferredWidth: 36
                Layout.preferredHeight: 36
                iconName: row.iconName
            }
            Column {
                Layout.fillWidth: true
                spacing: 4
                PanelText {
                    objectName: "toolRowTitle"
                    text: row.title
                    font.pixelSize: 15
                    font.weight: Tokens.semibold
                }
                PanelText {
                    text: row.subtitle
                    font.pixelSize: 12
                    color: Tokens.colorBlack400
                }
            }
            PanelSwitch {
                objectName: "toolRowSwitch"
                small: true
                checked: row.isEnabled
                onToggleRequested: (value) => row.switchRequested(value)
            }
        }
        PanelText {
            objectName: "toolRowHint"
            Layout.fillWidth: true
            visible: row.hint.length > 0
            text: row.hint
            wrapMode: Text.Wrap
            font.pixelSize: 12
            color: Tokens.colorBlack400
        }
    }
}
