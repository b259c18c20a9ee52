// The top-level error report and the message-box seam every window goes through.

#include "UWindow_Test_Support.h"

#include <QDir>

#include <QAbstractButton>
#include <QEvent>

#include <stdexcept>

namespace {

// An object whose handler of the user event fails.
class TFailing_Object : public QObject
{
public:
    int Handled = 0;
    bool Use_Standard_Error = false;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        ++Handled;
        if (Handled == 1) {
            if (Use_Standard_Error)
                throw std::runtime_error("standard failure");
            throw EQuillon_Error(QStringLiteral("Quillon.xml: cannot be written"));
        }
        return true;
    }
};

} // namespace

class Test_UApplication : public QObject
{
    Q_OBJECT

private slots:
    void init() { Set_Message_Answering(true); }
    void cleanup() { Set_Message_Answering(false); }

    void The_dialogs_report_errors_without_reaching_up_to_the_program_entry()
    {
        // The program entry creates the dialogs; they report through the message module below both.
        const QDir dialogs(QDir::cleanPath(QStringLiteral(QUILLON_TEST_DATA "/../../dialogs")));
        const QFileInfoList sources = dialogs.entryInfoList({QStringLiteral("*.cpp"), QStringLiteral("*.h")});
        QVERIFY(sources.size() >= 14);
        for (const QFileInfo &source : sources) {
            QFile file(source.filePath());
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(!file.readAll().contains("#include \"UApplication.h\""), qPrintable(source.fileName()));
        }
    }

    void An_error_no_handler_dealt_with_is_shown_and_the_program_goes_on_data()
    {
        QTest::addColumn<bool>("standard");
        QTest::addColumn<QString>("shown");
        QTest::newRow("the program's own error") << false << QStringLiteral("error: Quillon.xml: cannot be written");
        QTest::newRow("a standard exception") << true << QStringLiteral("error: standard failure");
    }

    void An_error_no_handler_dealt_with_is_shown_and_the_program_goes_on()
    {
        QFETCH(bool, standard);
        QFETCH(QString, shown);
        TFailing_Object object;
        object.Use_Standard_Error = standard;
        QEvent first(QEvent::User);
        QVERIFY(!QCoreApplication::sendEvent(&object, &first));
        QCOMPARE(Shown_Texts(), QStringList{shown});
        // The next event is delivered as usual, also through the message loop.
        QCoreApplication::postEvent(&object, new QEvent(QEvent::User));
        QCoreApplication::processEvents();
        QCOMPARE(object.Handled, 2);
        QCOMPARE(Shown_Texts(), QStringList());
    }

    void A_one_shot_answer_serves_one_box_only()
    {
        Set_Next_Message_Answer(QMessageBox::Yes);
        QCOMPARE(
            Message_Box(QStringLiteral("Overwrite?"), TMessage_Kind::Confirmation, QMessageBox::Yes | QMessageBox::No),
            QMessageBox::Yes);
        QCOMPARE(
            Message_Box(QStringLiteral("Overwrite?"), TMessage_Kind::Confirmation, QMessageBox::Yes | QMessageBox::No),
            QMessageBox::No);
        QCOMPARE(Message_Box(QStringLiteral("Done"), TMessage_Kind::Information), QMessageBox::Ok);
        QCOMPARE(Shown_Texts(),
                 (QStringList{QStringLiteral("question: Overwrite?"), QStringLiteral("question: Overwrite?"),
                              QStringLiteral("information: Done")}));
    }

    void The_box_shown_carries_the_icon_buttons_and_text_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("buttons");
        QTest::newRow("error with OK") << int(TMessage_Kind::Error) << int(QMessageBox::Critical)
                                       << int(QMessageBox::Ok);
        QTest::newRow("warning with OK") << int(TMessage_Kind::Warning) << int(QMessageBox::Warning)
                                         << int(QMessageBox::Ok);
        QTest::newRow("confirmation with Yes and No") << int(TMessage_Kind::Confirmation) << int(QMessageBox::Question)
                                                      << int(QMessageBox::Yes | QMessageBox::No);
    }

    void The_box_shown_carries_the_icon_buttons_and_text()
    {
        QFETCH(int, kind);
        QFETCH(int, icon);
        QFETCH(int, buttons);
        // A text with markup characters is shown as it is.
        const QString text = QStringLiteral("Error! <b>Name</b> & more");
        std::unique_ptr<QMessageBox> box(
            Create_Message_Box(text, TMessage_Kind(kind), QMessageBox::StandardButtons(buttons), nullptr));
        QCOMPARE(int(box->icon()), icon);
        QCOMPARE(int(box->standardButtons()), buttons);
        QCOMPARE(box->text(), text);
        QCOMPARE(box->textFormat(), Qt::PlainText);
    }
};

QUILLON_WINDOW_TEST_MAIN(Test_UApplication)
#include "test_UApplication.moc"
