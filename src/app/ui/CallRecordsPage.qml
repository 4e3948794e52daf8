import QtQuick
import Lumenary.Ui

// The records page: one section per category, highest total first, or the
// empty state when no call has been recorded.
Column {
    id: page

    required property QtObject callRecords

    Item {
        objectName: "emptyRecords"
        visible: page.callRecords.isEmpty
        width: page.width
        height: 200
        Column {
            anchors.centerIn: parent
            spacing: 12
            TintedIcon {
                anchors.horizontalCenter: parent.horizontalCenter
                width: 32
                height: 32
                source: "icons/tray.svg"
                color: Tokens.colorBlack400
            }
            PanelText {
                text: "暂无调用记录"
                color: Tokens.colorBlack400
            }
        }
    }

    Repeater {
        model: page.callRecords
        CallRecordSection {
            required property int index

            objectName: "recordSection"
            width: page.width
            onExpandToggled: page.callRecords.toggleExpanded(index)
        }
    }
}
