import QtQuick
import Lumenary.Ui

// Page 1: the greeting and "立即进入".
OnboardingIllustrated {
    id: page

    signal enterRequested()

    illustration: "icons/onboarding/welcome.svg"

    Column {
        anchors.centerIn: parent
        spacing: 60

        Column {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 12
            PanelText {
                objectName: "welcomeTitle"
                anchors.horizontalCenter: parent.horizontalCenter
                text: "Lumenary"
                font.pixelSize: 32
                font.weight: Tokens.semibold
            }
            PanelText {
                anchors.horizontalCenter: parent.horizontalCenter
                text: "让 AI 驱动你的电脑，释放生产力"
                font.pixelSize: 16
                color: Tokens.colorBlack400
            }
        }
        OnboardingFilledButton {
            objectName: "enterButton"
            anchors.horizontalCenter: parent.horizontalCenter
            text: "立即进入"
            onClicked: page.enterRequested()
        }
    }
}
