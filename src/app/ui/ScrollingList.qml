import QtQuick
import QtQuick.Controls.Basic as Controls

// A vertical list that scrolls when its content is taller than itself: by
// the wheel a few lines a notch, by a drag, and by the keys its page hands
// it (scrollByKey). It stops at its ends and clips only while it scrolls.
Flickable {
    id: list

    // Where the scroll bar is drawn: beside the list, in the margin.
    property alias scrollBar: bar
    readonly property bool overflows: contentHeight > height

    clip: overflows
    boundsBehavior: Flickable.StopAtBounds

    Controls.ScrollBar.vertical: Controls.ScrollBar {
        id: bar
        policy: list.overflows ? Controls.ScrollBar.AlwaysOn : Controls.ScrollBar.AlwaysOff
    }

    function scrollTo(y) {
        contentY = Math.max(0, Math.min(y, contentHeight - height))
    }
    // Whether `key` is one that scrolls (it then did).
    function scrollByKey(key) {
        const line = 40
        switch (key) {
        case Qt.Key_Down: scrollTo(contentY + line); return true
        case Qt.Key_Up: scrollTo(contentY - line); return true
        case Qt.Key_PageDown: scrollTo(contentY + height - line); return true
        case Qt.Key_PageUp: scrollTo(contentY - height + line); return true
        case Qt.Key_End: scrollTo(contentHeight); return true
        case Qt.Key_Home: scrollTo(0); return true
        default: return false
        }
    }

    // A wheel notch moves three lines at once, however little there is to
    // scroll (a flick's own wheel handling can stall on a short overflow).
    WheelHandler {
        target: null
        onWheel: event => {
            const step = event.pixelDelta.y !== 0 ? event.pixelDelta.y : event.angleDelta.y / 120 * 48
            list.scrollTo(list.contentY - step)
        }
    }
}
