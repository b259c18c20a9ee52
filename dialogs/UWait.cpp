#include "UWait.h"

#include "UComon.h"
#include "ULanguage.h"
#include "ULook.h"
#include "UMessage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QSemaphore>
#include <QThreadPool>

#include <exception>

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

namespace {

// Drops the user's input to every window of the program while it is installed.
class TInput_Block : public QObject
{
public:
    TInput_Block() { QCoreApplication::instance()->installEventFilter(this); }
    ~TInput_Block() override { QCoreApplication::instance()->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        return Is_User_Input(event->type());
    }
};

constexpr int Grey_After_Ms = 100;

// The one thread every piece of file work runs on, made at the first use and ended with the application
// object. Under Wine, threads of the Windows build made and ended for each piece of work left the thread
// library's key lock (taken while an ending thread's thread-local data is freed) with a reader that never
// left, and the program's exit then waited on that lock for ever.
QThreadPool &File_Work_Pool()
{
    static QPointer<QThreadPool> pool;
    if (!pool) {
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setMaxThreadCount(1);
        pool->setExpiryTimeout(-1);
    }
    return *pool;
}

} // namespace

void Run_File_Work(QWidget *window, const std::function<void()> &work)
{
    std::exception_ptr failure;
    QSemaphore ended;
    const TInput_Block block;
    QEventLoop loop;
    // A quick write does not make the buttons flicker; a slow disk shows them disabled until the work ends.
    // Only the buttons: greying every control of a large dialog costs a repaint of all of it.
    QList<QPointer<QAbstractButton>> greyed;
    QTimer grey;
    grey.setSingleShot(true);
    QObject::connect(&grey, &QTimer::timeout, [window = QPointer<QWidget>(window), &greyed] {
        if (!window)
            return;
        for (QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
            if (button->isEnabled()) {
                button->setEnabled(false);
                greyed.append(button);
            }
        }
    });
    grey.start(Grey_After_Ms);
    // The quit is queued to the loop: work that ends before the loop runs still ends it.
    File_Work_Pool().start([&work, &failure, &loop, &ended] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        ended.release();
    });
    loop.exec();
    ended.acquire();
    grey.stop();
    for (const QPointer<QAbstractButton> &button : std::as_const(greyed)) {
        if (button)
            button->setEnabled(true);
    }
    if (failure)
        std::rethrow_exception(failure);
}
