// The text yardstick: a minimal Qt Widgets program with one window of the main window's size that shows one
// label and one push button with text, so that it loads the font database as every program with text must.

#include "UIdle_Probe.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(694, 352);
    window.setWindowTitle(QStringLiteral("Minimal with text"));
    auto *label = new QLabel(QStringLiteral("Create or open a configuration"), &window);
    label->move(80, 60);
    auto *button = new QPushButton(QStringLiteral("New Configuration"), &window);
    button->setGeometry(80, 112, 170, 36);
    window.show();
    new TIdle_Probe(&window);
    return app.exec();
}
