import QtQuick
import Lumenary.Ui
import QtQuick.Layouts

// The "启动 MCP" card: the switch shows the wish that the service run; the
// endpoint rows show only while it does.
CardBackground {
    id: card

    required property QtObject serviceCard

    implicitHeight: content.implicitHeight + 32

    Column {
        id: content
        x: 16
        y: 16
        width: parent.width - 32
        spacing: 16

        RowLayout {
            width: parent.width
            spacing: 8
            TintedIcon {
                Layout.preferredWidth: 20
                Layout.preferredHeight: 20
                source: "icons/service-status.svg"
                color: Tokens.colorBlack900
            }
            PanelText {
                Layout.fillWidth: true
                text: "启动 MCP"
            }
            PanelSwitch {
                objectName: "serviceSwitch"
                checked: card.serviceCard.isEnabled
                onToggleRequested: value => card.serviceCard.setServiceEnabled(value)
            }
        }
        PanelText {
            objectName: "serviceFailure"
            visible: text.length > 0
            width: parent.width
            text: card.serviceCard.failureText
            color: Tokens.stoppedRed
            font.pixelSize: 12
            wrapMode: Text.Wrap
        }
        RowDivider {
            visible: card.serviceCard.isRunning
            width: parent.width
        }
        Column {
            objectName: "endpointList"
            visible: card.serviceCard.isRunning
            width: parent.width
            spacing: 16

            EndpointRow {
                objectName: "mcpRow"
                width: parent.width
                endpoint: card.serviceCard.mcpRow
                badgeBg: Tokens.colorBlue100
                badgeText: Tokens.colorBlue700
            }
            RowDivider { width: parent.width }
            EndpointRow {
                objectName: "sseRow"
                width: parent.width
                endpoint: card.serviceCard.sseRow
                badgeBg: Tokens.colorPurple100
                badgeText: Tokens.colorPurple700
            }
            RowDivider { width: parent.width }
            EndpointRow {
                objectName: "stdioRow"
                width: parent.width
                endpoint: card.serviceCard.stdioRow
                badgeBg: Tokens.colorGray100
                badgeText: Tokens.colorGray600
            }
        }
    }
}
