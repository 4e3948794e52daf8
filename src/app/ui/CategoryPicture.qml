import QtQuick
import Lumenary.Ui

// A tool category's picture in a 32 × 32 frame; a category the panel does
// not know (an empty key) shows a wrench.
Item {
    id: picture

    property string iconName

    implicitWidth: 32
    implicitHeight: 32

    TintedIcon {
        objectName: "categoryImage"
        visible: picture.iconName.length > 0
        anchors.fill: parent
        source: picture.iconName.length > 0 ? "icons/categories/" + picture.iconName + ".svg" : ""
        tinted: false
    }
    TintedIcon {
        objectName: "wrenchIcon"
        visible: picture.iconName.length === 0
        anchors.centerIn: parent
        width: 16
        height: 16
        source: "icons/wrench.svg"
        color: Tokens.colorBlack400
    }
}
