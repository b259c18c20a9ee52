#pragma once

// What the window tests share: a program directory of their own per test, the program's windows created in
// it in their order, message boxes answered without a window, web pages recorded instead of opened, and a
// driver for modal dialogs.

#include "UApplication.h"
#include "UComon.h"
#include "UDavaroroFirmWare.h"
#include "ULanguage_Shipped.h"
#include "ULook.h"
#include "UMessage.h"
#include "UWeb_Page.h"

#include <QDialog>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

// A temporary program directory and its files, by their paths inside it.
class TProgram_Dir
{
public:
    QString Path(const QString &relative) const { return QDir(Dir.path()).filePath(relative); }
    bool Make_Dir(const QString &relative) const { return QDir(Dir.path()).mkpath(relative); }
    bool Write(const QString &relative, const QByteArray &bytes) const
    {
        QFile file(Path(relative));
        QDir().mkpath(QFileInfo(file).absolutePath());
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }
    QByteArray Read(const QString &relative) const
    {
        QFile file(Path(relative));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    bool Exists(const QString &relative) const { return QFileInfo::exists(Path(relative)); }

    QTemporaryDir Dir;
};

// One program directory with its windows; everything shared is put back when it ends.
class TProgram_Fixture : public TProgram_Dir
{
public:
    TProgram_Fixture()
    {
        Reset_Shared_State();
        Set_Look_For_This_Run(QString());
        Set_Message_Answering(true);
        Set_Web_Page_Opener([this](const QUrl &url) {
            Opened_Pages.append(url);
            return true;
        });
    }
    ~TProgram_Fixture()
    {
        Main.reset();
        Set_Web_Page_Opener({});
        Set_Message_Answering(false);
        Set_Look_For_This_Run(QString());
        Reset_Shared_State();
    }

    // The program's windows in their order, the main window shown. The start copies the shipped languages into
    // a workspace without any; unless a test asks for them, they are taken away again, so that LANGUAGE holds
    // only what the test puts there.
    DIRevevoriVezaDiva *Start(bool shippedLanguages = false)
    {
        Main = Create_Program_Windows(Dir.path());
        if (!shippedLanguages) {
            for (const QString &name : Shipped_Language_Files()) {
                QFile copy(Path(QStringLiteral("LANGUAGE/") + name));
                if (copy.open(QIODevice::ReadOnly) && copy.readAll() == Shipped_Language_File(name))
                    copy.remove();
            }
        }
        Main->show();
        if (!QTest::qWaitForWindowExposed(Main.get()))
            qWarning("main window not exposed");
        return Main.get();
    }

    // As the program starts: the main window alone, shown; its dialogs come after its first paint.
    DIRevevoriVezaDiva *Start_As_The_Program()
    {
        Main = std::make_unique<DIRevevoriVezaDiva>(Dir.path());
        Create_Dialogs_After_First_Paint(*Main);
        Main->show();
        return Main.get();
    }

    std::unique_ptr<DIRevevoriVezaDiva> Main;
    QList<QUrl> Opened_Pages;
};

// Runs drive once dialog is on the screen (while its exec() runs), then closes it with Cancel if drive left
// it open, so that a failing check never leaves a test waiting.
inline void When_Shown(QDialog *dialog, std::function<void()> drive)
{
    auto *timer = new QTimer;
    timer->setInterval(5);
    auto tries = std::make_shared<int>(0);
    // A dialog that never shows (or is gone with its test) ends the wait.
    QObject::connect(timer, &QTimer::timeout, [timer, dialog = QPointer<QDialog>(dialog), drive, tries] {
        if (dialog && !dialog->isVisible() && ++*tries < 1000)
            return;
        timer->stop();
        timer->deleteLater();
        if (!dialog || !dialog->isVisible())
            return;
        drive();
        if (dialog->isVisible())
            dialog->reject();
    });
    timer->start();
}

// A settings file as "element path=text" lines in document order, leaves only; "<not XML>" when it does not
// parse. The first line is "root:<name of the first node>".
inline QStringList Settings_Lines(const QByteArray &bytes)
{
    QDomDocument doc;
    if (!doc.setContent(bytes))
        return {QStringLiteral("<not XML>")};
    QStringList lines{QStringLiteral("root:") + doc.firstChild().nodeName()};
    std::function<void(const QDomElement &, const QString &)> walk = [&](const QDomElement &e, const QString &path) {
        const QString here = path.isEmpty() ? e.tagName() : path + u'/' + e.tagName();
        if (e.firstChildElement().isNull()) {
            lines.append(here + u'=' + e.text());
            return;
        }
        for (QDomElement child = e.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
            walk(child, here);
    };
    walk(doc.documentElement(), QString());
    return lines;
}

// The settings file a first start writes, with the given project name and language.
inline QStringList Default_Settings_Lines(const QString &projectName = QString(),
                                          const QString &language = QStringLiteral("English"))
{
    return {QStringLiteral("root:Conf_Settings"),
            QStringLiteral("Conf_Settings/lastproj/projectname=") + projectName,
            QStringLiteral("Conf_Settings/lastipadd/ipaddress=192.168.2.205"),
            QStringLiteral("Conf_Settings/lastlang/language=") + language,
            QStringLiteral("Conf_Settings/lastinternet/enable_internet=0"),
            QStringLiteral("Conf_Settings/lastinternet/enable_update=0"),
            QStringLiteral("Conf_Settings/lastinternet/enable_jump_field_tables=0"),
            QStringLiteral("Conf_Settings/lastinternet/Double_Click_Auto_Size=0")};
}

// Message boxes as "error: <text>" for an error box with its one OK button ("warning: ", "question: ",
// "information: " for the others, "error+buttons: " when the buttons differ).
inline QStringList Shown_Texts(const QList<TMessage_Record> &records)
{
    QStringList texts;
    for (const TMessage_Record &record : records) {
        QString kind;
        switch (record.Kind) {
        case TMessage_Kind::Error:
            kind = QStringLiteral("error");
            break;
        case TMessage_Kind::Warning:
            kind = QStringLiteral("warning");
            break;
        case TMessage_Kind::Confirmation:
            kind = QStringLiteral("question");
            break;
        case TMessage_Kind::Information:
            kind = QStringLiteral("information");
            break;
        }
        if (record.Kind != TMessage_Kind::Confirmation && record.Buttons != QMessageBox::Ok)
            kind += QStringLiteral("+buttons");
        texts.append(kind + QStringLiteral(": ") + record.Text);
    }
    return texts;
}

// The message boxes shown since the last call.
inline QStringList Shown_Texts()
{
    return Shown_Texts(Take_Shown_Messages());
}

// The window tests run inside the program's own application object, so that its top-level error report
// is the one under test.
#define QUILLON_WINDOW_TEST_MAIN(TestObject)                                                                           \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        TQuillon_Application app(argc, argv);                                                                          \
        TestObject test;                                                                                               \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
