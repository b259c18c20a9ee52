#pragma once

// The wait for an external updater: a modal indicator that names the updater and counts the seconds while
// the program's windows keep painting and take no input, and Start_Program, which runs an updater with it.

#include "UUpdater_Run.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <optional>

class QLabel;
class QProgressBar;

class TFWait : public QDialog
{
    Q_OBJECT
public:
    explicit TFWait(QWidget *parent = nullptr);

    // Shows the indicator for the updater at program and returns when the run has ended (or its limit
    // passed). The user can neither close the indicator nor reach any other window meanwhile.
    void Wait_For(TUpdater_Run &run, const QString &program);
    // Shows the indicator as it looks after seconds, without a run (for pictures of it).
    void Show_Still(const QString &program, int seconds);

    QLabel *L_Program;
    QLabel *L_Seconds;
    QProgressBar *PB_Busy;

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Show_Seconds();

    QElapsedTimer Clock;
    QTimer Tick;
    bool Finishing = false;
};

// Starts the updater NomeSW with its arguments (one element, the argument text, in the Windows form) in
// Program_Dir as run and waits for its end for at most limitMs under the indicator wait. An updater that cannot
// be started is reported in an error box with its path and the system's reason. Returns how the run ended,
// nothing when it never started (run.End is then Not_Started).
std::optional<TRun_End> Start_Program(TFWait *wait, TUpdater_Run &run, const QString &NomeSW,
                                      const QStringList &Parameter, TPlatform_Form form = Native_Form(),
                                      int limitMs = Updater_Wait_Limit_Ms);
