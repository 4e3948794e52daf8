pragma Singleton
import QtQuick

// The panel's colours, font and motion, read by every view so that no view
// keeps a variant of its own. `dark` follows the desktop palette; tests pin
// it and switch `animationsEnabled` off so that every state change lands at
// once and screenshots are reproducible.
QtObject {
    id: tokens

    property bool dark: desktopPalette.window.hslLightness < 0.5
    property bool animationsEnabled: true

    readonly property color colorButtonfill: dark ? "#2a2b30" : "#f3f4f6"
    readonly property color colorGray200: dark ? "#44464d" : "#d9dce1"
    readonly property color colorBlack900: dark ? "#f2f3f5" : "#1c1d21"
    readonly property color colorBlack400: dark ? "#9a9ea7" : "#7a7e87"
    readonly property color colorWhite900: dark ? "#1e1f23" : "#ffffff"
    readonly property color colorGray50: dark ? "#35373d" : "#eceef1"
    readonly property color colorGreen500: dark ? "#3cc477" : "#2fb166"
    readonly property color colorBlue500: dark ? "#4c86f5" : "#2f6feb"
    readonly property color colorBlue100: dark ? "#1f2e4d" : "#dce8fd"
    readonly property color colorBlue700: dark ? "#93b6fa" : "#1f4fb8"
    readonly property color colorPurple100: dark ? "#34264a" : "#ede3fc"
    readonly property color colorPurple700: dark ? "#c3a2f2" : "#6b36b8"
    readonly property color colorGray100: dark ? "#393b41" : "#e9eaed"
    readonly property color colorGray600: dark ? "#b3b6bd" : "#5a5e66"

    // Fixed colours beside the named ones.
    readonly property color stoppedRed: "#e5393b"
    readonly property color runningText: Qt.rgba(0.15, 0.66, 0.37, 1)
    readonly property color warningOrange: "#f59f00"
    readonly property color backdrop: Qt.rgba(0, 0, 0, 0.3)
    readonly property color shadow: Qt.rgba(0, 0, 0, 0.15)

    readonly property real cardRadius: 14

    // Set as the application font too; every text names it so that no
    // desktop font setting changes the panel. The packaged family has a
    // regular and a bold face only: medium renders regular, semibold bold.
    readonly property string fontFamily: "Noto Sans CJK SC"
    readonly property int medium: Font.Normal
    readonly property int semibold: Font.Bold

    // The shared spring of page moves and of the service card: a response
    // of 0.4 s with damping 0.85 overshoots by well under a pixel, so an
    // ease-out curve of the same length draws it.
    readonly property QtObject springAnimation: QtObject {
        readonly property int duration: tokens.animationsEnabled ? 450 : 0
        readonly property int easingType: Easing.OutCubic
    }
    // Motions local to one view.
    readonly property int alertFadeDuration: animationsEnabled ? 200 : 0
    readonly property int toastSpringDuration: animationsEnabled ? 350 : 0
    readonly property int expandSpringDuration: animationsEnabled ? 400 : 0
    readonly property int copiedTipSpringDuration: animationsEnabled ? 350 : 0
    readonly property int hoverFadeDuration: animationsEnabled ? 200 : 0

    readonly property SystemPalette desktopPalette: SystemPalette {}
}
