// The yardstick: a minimal Qt Widgets program with one window of the main window's size.

#include "UIdle_Probe.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(694, 352);
    window.setWindowTitle(QStringLiteral("Minimal"));
    window.show();
    new TIdle_Probe(&window);
    return app.exec();
}
