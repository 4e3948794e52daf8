import QtQuick
import Lumenary.Ui

// Page 4: where the program lives from now on, and "开始使用".
OnboardingIllustrated {
    id: page

    signal previousRequested()
    signal finishRequested()

    illustration: "icons/onboarding/ready.svg"

    Column {
        anchors.centerIn: parent
        spacing: 60

        Column {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 12
            PanelText {
                objectName: "closingTitle"
                anchors.horizontalCenter: parent.horizontalCenter
                text: "一切准备就绪"
                font.pixelSize: 28
                font.weight: Font.Bold
            }
            PanelText {
                anchors.horizontalCenter: parent.horizontalCenter
                text: "在系统托盘可以看到图标，点击即可进入配置"
                color: Tokens.colorBlack400
            }
        }
        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 22
            OnboardingOutlinedButton {
                objectName: "closingBackButton"
                text: "上一步"
                onClicked: page.previousRequested()
            }
            OnboardingFilledButton {
                objectName: "finishButton"
                text: "开始使用"
                onClicked: page.finishRequested()
            }
        }
    }
}
