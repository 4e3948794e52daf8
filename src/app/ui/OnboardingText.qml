import QtQuick
import Lumenary.Ui

// Every text of the first-run guide: the guide's family, primary colour
// unless told.
Text {
    font.family: Tokens.fontFamily
    font.pixelSize: 14
    color: Tokens.colorBlack900
}
