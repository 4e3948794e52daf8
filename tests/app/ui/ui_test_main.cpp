// The panel's tests run on this thread as the UI thread, on the offscreen
// platform (CI has no display) with the software scene graph, so rendering
// and screenshots are the same on every machine. The platform is chosen by
// argument, not by environment, so the programs the tests start see the
// test's display as it is.
#include <gtest/gtest.h>

#include <QApplication>
#include <QQuickWindow>
#include <QSGRendererInterface>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    char platformOption[] = "-platform";
    char platform[] = "offscreen";
    char* qtArguments[] = {argv[0], platformOption, platform, nullptr};
    int qtArgumentCount = 3;
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QApplication application(qtArgumentCount, qtArguments);
    return RUN_ALL_TESTS();
}
