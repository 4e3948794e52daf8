import QtQuick
import Lumenary.Ui

// Page 2: the two permissions the desktop-control and messages tools need,
// refreshed while the page shows.
OnboardingIllustrated {
    id: page

    required property QtObject onboarding
    signal previousRequested()
    signal nextRequested()

    illustration: "icons/onboarding/permissions.svg"

    Column {
        id: heading
        x: 36
        y: 32
        spacing: 4
        PanelText {
            text: "需要一些权限"
            font.pixelSize: 20
            font.weight: Tokens.semibold
        }
        PanelText {
            text: "仅在需要时调用，请放心开启"
            font.weight: Tokens.medium
            color: Qt.rgba(Tokens.colorBlack900.r, Tokens.colorBlack900.g, Tokens.colorBlack900.b, 0.7)
        }
    }
    // The hints can make the rows taller than the room above the step
    // buttons: they scroll there rather than run under the buttons.
    ScrollingList {
        id: list
        objectName: "permissionRowList"
        x: 36
        anchors.top: heading.bottom
        anchors.topMargin: 20
        anchors.bottom: stepButtons.top
        anchors.bottomMargin: 16
        width: parent.width - 72
        contentHeight: rows.implicitHeight
        scrollBar.objectName: "permissionRowScrollBar"
        scrollBar.parent: list.parent
        scrollBar.x: list.x + list.width + 6
        scrollBar.y: list.y
        scrollBar.height: list.height

        Column {
            id: rows
            width: list.width
            spacing: 12
            OnboardingPermissionRow {
                objectName: "accessibilityRow"
                width: parent.width
                title: "辅助功能"
                subtitle: "允许 AI 控制界面和执行操作"
                isGranted: page.onboarding.isAccessibilityEnabled
                hint: page.onboarding.accessibilityHint
                onOpenRequested: page.onboarding.openAccessibilitySettings()
            }
            OnboardingPermissionRow {
                objectName: "fullDiskAccessRow"
                width: parent.width
                title: "完全磁盘访问"
                subtitle: "允许 AI 读取信息和其他文件"
                isGranted: page.onboarding.isFullDiskAccessEnabled
                hint: page.onboarding.fullDiskAccessHint
                onOpenRequested: page.onboarding.openFullDiskAccessSettings()
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
