#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include <QObject>
#include <QString>
#include <QTimer>

#include "app/permissions/permission_manager.hpp"
#include "app/ui/onboarding_tool_rows_view_model.hpp"
#include "mcp/core/mcp_error.hpp"
#include "platform/defaults/defaults_store.hpp"

namespace lumenary::app::ui {

class CoreBridge;

// The first-run guide's state: the page that shows (1 welcome, 2
// permissions, 3 tool selection, 4 closing), moved only by its buttons; the
// two permissions of page 2 with their polling; the tool rows of page 3;
// and the finish, handed to the window's owner. UI thread only.
//
// The first time the guide is ever shown it switches every tool category
// off and records that under "hasShownOnboarding"; later showings (the
// guide returns at each launch until finished) leave the switches alone.
//
// Polling runs only while page 2 shows in a visible window: it probes both
// permissions at once when it starts and then every interval, off the UI
// thread through the bridge, and skips a tick while the last probe has not
// answered, so probes never pile up behind a slow one.
class OnboardingViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(int currentStep READ currentStep NOTIFY currentStepChanged)
    // The desktop-control probe ("辅助功能") and the messages-database probe
    // ("完全磁盘访问") as last polled.
    Q_PROPERTY(bool isAccessibilityEnabled READ isAccessibilityEnabled NOTIFY permissionStatesChanged)
    Q_PROPERTY(bool isFullDiskAccessEnabled READ isFullDiskAccessEnabled NOTIFY permissionStatesChanged)
    // The probe's hint under a row, once its "开启" was pressed and while
    // the permission is not held; empty otherwise.
    Q_PROPERTY(QString accessibilityHint READ accessibilityHint NOTIFY permissionStatesChanged)
    Q_PROPERTY(QString fullDiskAccessHint READ fullDiskAccessHint NOTIFY permissionStatesChanged)
    Q_PROPERTY(bool isPolling READ isPolling NOTIFY pollingChanged)
    Q_PROPERTY(lumenary::app::ui::OnboardingToolRowsViewModel* toolRows READ toolRows CONSTANT)

public:
    static constexpr std::chrono::milliseconds defaultPollingInterval{1000};
    static constexpr const char* hasShownOnboardingKey = "hasShownOnboarding";

    // `onFinished` runs once per press of "开始使用"; the guide records
    // nothing about completion itself.
    OnboardingViewModel(CoreBridge& bridge, platform::DefaultsStore& defaults, std::function<void()> onFinished,
                        QObject* parent = nullptr);

    int currentStep() const noexcept { return currentStep_; }
    bool isAccessibilityEnabled() const noexcept { return isAccessibilityEnabled_; }
    bool isFullDiskAccessEnabled() const noexcept { return isFullDiskAccessEnabled_; }
    QString accessibilityHint() const;
    QString fullDiskAccessHint() const;
    bool isPolling() const noexcept { return pollTimer_.isActive(); }
    OnboardingToolRowsViewModel* toolRows() noexcept { return &toolRows_; }

    // "立即进入".
    Q_INVOKABLE void enter();
    // "下一步" and "上一步"; nothing beyond the first or the last page.
    Q_INVOKABLE void goToNextStep();
    Q_INVOKABLE void goToPreviousStep();
    // "开始使用".
    Q_INVOKABLE void finish();
    // The two "开启" buttons of page 2: open what the probe names and show
    // its hint.
    Q_INVOKABLE void openAccessibilitySettings();
    Q_INVOKABLE void openFullDiskAccessSettings();

    // The window showed the guide.
    void appeared();
    // Whether the window that holds the guide can be seen (shown, not
    // minimised).
    void setWindowVisible(bool visible);

    // Refused (with the error) unless positive.
    std::optional<mcp::MCPError> setPollingInterval(std::chrono::milliseconds interval);

Q_SIGNALS:
    void currentStepChanged();
    void permissionStatesChanged();
    void pollingChanged();

private:
    void setCurrentStep(int step);
    void updatePolling();
    void refreshPermissionStates();
    void permissionAnswered(PermissionCategory::Kind kind, bool held, QString hint);

    CoreBridge& bridge_;
    platform::DefaultsStore& defaults_;
    std::function<void()> onFinished_;
    OnboardingToolRowsViewModel toolRows_;
    int currentStep_ = 1;
    bool windowVisible_ = false;
    bool isAccessibilityEnabled_ = false;
    bool isFullDiskAccessEnabled_ = false;
    QString accessibilityGuidanceHint_;
    QString fullDiskAccessGuidanceHint_;
    bool accessibilityHintAsked_ = false;
    bool fullDiskAccessHintAsked_ = false;
    // Probes of the last refresh still to answer.
    int probesInFlight_ = 0;
    QTimer pollTimer_;
};

}  // namespace lumenary::app::ui
