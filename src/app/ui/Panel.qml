import QtQuick

// The panel's root: 400 wide, as tall as its content. Until the pages land
// it shows the header text only.
Item {
    id: root
    required property QtObject panel
    required property QtObject serviceCard
    required property QtObject toolCategories
    required property QtObject callRecords

    objectName: "panelRoot"
    width: 400
    implicitWidth: 400
    implicitHeight: header.implicitHeight + 12

    Text {
        id: header
        objectName: "headerTitle"
        x: 6
        y: 8
        text: root.panel.headerTitle.length > 0 ? root.panel.headerTitle : root.serviceCard.badgeText
    }
}
