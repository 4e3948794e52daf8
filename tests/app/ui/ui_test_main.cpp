#include <gtest/gtest.h>

#include <QApplication>
#include <QQuickWindow>
#include <QSGRendererInterface>

// The panel's tests need an application object on the main thread, the
// offscreen platform (CI has no display) and the software scene graph, so
// that rendering and screenshots are the same on every machine.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
