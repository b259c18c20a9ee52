#pragma once

// The wait for an external updater: a modal window that names the updater, counts the seconds against the
// limit and shows the updater's last output while the program's other windows keep painting and take no input;
// its Cancel (and Escape, and its close button) stops the updater after a confirmation. Start_Program runs an
// updater with it.

#include "UUpdater_Run.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <optional>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

class TFWait : public QDialog
{
    Q_OBJECT
public:
    explicit TFWait(QWidget *parent = nullptr);

    // Shows the window for the updater at program and returns when the run has ended (or its limit passed, or
    // the user stopped it). No other window of the program can be reached meanwhile.
    void Wait_For(TUpdater_Run &run, const QString &program, int limitMs = Updater_Wait_Limit_Ms);
    // Shows the window as it looks after seconds with output, without a run (for pictures of it).
    void Show_Still(const QString &program, int seconds, int limitMs = Updater_Wait_Limit_Ms,
                    const QByteArray &output = QByteArray());

    QLabel *L_Program;
    QLabel *L_Seconds;
    QProgressBar *PB_Busy;
    QPlainTextEdit *M_Output;
    QPushButton *Btn_Cancel;

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Show_Progress();
    void Show_Output(const QByteArray &output);
    // Asks whether to stop the updater, and stops it when the user says so.
    void Ask_Cancel();

    QElapsedTimer Clock;
    QTimer Tick;
    TUpdater_Run *Run = nullptr;
    int Limit_Ms = Updater_Wait_Limit_Ms;
    qint64 Output_Size = -1;
    bool Finishing = false;
};

// Starts the updater NomeSW with its arguments (one element, the argument text, in the Windows form) in
// Program_Dir as run and waits for its end for at most limitMs under the indicator wait. An updater that cannot
// be started is reported in an error box with its path and the system's reason. Returns how the run ended,
// nothing when it never started (run.End is then Not_Started).
std::optional<TRun_End> Start_Program(TFWait *wait, TUpdater_Run &run, const QString &NomeSW,
                                      const QStringList &Parameter, TPlatform_Form form = Native_Form(),
                                      int limitMs = Updater_Wait_Limit_Ms);
