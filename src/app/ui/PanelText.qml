import QtQuick

// Every text of the panel: the panel's family, primary colour unless told.
Text {
    font.family: Tokens.fontFamily
    font.pixelSize: 14
    color: Tokens.colorBlack900
}
