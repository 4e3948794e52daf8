#pragma once

#include <QQuickView>

namespace lumenary::app::ui {

class OnboardingViewModel;

// The window that holds the first-run guide (OnboardingView.qml): 520 × 600,
// not resizable, titled "Lumenary 引导设置", kept above other windows and
// centred on the screen. Its close button only hides it. It tells the guide
// whether it can be seen, so that nothing polls behind a hidden window.
// UI thread only; `onboarding` must outlive it.
class FirstRunWindow : public QQuickView {
    Q_OBJECT
public:
    static constexpr int windowWidth = 520;
    static constexpr int windowHeight = 600;

    explicit FirstRunWindow(OnboardingViewModel& onboarding);

    // Centres, shows and activates the window.
    void present();

private:
    void centreOnScreen();
};

}  // namespace lumenary::app::ui
