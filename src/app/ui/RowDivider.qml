import QtQuick

// A hairline between rows; the insets keep it off the rows' icons.
Item {
    property real leadingInset: 0
    property real trailingInset: 0

    implicitHeight: 1
    Rectangle {
        x: parent.leadingInset
        width: parent.width - parent.leadingInset - parent.trailingInset
        height: 1
        color: Tokens.colorGray50
    }
}
