#pragma once

// The message boxes of the program: one seam for every box (text, icon and buttons in, the pressed button
// out). Tests switch the seam to answering mode: no box appears, each box takes the next one-shot answer
// and is recorded with the text it would have shown.

#include "UComon.h"

#include <QList>
#include <QMessageBox>
#include <QString>

#include <exception>

enum class TMessage_Kind
{
    Error,        // error icon
    Warning,      // warning icon
    Confirmation, // question icon
    Information   // information icon
};

// A button's caption other than its standard one (for a button that does what its standard name does not say).
// Yes, No, OK and Cancel are captioned from the language table.
struct TButton_Caption
{
    QMessageBox::StandardButton Button;
    QString Text;
};

// Shows a modal box over the active window and returns the button pressed. Enter presses the default button:
// defaultButton when given, else OK, else Yes. A question whose Yes cannot be undone names No.
QMessageBox::StandardButton Message_Box(const QString &text, TMessage_Kind kind,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                        const QList<TButton_Caption> &captions = {},
                                        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// The box that Message_Box shows, ready to be shown (also used to picture it).
QMessageBox *Create_Message_Box(const QString &text, TMessage_Kind kind, QMessageBox::StandardButtons buttons,
                                QWidget *parent, const QList<TButton_Caption> &captions = {},
                                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// One box as the answering mode saw it.
struct TMessage_Record
{
    QString Text;
    TMessage_Kind Kind;
    QMessageBox::StandardButtons Buttons;
    QMessageBox::StandardButton Answer;
    QMessageBox::StandardButton Default; // the button Enter would have pressed
};

// Answering mode, for tests. While it is on no box is ever shown: each box is recorded and answered with
// the one-shot answer when one is set (which is then used up), else with its default: OK for a box with an
// OK button, No for a question.
void Set_Message_Answering(bool on);
void Set_Next_Message_Answer(QMessageBox::StandardButton answer);
// The boxes recorded since the last call, oldest first; the record is emptied.
QList<TMessage_Record> Take_Shown_Messages();

// The top-level error report: the error's text in an error box with one OK button.
void Report_Error(const QString &text);

// Runs an event handler of the program's own. An error it does not handle itself is reported here, at the
// edge of the program's code, so that it never unwinds through the toolkit's event delivery (the application
// object's notify() is the net behind this for everything else). The rest of the handler is abandoned; the
// program goes on.
template <class THandler> void Run_Handler(THandler &&handler)
{
    try {
        handler();
    } catch (const EQuillon_Error &error) {
        Report_Error(error.Text());
    } catch (const std::exception &error) {
        Report_Error(QString::fromLocal8Bit(error.what()));
    }
}
