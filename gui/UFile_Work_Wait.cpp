#include "UFile_Work_Wait.h"

#include "UFile_Work.h"
#include "ULook.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <exception>

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

} // namespace

void Run_File_Work(QWidget *window, const std::function<void()> &work)
{
    const TInput_Block block;
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
    std::exception_ptr failure;
    try {
        Run_On_File_Thread(work);
    } catch (...) {
        failure = std::current_exception();
    }
    grey.stop();
    for (const QPointer<QAbstractButton> &button : std::as_const(greyed)) {
        if (button)
            button->setEnabled(true);
    }
    if (failure)
        std::rethrow_exception(failure);
}
