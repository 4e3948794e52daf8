import QtQuick
import QtQuick.Controls.Basic as Controls
import Lumenary.Ui

// Page 3: six tool categories to switch on, each through its request.
Item {
    id: page

    required property QtObject onboarding
    signal previousRequested()
    signal nextRequested()

    Rectangle {
        anchors.fill: parent
        color: Tokens.colorWhite900
    }
    PanelText {
        id: heading
        x: 36
        y: 120
        text: "选择要开启的工具"
        font.pixelSize: 24
        font.weight: Tokens.semibold
    }
    Flickable {
        id: list
        objectName: "toolRowList"
        x: 36
        anchors.top: heading.bottom
        anchors.topMargin: 16
        anchors.bottom: stepButtons.top
        anchors.bottomMargin: 16
        width: parent.width - 72
        contentHeight: rows.implicitHeight
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        // In the page's margin, beside the rows rather than over their edge.
        Controls.ScrollBar.vertical: Controls.ScrollBar {
            objectName: "toolRowScrollBar"
            parent: page
            x: list.x + list.width + 6
            y: list.y
            height: list.height
            policy: Controls.ScrollBar.AlwaysOn
        }

        Column {
            id: rows
            width: list.width
            spacing: 12
            Repeater {
                model: page.onboarding.toolRows
                OnboardingToolRow {
                    required property int index
                    required property var model
                    objectName: "toolRow"
                    width: rows.width
                    title: model.title
                    subtitle: model.subtitle
                    iconName: model.iconName
                    isEnabled: model.isEnabled
                    hint: model.hint
                    onSwitchRequested: (value) => page.onboarding.toolRows.setToolEnabled(index, value)
                }
            }
        }
    }
    OnboardingStepButtons {
        id: stepButtons
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 48
        onPreviousRequested: page.previousRequested()
        onNextRequested: page.nextRequested()
    }
}
