#include "UWait.h"

#include "UComon.h"
#include "ULanguage.h"
#include "ULook.h"
#include "UMessage.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>

static constexpr int Client_Width = 360;
static constexpr int Client_Height = 96;

TFWait::TFWait(QWidget *parent) : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("FWait"));
    Apply_Window_Look(this);
    setWindowModality(Qt::ApplicationModal);
    L_Program = Create_Label(this, QStringLiteral("L_Program"), 16, 14, true);
    L_Seconds = Create_Label(this, QStringLiteral("L_Seconds"), 16, 36);
    PB_Busy = new QProgressBar(this);
    PB_Busy->setObjectName(QStringLiteral("PB_Busy"));
    PB_Busy->setGeometry(16, 62, Client_Width - 32, 14);
    PB_Busy->setTextVisible(false);
    PB_Busy->setRange(0, 0);
    setFixedSize(Client_Width, Client_Height);
    Tick.setInterval(250);
    connect(&Tick, &QTimer::timeout, this, &TFWait::Show_Seconds);
}

void TFWait::Show_Seconds()
{
    Set_Caption(L_Seconds, Lang(1112).arg(QString::number(Clock.elapsed() / 1000)));
}

void TFWait::Show_Still(const QString &program, int seconds)
{
    // Captioned at every showing: the language may have changed since the last.
    setWindowTitle(Lang(1110));
    Set_Caption(L_Program, Lang(1111).arg(QFileInfo(program).fileName()));
    Set_Caption(L_Seconds, Lang(1112).arg(QString::number(seconds)));
}

void TFWait::Wait_For(TUpdater_Run &run, const QString &program)
{
    if (!run.Running())
        return;
    Finishing = false;
    Clock.start();
    Show_Still(program, 0);
    const QMetaObject::Connection ended = connect(&run, &TUpdater_Run::Ended, this, [this] {
        Finishing = true;
        accept();
    });
    Tick.start();
    Center_On_Screen(this);
    exec();
    Tick.stop();
    disconnect(ended);
    Finishing = false;
}

void TFWait::reject()
{
    // Escape does not end the wait: only the updater's end or the limit does.
    if (Finishing)
        QDialog::reject();
}

void TFWait::closeEvent(QCloseEvent *event)
{
    if (Finishing)
        QDialog::closeEvent(event);
    else
        event->ignore();
}

std::optional<TRun_End> Start_Program(TFWait *wait, TUpdater_Run &run, const QString &NomeSW,
                                      const QStringList &Parameter, TPlatform_Form form, int limitMs)
{
    if (!run.Start(NomeSW, Parameter, form, Program_Dir, limitMs)) {
        Message_Box(Start_Failure_Text(run, Lang), TMessage_Kind::Error);
        return std::nullopt;
    }
    wait->Wait_For(run, NomeSW);
    if (run.End == TRun_End::Not_Started) {
        Message_Box(Start_Failure_Text(run, Lang), TMessage_Kind::Error);
        return std::nullopt;
    }
    return run.End;
}
