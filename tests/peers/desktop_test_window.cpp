// A small window of our own for the desktop-control tests: a line edit, a
// push button, a check box, a slider at 1 (a value that is a number), a
// group of 120 buttons and a chain of frames nested seven deep. It prints
// what it receives on standard output, one line each: "text: ..." when the
// line edit changes, "clicked Send: ..." with the line edit's text when the
// button is pressed, "checked Agree: 1" or "0" when the box changes.
//
//     desktop_test_window                      the window above
//     desktop_test_window --grid GROUPS SIZE   GROUPS groups of SIZE buttons
//                                              in place of the 120

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

QGroupBox* buttonGroup(const QString& title, int count, int columns) {
    auto* group = new QGroupBox(title);
    auto* grid = new QGridLayout(group);
    grid->setSpacing(0);
    for (int index = 0; index < count; ++index) {
        auto* button = new QPushButton(QString::number(index));
        button->setAccessibleName(title + " " + QString::number(index));
        grid->addWidget(button, index / columns, index % columns);
    }
    return group;
}

// Frame 1 holds frame 2, and so on down to frame `depth`.
QFrame* frameChain(int depth) {
    QFrame* outermost = nullptr;
    QFrame* parent = nullptr;
    for (int level = 1; level <= depth; ++level) {
        auto* frame = new QFrame(parent);
        frame->setAccessibleName("Frame " + QString::number(level));
        frame->setFrameShape(QFrame::Box);
        if (parent == nullptr) {
            outermost = frame;
        } else {
            auto* layout = new QVBoxLayout(parent);
            layout->setContentsMargins(2, 2, 2, 2);
            layout->addWidget(frame);
        }
        parent = frame;
    }
    parent->setMinimumSize(10, 10);
    return outermost;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    int groups = 1;
    int groupSize = 120;
    if (argc == 4 && std::strcmp(argv[1], "--grid") == 0) {
        groups = std::atoi(argv[2]);
        groupSize = std::atoi(argv[3]);
    }

    QWidget window;
    window.setWindowTitle("Desktop Test Window");
    auto* layout = new QVBoxLayout(&window);

    auto* edit = new QLineEdit;
    edit->setAccessibleName("Message");
    layout->addWidget(edit);
    QObject::connect(edit, &QLineEdit::textChanged, [](const QString& text) { say("text: " + text.toStdString()); });

    auto* send = new QPushButton("Send");
    layout->addWidget(send);
    QObject::connect(send, &QPushButton::clicked,
                     [edit] { say("clicked Send: " + edit->text().toStdString()); });

    auto* agree = new QCheckBox("Agree");
    agree->setChecked(true);
    layout->addWidget(agree);
    QObject::connect(agree, &QCheckBox::toggled, [](bool checked) { say(checked ? "checked Agree: 1" : "checked Agree: 0"); });

    auto* level = new QSlider(Qt::Horizontal);
    level->setAccessibleName("Level");
    level->setRange(0, 10);
    level->setValue(1);
    layout->addWidget(level);

    auto* groupArea = new QWidget;
    auto* groupGrid = new QGridLayout(groupArea);
    groupGrid->setSpacing(0);
    for (int group = 0; group < groups; ++group) {
        const QString title = groups == 1 ? QString("Buttons") : "Group " + QString::number(group);
        groupGrid->addWidget(buttonGroup(title, groupSize, groups == 1 ? 12 : 5), group / 8, group % 8);
    }
    layout->addWidget(groupArea);
    layout->addWidget(frameChain(7));

    window.move(0, 0);
    window.show();
    say("shown");
    return application.exec();
}
