#include "UWait.h"

#include "UComon.h"
#include "ULanguage.h"
#include "ULook.h"
#include "UMessage.h"
#include "UScreen_Place.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

static constexpr int Client_Width = 520;
static constexpr int Output_Top = 84;
static constexpr int Output_Height = 150;
static constexpr int Client_Height = Output_Top + Output_Height + 48;
// The output shown: the last lines of the last few kilobytes, read again only when the file has grown.
static constexpr qint64 Output_Tail_Bytes = 4096;
static constexpr int Output_Lines = 8;

TFWait::TFWait(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
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
    M_Output = new QPlainTextEdit(this);
    M_Output->setObjectName(QStringLiteral("M_Output"));
    M_Output->setGeometry(16, Output_Top, Client_Width - 32, Output_Height);
    M_Output->setReadOnly(true);
    M_Output->setLineWrapMode(QPlainTextEdit::NoWrap);
    M_Output->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    M_Output->setFocusPolicy(Qt::NoFocus);
    Btn_Cancel = Create_Picture_Button(this, QStringLiteral("Btn_Cancel"), QStringLiteral("boot_cancel"),
                                       Client_Width - 16 - 110, Output_Top + Output_Height + 10, 110, 28, 18);
    setFixedSize(Client_Width, Client_Height);
    Tick.setInterval(250);
    connect(&Tick, &QTimer::timeout, this, &TFWait::Show_Progress);
    connect(Btn_Cancel, &QPushButton::clicked, this, [this] { Run_Handler([this] { Ask_Cancel(); }); });
}

void TFWait::Show_Progress()
{
    Set_Caption(L_Seconds, Lang(1147).arg(QString::number(Clock.elapsed() / 1000), QString::number(Limit_Ms / 1000)));
    if (!Run || !Run->Output_Captured || Run->Output_File.isEmpty())
        return;
    QFile file(Run->Output_File);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const qint64 size = file.size();
    if (size == Output_Size)
        return;
    Output_Size = size;
    file.seek(std::max<qint64>(0, size - Output_Tail_Bytes));
    Show_Output(file.read(Output_Tail_Bytes));
}

void TFWait::Show_Output(const QByteArray &output)
{
    M_Output->setPlainText(Output_Tail(output, Output_Lines).join(u'\n'));
}

void TFWait::Show_Still(const QString &program, int seconds, int limitMs, const QByteArray &output)
{
    // Captioned at every showing: the language may have changed since the last.
    setWindowTitle(Lang(1110));
    Set_Caption(L_Program, Lang(1111).arg(QFileInfo(program).fileName()));
    Set_Caption(L_Seconds, Lang(1147).arg(QString::number(seconds), QString::number(limitMs / 1000)));
    Btn_Cancel->setText(Lang(1019));
    Btn_Cancel->setToolTip(Lang(1146));
    Show_Output(output);
}

void TFWait::Wait_For(TUpdater_Run &run, const QString &program, int limitMs)
{
    if (!run.Running())
        return;
    Finishing = false;
    Run = &run;
    Limit_Ms = limitMs;
    Output_Size = -1;
    Clock.start();
    Show_Still(program, 0, limitMs);
    Btn_Cancel->setEnabled(true);
    const QMetaObject::Connection ended = connect(&run, &TUpdater_Run::Ended, this, [this] {
        Finishing = true;
        accept();
    });
    Tick.start();
    Place_On_Screen(this);
    exec();
    Tick.stop();
    disconnect(ended);
    Run = nullptr;
    Finishing = false;
}

void TFWait::Ask_Cancel()
{
    if (!Run || !Run->Running() || Run->Cancelling())
        return;
    // No by default: an Enter pressed out of habit must not break off a flash.
    if (Message_Box(Lang(1146), TMessage_Kind::Confirmation, QMessageBox::Yes | QMessageBox::No, {}, QMessageBox::No) !=
        QMessageBox::Yes)
        return;
    // The updater may have ended while the question was open.
    if (!Run || !Run->Running())
        return;
    Btn_Cancel->setEnabled(false);
    Run->Cancel();
}

void TFWait::reject()
{
    // Escape asks the same as Cancel: only the updater's end, the limit or a confirmed cancel ends the wait.
    if (Finishing)
        QDialog::reject();
    else
        Run_Handler([this] { Ask_Cancel(); });
}

void TFWait::closeEvent(QCloseEvent *event)
{
    if (Finishing) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    Run_Handler([this] { Ask_Cancel(); });
}

std::optional<TRun_End> Start_Program(TFWait *wait, TUpdater_Run &run, const QString &NomeSW,
                                      const QStringList &Parameter, TPlatform_Form form, int limitMs)
{
    if (!run.Start(NomeSW, Parameter, form, Program_Dir, limitMs)) {
        Message_Box(Start_Failure_Text(run, Lang), TMessage_Kind::Error);
        return std::nullopt;
    }
    wait->Wait_For(run, NomeSW, limitMs);
    if (run.End == TRun_End::Not_Started) {
        Message_Box(Start_Failure_Text(run, Lang), TMessage_Kind::Error);
        return std::nullopt;
    }
    return run.End;
}
