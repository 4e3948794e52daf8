// The panel's tests run on this thread as the UI thread, with Qt drawing
// offscreen in software: no display, no GPU.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QQuickWindow>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    char platformOption[] = "-platform";
    char platform[] = "offscreen";
    char* qtArguments[] = {argv[0], platformOption, platform, nullptr};
    int qtArgumentCount = 3;
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QGuiApplication application(qtArgumentCount, qtArguments);
    return RUN_ALL_TESTS();
}
