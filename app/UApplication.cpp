#include "UApplication.h"

#include "UAbout.h"
#include "UBoot.h"
#include "UComon.h"
#include "UDavaroroFirmWare.h"
#include "ULook.h"
#include "UMessage.h"
#include "UNew_Project.h"
#include "UOpenConf.h"
#include "UParGen.h"
#include "USoftOptions.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>

#include <exception>

namespace {

// The rules of TQuillon_Application that apply to every window, as one application-wide event filter.
class TWindow_Rules : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Polish:
            Polish_Button(qobject_cast<QPushButton *>(watched));
            break;
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            if (auto *button = qobject_cast<QPushButton *>(watched))
                return Enter_As_Space(button, static_cast<QKeyEvent *>(event));
            break;
        case QEvent::ToolTip:
            if (auto *widget = qobject_cast<QWidget *>(watched))
                return Show_Tooltip(widget, static_cast<QHelpEvent *>(event));
            break;
        default:
            break;
        }
        return false;
    }

private:
    static void Polish_Button(QPushButton *button)
    {
        // Enter never presses a button the focus is not on; a message box keeps its default answer.
        if (!button || qobject_cast<QMessageBox *>(button->window()))
            return;
        button->setDefault(false);
        button->setAutoDefault(false);
    }

    // Enter on a focused button does what Space does: the button goes down at the press and is clicked at
    // the release, once, however long the key is held. A default button is left to Qt, which clicks it
    // itself.
    static bool Enter_As_Space(QPushButton *button, QKeyEvent *key)
    {
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            return false;
        if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier || button->autoDefault() || button->isDefault())
            return false;
        QKeyEvent space(key->type(), Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), key->isAutoRepeat(),
                        key->count());
        QCoreApplication::sendEvent(button, &space);
        key->setAccepted(space.isAccepted());
        return true;
    }

    static bool Show_Tooltip(QWidget *widget, QHelpEvent *help)
    {
        const QString tip = Shown_Tooltip(widget);
        // Qt shows an ordinary tooltip itself (and a widget's own tooltips of its parts, such as a tab's).
        if (tip.isEmpty() || (tip == widget->toolTip() && !Qt::mightBeRichText(tip)))
            return false;
        // Text that looks like markup is shown as written.
        QToolTip::showText(help->globalPos(), Qt::mightBeRichText(tip) ? Qt::convertFromPlainText(tip) : tip, widget,
                           QRect(), widget->toolTipDuration());
        return true;
    }
};

} // namespace

TQuillon_Application::TQuillon_Application(int &argc, char **argv) : QApplication(argc, argv)
{
    // No display name: Qt would append it to the title of every window (" — Quillon" on X11).
    setApplicationName(QStringLiteral("quillon"));
    setApplicationVersion(Program_Version);
    setStyle(new TQuillon_Style);
    installEventFilter(new TWindow_Rules(this));
}

bool TQuillon_Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const EQuillon_Error &error) {
        Report_Error(error.Text());
    } catch (const std::exception &error) {
        Report_Error(QString::fromLocal8Bit(error.what()));
    }
    return false;
}

std::unique_ptr<DIRevevoriVezaDiva> Create_Program_Windows(const QString &programDir)
{
    auto main = std::make_unique<DIRevevoriVezaDiva>(programDir);
    main->FAbout = new TFAbout(main.get());
    main->FNew_Project = new TFNew_Project(main.get());
    main->FOpenConf = new TFOpenConf(main.get());
    main->FSoftOptions = new TFSoftOptions(main.get());
    main->FParGen = new TFParGen(main.get());
    main->FBoot = new TFBoot(main.get());
    return main;
}

std::optional<QString> Information_Option_Text(const QStringList &arguments)
{
    const QStringList options = arguments.mid(1);
    if (options.contains(QStringLiteral("--help")) || options.contains(QStringLiteral("-h")))
        return QStringLiteral("Usage: quillon [Qt options]\n"
                              "Quillon %1, the configurator of the %2.\n\n"
                              "Options:\n"
                              "  -h, --help  Show this help and exit.\n"
                              "  --version   Print the program's version and exit.\n\n"
                              "The program keeps its settings, configurations, language and firmware files in its "
                              "workspace. quillon-cli does the same work from scripts.\n")
            .arg(Program_Version, SW_Desc);
    if (options.contains(QStringLiteral("--version")))
        return QStringLiteral("Quillon %1\n").arg(Program_Version);
    return std::nullopt;
}

int Run_Program(int &argc, char **argv, const std::function<void(DIRevevoriVezaDiva &)> &shown)
{
    TQuillon_Application app(argc, argv);
    const std::unique_ptr<DIRevevoriVezaDiva> main = Create_Program_Windows(QCoreApplication::applicationDirPath());
    Center_On_Screen(main.get());
    main->show();
    // Problems of the start-up are told once the main window is on the screen.
    QTimer::singleShot(0, main.get(), [window = main.get()] { window->Report_Start_Up_Problems(); });
    if (shown)
        shown(*main);
    return app.exec();
}
