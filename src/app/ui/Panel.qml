import QtQuick

// The panel's root: 400 wide on every page, as tall as its content up to
// `maximumHeight` (the window sets it from the screen), beyond which the
// page scrolls under the header by the wheel, the keyboard or a drag. The
// header and the page area follow the view-model's `page`; the alert and
// the copy toast lie above them, the toast topmost.
Item {
    id: root

    required property QtObject panel
    required property QtObject serviceCard
    required property QtObject toolCategories
    required property QtObject callRecords
    required property QtObject settings
    // The tallest the panel may grow; no bound until the window sets one.
    property real maximumHeight: Number.POSITIVE_INFINITY

    readonly property real naturalHeight: header.height + pageArea.height + bottomPadding
    readonly property real bottomPadding: 6

    objectName: "panelRoot"
    width: 400
    implicitWidth: 400
    // An open alert never hangs over the panel's edges.
    implicitHeight: Math.min(Math.max(naturalHeight, root.panel.showingPermissionAlert ? alert.cardHeight + 40 : 0),
                             maximumHeight)
    // Keys no control takes scroll the page.
    focus: true
    Keys.onPressed: event => { event.accepted = scroller.scrollByKey(event.key) }

    Rectangle {
        anchors.fill: parent
        color: Tokens.colorWhite900
    }

    PanelHeader {
        id: header
        objectName: "panelHeader"
        x: 6
        width: parent.width - 12
        title: root.panel.headerTitle
        running: root.serviceCard.isRunning
        badgeText: root.serviceCard.badgeText
        onBackRequested: root.panel.goBack()
    }

    ScrollingList {
        id: scroller
        objectName: "pageScroller"
        x: 6
        y: header.height
        width: parent.width - 12
        height: Math.max(0, root.height - header.height - root.bottomPadding)
        contentWidth: width
        contentHeight: pageArea.height
        // In the panel's right margin, off the cards.
        scrollBar.objectName: "pageScrollBar"
        scrollBar.parent: root
        scrollBar.x: root.width - scrollBar.width
        scrollBar.y: scroller.y
        scrollBar.height: scroller.height
        scrollBar.width: 6
        scrollBar.padding: 1

        // A page change shows the new page from its top.
        Connections {
            target: root.panel
            function onPageChanged() { scroller.contentY = 0 }
        }

        Item {
            id: pageArea
            objectName: "pageArea"
            width: scroller.width
            height: currentPage ? currentPage.implicitHeight : 0
            clip: true
            readonly property Item currentPage: {
                switch (root.panel.page) {
                case "tools": return toolsPage
                case "settings": return settingsPage
                case "records": return recordsPage
                default: return mainPage
                }
            }
            Behavior on height {
                enabled: Tokens.animationsEnabled
                NumberAnimation { duration: Tokens.springAnimation.duration; easing.type: Tokens.springAnimation.easingType }
            }

            PageSlot {
                id: mainPage
                objectName: "mainPage"
                fromLeading: true
                implicitHeight: mainContent.implicitHeight
                MainPage {
                    id: mainContent
                    width: parent.width
                    panel: root.panel
                    serviceCard: root.serviceCard
                }
            }
            PageSlot {
                id: toolsPage
                objectName: "toolsPage"
                implicitHeight: toolsContent.implicitHeight
                CardBackground {
                    width: parent.width
                    height: toolsContent.implicitHeight
                    ToolCategoriesPage {
                        id: toolsContent
                        width: parent.width
                        toolCategories: root.toolCategories
                    }
                }
            }
            PageSlot {
                id: settingsPage
                objectName: "settingsPage"
                implicitHeight: settingsContent.implicitHeight
                SettingsPage {
                    id: settingsContent
                    width: parent.width
                    panel: root.panel
                    settings: root.settings
                    // A tray panel hidden and opened again shows the page anew.
                    shown: settingsPage.isCurrent && root.Window.window !== null && root.Window.window.visible
                }
            }
            PageSlot {
                id: recordsPage
                objectName: "recordsPage"
                implicitHeight: recordsContent.implicitHeight
                CardBackground {
                    width: parent.width
                    height: recordsContent.implicitHeight
                    CallRecordsPage {
                        id: recordsContent
                        width: parent.width
                        callRecords: root.callRecords
                    }
                }
            }
        }
    }

    PermissionAlert {
        objectName: "permissionAlert"
        id: alert
        anchors.fill: parent
        shown: root.panel.showingPermissionAlert
        title: root.panel.alertTitle
        message: root.panel.alertMessage
        canOpenSettings: root.panel.alertCanOpenSettings
        onDismissed: root.panel.dismissAlert()
        onOpenSettingsRequested: root.panel.openAlertSettings()
    }

    CopyToast {
        objectName: "copyToastLayer"
        anchors.fill: parent
        shown: root.panel.showCopySuccess
    }

    // A page of the page area: the main page enters from and leaves to the
    // leading edge, the sub-pages the trailing one, fading as they move.
    component PageSlot: Item {
        id: slot
        property bool fromLeading: false
        readonly property bool isCurrent: pageArea.currentPage === slot

        width: pageArea.width
        height: implicitHeight
        x: isCurrent ? 0 : (fromLeading ? -width : width)
        opacity: isCurrent ? 1 : 0
        visible: opacity > 0

        Behavior on x {
            enabled: Tokens.animationsEnabled
            NumberAnimation { duration: Tokens.springAnimation.duration; easing.type: Tokens.springAnimation.easingType }
        }
        Behavior on opacity {
            enabled: Tokens.animationsEnabled
            NumberAnimation { duration: Tokens.springAnimation.duration; easing.type: Tokens.springAnimation.easingType }
        }
    }
}
