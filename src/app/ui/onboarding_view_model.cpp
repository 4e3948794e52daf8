#include "app/ui/onboarding_view_model.hpp"

#include <QPointer>

#include "app/ui/core_bridge.hpp"

namespace lumenary::app::ui {

namespace {

using Kind = PermissionCategory::Kind;

constexpr int firstStep = 1;
constexpr int lastStep = 4;
constexpr int permissionStep = 2;

}  // namespace

OnboardingViewModel::OnboardingViewModel(CoreBridge& bridge, platform::DefaultsStore& defaults,
                                         std::function<void()> onFinished, QObject* parent)
    : QObject(parent), bridge_(bridge), defaults_(defaults), onFinished_(std::move(onFinished)), toolRows_(bridge) {
    pollTimer_.setInterval(defaultPollingInterval);
    connect(&pollTimer_, &QTimer::timeout, this, &OnboardingViewModel::refreshPermissionStates);
}

QString OnboardingViewModel::accessibilityHint() const {
    return accessibilityHintAsked_ && !isAccessibilityEnabled_ ? accessibilityGuidanceHint_ : QString();
}

QString OnboardingViewModel::fullDiskAccessHint() const {
    return fullDiskAccessHintAsked_ && !isFullDiskAccessEnabled_ ? fullDiskAccessGuidanceHint_ : QString();
}

void OnboardingViewModel::enter() {
    setCurrentStep(permissionStep);
}

void OnboardingViewModel::goToNextStep() {
    setCurrentStep(currentStep_ + 1);
}

void OnboardingViewModel::goToPreviousStep() {
    setCurrentStep(currentStep_ - 1);
}

void OnboardingViewModel::finish() {
    if (onFinished_) {
        onFinished_();
    }
}

void OnboardingViewModel::openAccessibilitySettings() {
    bridge_.openSystemSettings(PermissionCategory::of(Kind::accessibility));
    accessibilityHintAsked_ = true;
    Q_EMIT permissionStatesChanged();
}

void OnboardingViewModel::openFullDiskAccessSettings() {
    bridge_.openSystemSettings(PermissionCategory::of(Kind::fullDiskAccess));
    fullDiskAccessHintAsked_ = true;
    Q_EMIT permissionStatesChanged();
}

void OnboardingViewModel::appeared() {
    if (currentStep_ != firstStep || defaults_.boolean(hasShownOnboardingKey)) {
        return;
    }
    // Recorded first: the reset must never run twice, even should the
    // program end before the core has switched everything off.
    defaults_.setBoolean(hasShownOnboardingKey, true);
    bridge_.disableAllTools();
}

void OnboardingViewModel::setWindowVisible(bool visible) {
    windowVisible_ = visible;
    updatePolling();
}

std::optional<mcp::MCPError> OnboardingViewModel::setPollingInterval(std::chrono::milliseconds interval) {
    if (interval.count() <= 0) {
        return mcp::MCPError::invalidParams("the permission polling interval must be positive, not " +
                                            std::to_string(interval.count()) + " ms");
    }
    pollTimer_.setInterval(interval);
    return std::nullopt;
}

void OnboardingViewModel::setCurrentStep(int step) {
    if (step < firstStep || step > lastStep || step == currentStep_) {
        return;
    }
    currentStep_ = step;
    Q_EMIT currentStepChanged();
    updatePolling();
}

void OnboardingViewModel::updatePolling() {
    const bool wanted = windowVisible_ && currentStep_ == permissionStep;
    if (wanted == pollTimer_.isActive()) {
        return;
    }
    if (wanted) {
        pollTimer_.start();
        refreshPermissionStates();
    } else {
        pollTimer_.stop();
    }
    Q_EMIT pollingChanged();
}

void OnboardingViewModel::refreshPermissionStates() {
    if (probesInFlight_ > 0) {
        return;
    }
    probesInFlight_ = 2;
    QPointer<OnboardingViewModel> self(this);
    for (const auto kind : {Kind::accessibility, Kind::fullDiskAccess}) {
        bridge_.permissionStatus(PermissionCategory::of(kind),
                                 [self, kind](PermissionStatus status, const PermissionGuidance& guidance) {
                                     if (self) {
                                         self->permissionAnswered(kind, status == PermissionStatus::granted,
                                                                  QString::fromStdString(guidance.hint));
                                     }
                                 });
    }
}

void OnboardingViewModel::permissionAnswered(PermissionCategory::Kind kind, bool held, QString hint) {
    --probesInFlight_;
    if (kind == Kind::accessibility) {
        isAccessibilityEnabled_ = held;
        accessibilityGuidanceHint_ = std::move(hint);
    } else {
        isFullDiskAccessEnabled_ = held;
        fullDiskAccessGuidanceHint_ = std::move(hint);
    }
    Q_EMIT permissionStatesChanged();
}

}  // namespace lumenary::app::ui
