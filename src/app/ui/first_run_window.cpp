#include "app/ui/first_run_window.hpp"

#include <QGuiApplication>
#include <QQmlEngine>
#include <QScreen>

#include "app/ui/onboarding_view_model.hpp"
#include "app/ui/panel_qml_engine.hpp"
#include "logging/console.hpp"

namespace lumenary::app::ui {

FirstRunWindow::FirstRunWindow(OnboardingViewModel& onboarding) {
    setTitle(QStringLiteral("Lumenary 引导设置"));
    setFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    const QSize size(windowWidth, windowHeight);
    resize(size);
    setMinimumSize(size);
    setMaximumSize(size);
    setResizeMode(QQuickView::SizeRootObjectToView);
    connect(this, &QQuickView::statusChanged, this, [this](QQuickView::Status status) {
        if (status == QQuickView::Error) {
            for (const auto& error : errors()) {
                logging::Console::standardError("[Onboarding] ").print("The first-run window could not load: ",
                                                                       error.toString().toStdString());
            }
        }
    });
    connect(this, &QWindow::visibilityChanged, &onboarding, [&onboarding](QWindow::Visibility visibility) {
        onboarding.setWindowVisible(visibility != QWindow::Hidden && visibility != QWindow::Minimized);
    });
    preparePanelEngine(*engine());
    setInitialProperties({{QStringLiteral("onboarding"), QVariant::fromValue<QObject*>(&onboarding)}});
    setSource(QUrl(QStringLiteral("qrc:/qt/qml/Lumenary/Ui/OnboardingView.qml")));
}

void FirstRunWindow::present() {
    centreOnScreen();
    // A window mapped now lands on top already, kept there by its hint.
    show();
    requestActivate();
}

void FirstRunWindow::centreOnScreen() {
    const auto* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    const auto area = screen->availableGeometry();
    setPosition(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

}  // namespace lumenary::app::ui
