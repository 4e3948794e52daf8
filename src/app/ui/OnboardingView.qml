import QtQuick
import Lumenary.Ui

// The first-run guide: four pages side by side in a strip that only the
// pages' buttons move (it cannot be dragged), 520 × 600.
Item {
    id: root

    required property QtObject onboarding

    objectName: "onboardingRoot"
    width: 520
    height: 600
    implicitWidth: 520
    implicitHeight: 600
    clip: true

    Rectangle {
        anchors.fill: parent
        color: Tokens.colorWhite900
    }

    // An item, not a Row: a Row would close the gap of a hidden page.
    Item {
        id: strip
        x: -(root.onboarding.currentStep - 1) * root.width
        width: 4 * root.width
        height: root.height

        // A spring of response 0.5 s and damping 0.8 settles within about
        // half a second with a barely visible overshoot.
        Behavior on x {
            enabled: Tokens.animationsEnabled
            NumberAnimation { duration: 500; easing.type: Easing.OutBack; easing.overshoot: 0.6 }
        }

        OnboardingWelcomePage {
            objectName: "welcomePage"
            x: 0 * root.width
            width: root.width
            height: root.height
            visible: strip.showsPage(0)
            onEnterRequested: root.onboarding.enter()
        }
        OnboardingPermissionPage {
            objectName: "permissionPage"
            x: 1 * root.width
            width: root.width
            height: root.height
            visible: strip.showsPage(1)
            onboarding: root.onboarding
            onPreviousRequested: root.onboarding.goToPreviousStep()
            onNextRequested: root.onboarding.goToNextStep()
        }
        OnboardingToolPage {
            objectName: "toolPage"
            x: 2 * root.width
            width: root.width
            height: root.height
            visible: strip.showsPage(2)
            onboarding: root.onboarding
            onPreviousRequested: root.onboarding.goToPreviousStep()
            onNextRequested: root.onboarding.goToNextStep()
        }
        OnboardingClosingPage {
            objectName: "closingPage"
            x: 3 * root.width
            width: root.width
            height: root.height
            visible: strip.showsPage(3)
            onPreviousRequested: root.onboarding.goToPreviousStep()
            onFinishRequested: root.onboarding.finish()
        }

        // Only pages inside the window are drawn (and reachable by the
        // keyboard); while the strip moves, the two it passes between.
        function showsPage(index) {
            return Math.abs(strip.x + index * root.width) < root.width
        }
    }
}
