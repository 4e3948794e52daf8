import QtQuick
import Lumenary.Ui

// The port field. Typing writes nothing: the text is committed on Enter,
// when the field loses focus or when the page goes off screen, and only
// after an edit, so a focus change alone never restarts the service. After
// a commit, and whenever the port changes while no edit is pending, the
// field shows the current port.
Rectangle {
    id: field

    required property QtObject settings
    // The text was edited since the last commit.
    property bool edited: false

    function commit() {
        if (!field.edited) {
            return
        }
        field.edited = false
        input.text = field.settings.commitPortText(input.text)
    }
    // Commits, and lets go of the focus so that nothing blinks off screen.
    function release() {
        field.commit()
        input.focus = false
    }

    implicitWidth: 60 + 16
    implicitHeight: input.implicitHeight + 8
    radius: 6
    color: Tokens.colorGray50

    TextInput {
        id: input
        objectName: "portField"
        x: 8
        y: 4
        width: 60
        text: field.settings.portText
        horizontalAlignment: TextInput.AlignRight
        font.family: Tokens.fontFamily
        font.pixelSize: 14
        color: Tokens.colorBlack900
        selectByMouse: true
        clip: true
        onTextEdited: field.edited = true
        onEditingFinished: field.commit()
        onActiveFocusChanged: if (!activeFocus) field.commit()

        // The caret blinks as the desktop's does, but only for a while
        // after the last keystroke, then stays lit: a field left with the
        // focus does not wake the program twice a second for ever.
        cursorDelegate: Rectangle {
            id: caret
            readonly property int blinks: 20
            property int blinksLeft: blinks

            function restart() { caret.blinksLeft = caret.blinks }

            width: 1
            color: Tokens.colorBlack900
            visible: input.cursorVisible && caret.blinksLeft % 2 === 0

            Timer {
                objectName: "caretBlink"
                interval: Math.max(100, Qt.styleHints.cursorFlashTime / 2)
                repeat: true
                running: input.activeFocus && caret.blinksLeft > 0
                onTriggered: caret.blinksLeft -= 1
            }
            Connections {
                target: input
                function onTextChanged() { caret.restart() }
                function onCursorPositionChanged() { caret.restart() }
                function onActiveFocusChanged() { caret.restart() }
            }
        }
    }

    Connections {
        target: field.settings
        function onPortChanged() {
            if (!field.edited) {
                input.text = field.settings.portText
            }
        }
    }
}
