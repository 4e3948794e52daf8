#include "app/ui/app_delegate.hpp"

#include "app/ui/first_run_window.hpp"
#include "app/ui/onboarding_view_model.hpp"

namespace lumenary::app::ui {

AppDelegate::AppDelegate(CoreBridge& bridge, platform::DefaultsStore& defaults, QObject* parent)
    : QObject(parent), bridge_(bridge), defaults_(defaults) {}

AppDelegate::~AppDelegate() {
    // A window's QML names its guide: the windows go first.
    onboardingWindow_.reset();
    finishedWindow_.reset();
    onboarding_.reset();
    finishedOnboarding_.reset();
}

void AppDelegate::applicationDidFinishLaunching() {
    if (!defaults_.boolean(hasCompletedOnboardingKey)) {
        showOnboarding();
    }
}

void AppDelegate::showOnboarding() {
    if (onboardingWindow_) {
        return;
    }
    onboarding_ = std::make_unique<OnboardingViewModel>(bridge_, defaults_, [this] { finishOnboarding(); });
    onboardingWindow_ = std::make_unique<FirstRunWindow>(*onboarding_);
    onboardingWindow_->present();
    onboarding_->appeared();
}

void AppDelegate::finishOnboarding() {
    defaults_.setBoolean(hasCompletedOnboardingKey, true);
    if (!onboardingWindow_) {
        return;
    }
    onboardingWindow_->close();
    // The press that finishes runs inside the window's own QML: both go
    // once it has returned, the window first.
    finishedWindow_ = std::move(onboardingWindow_);
    finishedOnboarding_ = std::move(onboarding_);
    QMetaObject::invokeMethod(
        this,
        [this] {
            finishedWindow_.reset();
            finishedOnboarding_.reset();
        },
        Qt::QueuedConnection);
}

}  // namespace lumenary::app::ui
