#include "UMessage.h"

#include "ULanguage.h"
#include "ULook.h"

#include <QAbstractButton>
#include <QApplication>
#include <QWidget>

#include <optional>
#include <utility>

namespace {

// The title of every box. Not the application's display name: Qt would append that to every window's title.
const QString Box_Title = QStringLiteral("Quillon");

bool Answering = false;
std::optional<QMessageBox::StandardButton> Next_Answer;
QList<TMessage_Record> Shown;

QMessageBox::Icon Icon_Of(TMessage_Kind kind)
{
    switch (kind) {
    case TMessage_Kind::Error:
        return QMessageBox::Critical;
    case TMessage_Kind::Warning:
        return QMessageBox::Warning;
    case TMessage_Kind::Confirmation:
        return QMessageBox::Question;
    case TMessage_Kind::Information:
        break;
    }
    return QMessageBox::Information;
}

QMessageBox::StandardButton Default_Answer(QMessageBox::StandardButtons buttons)
{
    if (buttons.testFlag(QMessageBox::Ok))
        return QMessageBox::Ok;
    if (buttons.testFlag(QMessageBox::No))
        return QMessageBox::No;
    if (buttons.testFlag(QMessageBox::Cancel))
        return QMessageBox::Cancel;
    return QMessageBox::NoButton;
}

QMessageBox::StandardButton Default_Button(QMessageBox::StandardButtons buttons, QMessageBox::StandardButton wanted)
{
    if (wanted != QMessageBox::NoButton && buttons.testFlag(wanted))
        return wanted;
    if (buttons.testFlag(QMessageBox::Ok))
        return QMessageBox::Ok;
    if (buttons.testFlag(QMessageBox::Yes))
        return QMessageBox::Yes;
    return QMessageBox::NoButton;
}

} // namespace

QMessageBox *Create_Message_Box(const QString &text, TMessage_Kind kind, QMessageBox::StandardButtons buttons,
                                QWidget *parent, const QList<TButton_Caption> &captions,
                                QMessageBox::StandardButton defaultButton)
{
    auto *box = new QMessageBox(Icon_Of(kind), Box_Title, text, buttons, parent);
    box->setTextFormat(Qt::PlainText);
    Apply_Window_Look(box);
    if (const QMessageBox::StandardButton button = Default_Button(buttons, defaultButton);
        button != QMessageBox::NoButton)
        box->setDefaultButton(button);
    // The buttons speak the language of the windows, not the toolkit's.
    const std::pair<QMessageBox::StandardButton, int> standard[] = {
        {QMessageBox::Yes, 1168}, {QMessageBox::No, 1169}, {QMessageBox::Ok, 1170}, {QMessageBox::Cancel, 1171}};
    for (const auto &[button, entry] : standard) {
        if (QAbstractButton *shown = box->button(button))
            shown->setText(Lang(entry));
    }
    for (const TButton_Caption &caption : captions) {
        if (QAbstractButton *button = box->button(caption.Button))
            button->setText(caption.Text);
    }
    return box;
}

QMessageBox::StandardButton Message_Box(const QString &text, TMessage_Kind kind, QMessageBox::StandardButtons buttons,
                                        const QList<TButton_Caption> &captions,
                                        QMessageBox::StandardButton defaultButton)
{
    if (Answering) {
        const QMessageBox::StandardButton answer = Next_Answer.value_or(Default_Answer(buttons));
        Next_Answer.reset();
        Shown.append({text, kind, buttons, answer, Default_Button(buttons, defaultButton)});
        return answer;
    }
    QWidget *parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    QMessageBox *box = Create_Message_Box(text, kind, buttons, parent, captions, defaultButton);
    const auto answer = static_cast<QMessageBox::StandardButton>(box->exec());
    delete box;
    return answer;
}

void Set_Message_Answering(bool on)
{
    Answering = on;
    Next_Answer.reset();
    Shown.clear();
}

void Set_Next_Message_Answer(QMessageBox::StandardButton answer)
{
    Next_Answer = answer;
}

QList<TMessage_Record> Take_Shown_Messages()
{
    return std::exchange(Shown, {});
}

void Report_Error(const QString &text)
{
    Message_Box(text, TMessage_Kind::Error);
}
