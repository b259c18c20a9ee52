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
// workspace programDir), the about box, the new-configuration, the open-configuration, the options and
// the communication settings dialogs, and the update dialog last.
// The dialogs belong to the main window.
std::unique_ptr<DIRevevoriVezaDiva> Create_Program_Windows(const QString &programDir);

// The whole program: the command line (--workspace DIR, --help, --version; exit code 2 for anything else),
// the workspace located, windows, main window shown, problems of the start-up reported, message loop until the
// main window closes. shown, when given, runs right after the main window was shown.
int Run_Program(int &argc, char **argv, const std::function<void(DIRevevoriVezaDiva &)> &shown = {});
