#pragma once

#include <memory>

#include <QObject>

#include "platform/defaults/defaults_store.hpp"

namespace lumenary::app::ui {

class CoreBridge;
class FirstRunWindow;
class OnboardingViewModel;

// The application's launch-time part: opens the first-run window with the
// guide while "hasCompletedOnboarding" is not set, and sets it only when the
// guide's finish is pressed. Closing the window with its close button
// leaves the flag alone, so the next launch opens it again; it does not
// open again in the same run. UI thread only.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    static constexpr const char* hasCompletedOnboardingKey = "hasCompletedOnboarding";

    AppDelegate(CoreBridge& bridge, platform::DefaultsStore& defaults, QObject* parent = nullptr);
    ~AppDelegate() override;

    // Once the panel is up: the first-run window unless onboarding was
    // completed.
    void applicationDidFinishLaunching();
    // Opens the first-run window; nothing while one is held.
    void showOnboarding();
    // The guide's finish: records completion and closes the window.
    void finishOnboarding();

    // The window while it is held; null before it opened and after finish.
    FirstRunWindow* onboardingWindow() const noexcept { return onboardingWindow_.get(); }
    OnboardingViewModel* onboarding() const noexcept { return onboarding_.get(); }

private:
    CoreBridge& bridge_;
    platform::DefaultsStore& defaults_;
    // The guide outlives the window that shows it.
    std::unique_ptr<OnboardingViewModel> onboarding_;
    std::unique_ptr<FirstRunWindow> onboardingWindow_;
    // A finished guide and its window, kept until the press that finished
    // them has returned.
    std::unique_ptr<OnboardingViewModel> finishedOnboarding_;
    std::unique_ptr<FirstRunWindow> finishedWindow_;
};

}  // namespace lumenary::app::ui
