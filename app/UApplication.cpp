#include "UApplication.h"

#include "UAbout.h"
#include "UBoot.h"
#include "UComon.h"
#include "UConsole.h"
#include "UDavaroroFirmWare.h"
#include "UHistory.h"
#include "ULook.h"
#include "UMessage.h"
#include "UNew_Project.h"
#include "UOpenConf.h"
#include "UParGen.h"
#include "UScreen_Place.h"
#include "USoftOptions.h"
#include "UWorkspace.h"

#include <QCommandLineParser>

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>
#include <QTextStream>
#include <QTimer>
#include <QToolTip>

#include <cstdio>
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
    // The desktop entry's ID: the desktop matches the window to its menu entry and icon.
    setDesktopFileName(Application_Id);
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

void Create_Dialogs(DIRevevoriVezaDiva &main)
{
    if (main.FBoot)
        return;
    main.FAbout = new TFAbout(&main);
    main.FNew_Project = new TFNew_Project(&main);
    main.FOpenConf = new TFOpenConf(&main);
    main.FSoftOptions = new TFSoftOptions(
        &main, {[&main] { main.Change_Language(); }, main.HTTP1, [&main] { main.Set_Timer_Update(); }});
    main.FParGen = new TFParGen(&main);
    main.FBoot = new TFBoot(&main);
    main.FHistory = new TFHistory(&main);
    main.FBoot->FHistory = main.FHistory;
}

std::unique_ptr<DIRevevoriVezaDiva> Create_Program_Windows(const QString &programDir)
{
    auto main = std::make_unique<DIRevevoriVezaDiva>(programDir);
    Create_Dialogs(*main);
    return main;
}

namespace {

// Watches every event of the program until the dialogs exist.
class TDeferred_Dialogs : public QObject
{
public:
    explicit TDeferred_Dialogs(DIRevevoriVezaDiva &main) : QObject(&main), Main(main)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

    void Create()
    {
        QCoreApplication::instance()->removeEventFilter(this);
        Create_Dialogs(Main);
        deleteLater();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched == &Main && !Scheduled) {
            Scheduled = true;
            // Queued twice: what the paint left pending is handled first.
            QMetaObject::invokeMethod(
                this, [this] { QTimer::singleShot(0, this, [this] { Create(); }); }, Qt::QueuedConnection);
        } else if (event->type() == QEvent::Close || Is_User_Input(event->type())) {
            Create();
        }
        return false;
    }

private:
    DIRevevoriVezaDiva &Main;
    bool Scheduled = false;
};

} // namespace

void Create_Dialogs_After_First_Paint(DIRevevoriVezaDiva &main)
{
    if (!main.FBoot)
        new TDeferred_Dialogs(main);
}

namespace {

const char *const Program_Help_Text =
    R"(Quillon %1, the configurator of the SW40926 Modbus Slave / Modbus Slave converter.

Usage: quillon [--workspace DIR] [--look light|dark|system]

The workspace holds MASTER/ (firmware files), PROJECTS/ (one directory per configuration), LANGUAGE/
(language files), the settings file Quillon.xml and Ethernet_Update.xml. The first that applies:
  --workspace DIR       the directory DIR (created when missing);
  QUILLON_WORKSPACE     the directory this environment variable names;
  the program's own directory, when you may write it and it is not an installed copy
                        (a copy unpacked somewhere, the build tree);
  the per-user data directory: ~/.local/share/Quillon ($XDG_DATA_HOME/Quillon when set),
                        %LOCALAPPDATA%\Quillon on Windows.
The updaters Ser_40926_Update and Ethernet_Update are looked for in the workspace, then beside the
program. The about box names the workspace in use.

Options:
  --workspace DIR       Keep the workspace in DIR.
  --look LOOK           Show the windows light, dark or as the desktop is (LOOK: light, dark or system)
                        for this run only; the look chosen in the options is kept for the next.
  -h, --help            Print this help.
  --version             Print the program's version.

Qt's own options (-platform, -style, ...) are accepted too.
)";

// What the program says on the command line, in the console it was started from where it has one.
void Print_To(std::FILE *stream, const QString &text)
{
    Attach_Parent_Console();
    TStd_Stream device(stream);
    QTextStream(&device) << text;
}

// --help and --version, answered before the window system is needed.
bool Answers_Without_Window(int argc, char **argv, int &code)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--") // what follows is no option
            break;
        if (argument == "-h" || argument == "--help") {
            Print_To(stdout, QString::fromLatin1(Program_Help_Text).arg(Program_Version));
            code = 0;
            return true;
        }
        if (argument == "--version") {
            Print_To(stdout, QStringLiteral("quillon %1\n").arg(Program_Version));
            code = 0;
            return true;
        }
    }
    return false;
}

} // namespace

int Run_Program(int &argc, char **argv, const std::function<void(DIRevevoriVezaDiva &)> &shown)
{
    int code = 0;
    if (Answers_Without_Window(argc, argv, code))
        return code;
    TQuillon_Application app(argc, argv);
    // What is left once Qt took its own options.
    QCommandLineParser parser;
    const QCommandLineOption workspace(Workspace_Option, QStringLiteral("Keep the workspace in DIR."),
                                       QStringLiteral("DIR"));
    parser.addOption(workspace);
    const QCommandLineOption look(QStringLiteral("look"), QStringLiteral("Show the windows in LOOK for this run."),
                                  QStringLiteral("LOOK"));
    parser.addOption(look);
    const bool parsed = parser.parse(QCoreApplication::arguments());
    if (!parsed || !parser.positionalArguments().isEmpty() ||
        (parser.isSet(workspace) && parser.value(workspace).isEmpty()) ||
        (parser.isSet(look) && !Look_Choice_Names.contains(parser.value(look)))) {
        QString error = parser.errorText();
        if (parsed && parser.isSet(look) && !Look_Choice_Names.contains(parser.value(look)))
            error = QStringLiteral("--look takes light, dark or system, not \"%1\"").arg(parser.value(look));
        else if (error.isEmpty())
            error = QStringLiteral("quillon takes no other argument than --workspace DIR and --look LOOK");
        Print_To(stderr, QStringLiteral("quillon: %1 (see quillon --help)\n").arg(error));
        return 2;
    }
    Set_Look_For_This_Run(parser.value(look));
    const TWorkspace_Choice choice = Locate_Workspace(parser.value(workspace), QCoreApplication::applicationDirPath());
    const auto main = std::make_unique<DIRevevoriVezaDiva>(choice.Dir);
    Create_Dialogs_After_First_Paint(*main);
    Place_On_Screen(main.get());
    main->show();
    // Problems of the start-up are told once the main window is on the screen.
    QTimer::singleShot(0, main.get(), [window = main.get()] { window->Report_Start_Up_Problems(); });
    if (shown)
        shown(*main);
    return app.exec();
}
