#pragma once

// The program entry: the application object with the top-level error report, the windows created in their
// fixed order, and the message loop.

#include "UComon.h"
#include "UMessage.h"

#include <QApplication>

#include <exception>

#include <functional>
#include <memory>

class DIRevevoriVezaDiva;

// An error that no handler dealt with ends here: its text is shown in an error box, the event that caused
// it is abandoned and the program goes on.
// The application object also carries the rules every window follows without code of its own:
// - window titles are exactly the captions the windows set (no application name appended);
// - a focused push button is pressed with Enter as well as with Space, and no button is a default button
//   (the buttons of message boxes excepted);
// - tooltips show their text as written, and a button whose caption had to be elided shows it whole.
class TQuillon_Application : public QApplication
{
    Q_OBJECT
public:
    TQuillon_Application(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

// Creates the windows in their fixed order: the main window (whose creation runs the start-up in the
// workspace programDir), then the dialogs (Create_Dialogs).
std::unique_ptr<DIRevevoriVezaDiva> Create_Program_Windows(const QString &programDir);

// Creates the dialogs in their fixed order, each captioned in the language in force now: the about box, the
// new-configuration, the open-configuration, the options and the communication settings dialogs, and the
// update dialog last. They belong to the main window. Does nothing when they exist.
void Create_Dialogs(DIRevevoriVezaDiva &main);

// How the program starts: the dialogs are created once the main window has been painted and the events then
// pending have been handled, so that the window is on the screen sooner. A click, key or close that arrives
// earlier first has them created (Create_Dialogs), then goes on to its window.
void Create_Dialogs_After_First_Paint(DIRevevoriVezaDiva &main);

// The whole program: the command line (--workspace DIR, --help, --version; exit code 2 for anything else),
// the workspace located, windows, main window shown, problems of the start-up reported, message loop until the
// main window closes. shown, when given, runs right after the main window was shown.
int Run_Program(int &argc, char **argv, const std::function<void(DIRevevoriVezaDiva &)> &shown = {});
