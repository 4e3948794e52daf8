import QtQuick
import Lumenary.Ui
import QtQuick.Layouts

// The calendar and reminders rows under "权限状态": each status, and "请求"
// unless it says authorized. The statuses are read again each time the rows
// come on screen.
Column {
    id: rows

    required property QtObject content
    property bool shown: false

    spacing: 12
    onShownChanged: if (shown) rows.content.refreshStatuses()

    PermissionRow {
        objectName: "calendarPermission"
        icon: "icons/settings/calendar.svg"
        title: "日历"
        status: rows.content.calendarStatus
        requestable: rows.content.calendarRequestable
        onRequested: rows.content.requestCalendarAccess()
    }
    PermissionRow {
        objectName: "remindersPermission"
        icon: "icons/settings/checklist.svg"
        title: "提醒事项"
        status: rows.content.reminderStatus
        requestable: rows.content.reminderRequestable
        onRequested: rows.content.requestRemindersAccess()
    }

    component PermissionRow: RowLayout {
        id: row
        property url icon
        property string title
        property string status
        property bool requestable
        signal requested()

        width: rows.width
        spacing: 10

        Item {
            Layout.preferredWidth: 20
            Layout.preferredHeight: 20
            TintedIcon {
                anchors.centerIn: parent
                width: 14
                height: 14
                source: row.icon
                color: Tokens.colorBlack900
            }
        }
        PanelText {
            objectName: "permissionTitle"
            text: row.title
            textFormat: Text.PlainText
        }
        Item { Layout.fillWidth: true }
        PanelText {
            objectName: "permissionStatus"
            text: row.status
            textFormat: Text.PlainText
            color: Tokens.colorBlack400
            font.pixelSize: 12
        }
        Rectangle {
            objectName: "requestButton"
            visible: row.requestable
            enabled: !rows.content.isRequesting
            opacity: enabled ? 1 : 0.45
            Layout.preferredWidth: requestLabel.implicitWidth + 16
            Layout.preferredHeight: requestLabel.implicitHeight + 6
            radius: 5
            color: Tokens.colorWhite900
            border.width: 1
            border.color: Tokens.colorGray200
            Accessible.role: Accessible.Button
            Accessible.name: "请求"
            PanelText {
                id: requestLabel
                anchors.centerIn: parent
                text: "请求"
                font.pixelSize: 12
            }
            MouseArea {
                anchors.fill: parent
                cursorShape: Qt.PointingHandCursor
                onClicked: row.requested()
            }
        }
    }
}
