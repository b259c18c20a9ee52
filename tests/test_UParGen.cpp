// The communication settings dialog driven as a person drives it: opened from the main window with a
// configuration open, typed into, picked, ticked, confirmed or cancelled, and ParGen.xml read back.

#include "UWindow_Test_Support.h"

#include "ULanguage.h"
#include "UBoot.h"
#include "UParGen.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

namespace {

const QString ParGen_Path = QStringLiteral("PROJECTS/Line2/ParGen.xml");

// The 25 keys of a new configuration, as the file holds them.
const QStringList New_Configuration_Lines = {
    QStringLiteral("root:Par_Gen"),
    QStringLiteral("Par_Gen/Device_Type_Type=1"),
    QStringLiteral("Par_Gen/Port_0_Baud=7"),
    QStringLiteral("Par_Gen/Port_0_Par=0"),
    QStringLiteral("Par_Gen/Port_0_DevID=1"),
    QStringLiteral("Par_Gen/Port_0_BroadCast=0"),
    QStringLiteral("Par_Gen/Port_1_Port=1"),
    QStringLiteral("Par_Gen/Port_1_Baud=7"),
    QStringLiteral("Par_Gen/Port_1_Par=0"),
    QStringLiteral("Par_Gen/Port_1_DevID=1"),
    QStringLiteral("Par_Gen/Port_1_BroadCast=0"),
    QStringLiteral("Par_Gen/Opt_Off_Reg=0"),
    QStringLiteral("Par_Gen/Opt_Off_Status=0"),
    QStringLiteral("Par_Gen/Ethernet_IP1=192"),
    QStringLiteral("Par_Gen/Ethernet_IP2=168"),
    QStringLiteral("Par_Gen/Ethernet_IP3=0"),
    QStringLiteral("Par_Gen/Ethernet_IP4=10"),
    QStringLiteral("Par_Gen/Ethernet_SM1=255"),
    QStringLiteral("Par_Gen/Ethernet_SM2=255"),
    QStringLiteral("Par_Gen/Ethernet_SM3=255"),
    QStringLiteral("Par_Gen/Ethernet_SM4=0"),
    QStringLiteral("Par_Gen/Ethernet_GAT1=192"),
    QStringLiteral("Par_Gen/Ethernet_GAT2=168"),
    QStringLiteral("Par_Gen/Ethernet_GAT3=0"),
    QStringLiteral("Par_Gen/Ethernet_GAT4=1"),
    QStringLiteral("Par_Gen/Ethernet_EN_GAT=0"),
};

// The lines of a new configuration with some keys changed ("Key=text").
QStringList New_Configuration_With(const QStringList &changes)
{
    QStringList lines = New_Configuration_Lines;
    for (const QString &change : changes) {
        const QString prefix = QStringLiteral("Par_Gen/") + change.section(u'=', 0, 0) + u'=';
        for (QString &line : lines) {
            if (line.startsWith(prefix))
                line = QStringLiteral("Par_Gen/") + change;
        }
    }
    return lines;
}

// The key a text field is saved under.
QString Key_Of(const QString &field)
{
    static const QHash<QString, QString> keys = {
        {QStringLiteral("E_Port0_Device_ID"), QStringLiteral("Port_0_DevID")},
        {QStringLiteral("E_Port1_Device_ID"), QStringLiteral("Port_1_DevID")},
        {QStringLiteral("E_Options_Offset_Registers"), QStringLiteral("Opt_Off_Reg")},
        {QStringLiteral("E_Options_Offset_Status"), QStringLiteral("Opt_Off_Status")},
    };
    return keys.value(field, field.mid(2)); // E_Ethernet_IP1 -> Ethernet_IP1
}

// What a control shows: a list's index, a field's text, a check box "ticked" or "not ticked".
QString Shown_Value(QWidget *control)
{
    if (auto *list = qobject_cast<QComboBox *>(control))
        return QString::number(list->currentIndex());
    if (auto *field = qobject_cast<QLineEdit *>(control))
        return field->text();
    if (auto *check = qobject_cast<QCheckBox *>(control))
        return check->isChecked() ? QStringLiteral("ticked") : QStringLiteral("not ticked");
    return QStringLiteral("<no such control>");
}

// A field's text replaced as a person does it: everything selected, the new text typed (pasted when it holds
// a point, which the octet fields take as a jump to the next field).
void Type_Into(QLineEdit *field, const QString &text)
{
    field->selectAll();
    if (text.isEmpty())
        QTest::keyClick(field, Qt::Key_Delete);
    else if (text.contains(u'.'))
        field->insert(text);
    else
        QTest::keyClicks(field, text);
}

// Keys typed into whichever control has the focus, as the keyboard does.
void Type_At_Focus(QWidget *window, const QString &text)
{
    for (const QChar c : text) {
        QWidget *target = window->focusWidget();
        QVERIFY(target);
        QTest::keyClick(target, c.toLatin1());
    }
}

// One wheel notch at a point of the window, delivered to the control under it.
void Wheel_At(QWidget *window, const QPoint &at, int delta)
{
    QWidget *target = window->childAt(at);
    if (!target)
        target = window;
    const QPoint global = window->mapToGlobal(at);
    QWheelEvent event(target->mapFromGlobal(global), global, QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

// A program directory with the configuration Line2 open, and ParGen.xml when given.
class TSettings_Fixture : public TProgram_Fixture
{
public:
    explicit TSettings_Fixture(const QByteArray &parGen = QByteArray())
    {
        Write(QStringLiteral("Quillon.xml"),
              "<Conf_Settings><lastproj><projectname>Line2</projectname></lastproj></Conf_Settings>");
        Make_Dir(QStringLiteral("PROJECTS/Line2/bin"));
        if (!parGen.isNull())
            Write(ParGen_Path, parGen);
        Start();
        Dialog = Main->FParGen;
    }

    // Step 2 clicked on the main window; drive runs while the dialog is shown. The dialog's result.
    int Open(std::function<void()> drive)
    {
        When_Shown(Dialog, std::move(drive));
        QTest::mouseClick(Main->findChild<QPushButton *>(QStringLiteral("Btn_Prm_Gen")), Qt::LeftButton);
        return Dialog->result();
    }

    QStringList Saved_Lines() const { return Settings_Lines(Read(ParGen_Path)); }

    TFParGen *Dialog = nullptr;
};

QByteArray Par_Gen(const QString &body)
{
    return (QStringLiteral("<Par_Gen>") + body + QStringLiteral("</Par_Gen>")).toUtf8();
}

} // namespace

class Test_UParGen : public QObject
{
    Q_OBJECT

private slots:
    void A_new_configuration_opens_with_its_defaults_and_OK_writes_them()
    {
        TSettings_Fixture program;
        TFParGen *dialog = program.Dialog;
        bool ethernetShown = false;
        QStringList shown;
        const int result = program.Open([&] {
            ethernetShown = dialog->CP_Ethernet->isVisible();
            for (const char *name : {"CB_Device_Type_Type", "CB_Port0_Baudrate", "CB_Port1_Serial", "E_Port0_Device_ID",
                                     "E_Options_Offset_Status", "E_Ethernet_IP4", "E_Ethernet_SM1", "E_Ethernet_GAT4",
                                     "CB_Ethernet_En_GAT"})
                shown.append(Shown_Value(dialog->findChild<QWidget *>(QLatin1String(name))));
            QTest::mouseClick(dialog->Btn_OK, Qt::LeftButton);
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(ethernetShown);
        QCOMPARE(shown, (QStringList{"1", "7", "1", "1", "0", "10", "255", "1", "not ticked"}));
        QCOMPARE(Shown_Texts(), QStringList());
        QCOMPARE(program.Saved_Lines(), New_Configuration_Lines);
        QVERIFY(program.Read(ParGen_Path).contains("<!--SW_VERSION = 2.002-->"));

        // Step 3 builds the device files from what was saved and opens the update dialog's Ethernet form.
        int form = -1;
        When_Shown(program.Main->FBoot, [&] { form = program.Main->FBoot->Form_Type; });
        program.Main->Update_Device();
        QCOMPARE(form, 1);
        QCOMPARE(program.Read(QStringLiteral("PROJECTS/Line2/bin/bank.bin")).size(), 17);
    }

    void Every_control_reaches_its_key_and_back()
    {
        // A different value in every key: a control wired to the wrong key shows here.
        const QStringList lines = {
            QStringLiteral("root:Par_Gen"),
            QStringLiteral("Par_Gen/Device_Type_Type=1"),
            QStringLiteral("Par_Gen/Port_0_Baud=3"),
            QStringLiteral("Par_Gen/Port_0_Par=1"),
            QStringLiteral("Par_Gen/Port_0_DevID=17"),
            QStringLiteral("Par_Gen/Port_0_BroadCast=1"),
            QStringLiteral("Par_Gen/Port_1_Port=0"),
            QStringLiteral("Par_Gen/Port_1_Baud=5"),
            QStringLiteral("Par_Gen/Port_1_Par=2"),
            QStringLiteral("Par_Gen/Port_1_DevID=$F0"),
            QStringLiteral("Par_Gen/Port_1_BroadCast=0"),
            QStringLiteral("Par_Gen/Opt_Off_Reg= 100"),
            QStringLiteral("Par_Gen/Opt_Off_Status=61535"),
            QStringLiteral("Par_Gen/Ethernet_IP1=10"),
            QStringLiteral("Par_Gen/Ethernet_IP2=20"),
            QStringLiteral("Par_Gen/Ethernet_IP3=30"),
            QStringLiteral("Par_Gen/Ethernet_IP4=40"),
            QStringLiteral("Par_Gen/Ethernet_SM1=255"),
            QStringLiteral("Par_Gen/Ethernet_SM2=254"),
            QStringLiteral("Par_Gen/Ethernet_SM3=253"),
            QStringLiteral("Par_Gen/Ethernet_SM4=252"),
            QStringLiteral("Par_Gen/Ethernet_GAT1=11"),
            QStringLiteral("Par_Gen/Ethernet_GAT2=21"),
            QStringLiteral("Par_Gen/Ethernet_GAT3=31"),
            QStringLiteral("Par_Gen/Ethernet_GAT4=41"),
            QStringLiteral("Par_Gen/Ethernet_EN_GAT=1"),
        };
        QString body;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QString key = lines[i].section(u'/', 1).section(u'=', 0, 0);
            body += QStringLiteral("<%1>%2</%1>").arg(key, lines[i].section(u'=', 1));
        }
        TSettings_Fixture program(Par_Gen(body));
        QCOMPARE(program.Open([&] { QTest::mouseClick(program.Dialog->Btn_OK, Qt::LeftButton); }),
                 int(QDialog::Accepted));
        QCOMPARE(Shown_Texts(), QStringList());
        QCOMPARE(program.Saved_Lines(), lines);
    }

    void Load_shows_the_file_key_by_key_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("ethernetShown");
        const QByteArray empty = Par_Gen(QString());
        QTest::newRow("a missing device type is Without Ethernet Port, category 5 hidden")
            << empty << "CB_Device_Type_Type"
            << "0" << false;
        QTest::newRow("a device type outside the list: no selection, category 5 shown")
            << Par_Gen("<Device_Type_Type>5</Device_Type_Type>") << "CB_Device_Type_Type"
            << "-1" << true;
        QTest::newRow("a missing Port 1 interface is RS485") << empty << "CB_Port1_Serial"
                                                             << "1" << false;
        QTest::newRow("a baud rate that is not a number is 115200")
            << Par_Gen("<Port_1_Baud>fast</Port_1_Baud>") << "CB_Port1_Baudrate"
            << "7" << false;
        QTest::newRow("an empty device ID stays empty")
            << Par_Gen("<Port_0_DevID/>") << "E_Port0_Device_ID" << QString() << false;
        QTest::newRow("a missing address byte takes the new configuration's")
            << Par_Gen("<Device_Type_Type>1</Device_Type_Type>") << "E_Ethernet_SM3"
            << "255" << true;
        QTest::newRow("broadcast 1 ticks")
            << Par_Gen("<Port_0_BroadCast>1</Port_0_BroadCast>") << "CB_Port0_Enable_Broadcast"
            << "ticked" << false;
        for (const char *text : {"2", " 1", "yes", ""})
            QTest::addRow("broadcast \"%s\" does not tick", text)
                << Par_Gen(QStringLiteral("<Port_1_BroadCast>%1</Port_1_BroadCast>").arg(QLatin1String(text)))
                << "CB_Port1_Enable_Broadcast"
                << "not ticked" << false;
        QTest::newRow("gateway 1 ticks") << Par_Gen("<Ethernet_EN_GAT>1</Ethernet_EN_GAT>") << "CB_Ethernet_En_GAT"
                                         << "ticked" << false;
    }

    void Load_shows_the_file_key_by_key()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, control);
        QFETCH(QString, shown);
        QFETCH(bool, ethernetShown);
        TSettings_Fixture program(file);
        TFParGen *dialog = program.Dialog;
        QString value;
        bool ethernet = !ethernetShown;
        program.Open([&] {
            value = Shown_Value(dialog->findChild<QWidget *>(control));
            ethernet = dialog->CP_Ethernet->isVisible();
        });
        QCOMPARE(value, shown);
        QCOMPARE(ethernet, ethernetShown);
        QCOMPARE(Shown_Texts(), QStringList());
        QCOMPARE(program.Read(ParGen_Path), file);
    }

    void Save_rewrites_the_whole_file()
    {
        // Unknown elements and top-level content go. A list left without selection (an index outside it) is
        // refused rather than written as -1, until a value is chosen.
        const QByteArray handEdited =
            "<?xml version=\"1.0\"?><!-- notes --><Par_Gen><Device_Type_Type>5</Device_Type_Type><Extra>x</Extra>"
            "<Port_0_DevID>9</Port_0_DevID></Par_Gen><!--SW_VERSION = 1.000-->";
        TSettings_Fixture program(handEdited);
        QStringList refused;
        QCOMPARE(program.Open([&] {
            QTest::mouseClick(program.Dialog->Btn_OK, Qt::LeftButton);
            refused = Shown_Texts();
            QVERIFY(program.Dialog->isVisible());
            program.Dialog->CB_Device_Type_Type->setCurrentIndex(0);
            QTest::mouseClick(program.Dialog->Btn_OK, Qt::LeftButton);
        }),
                 int(QDialog::Accepted));
        QCOMPARE(refused, QStringList{QStringLiteral("error: Device type: choose a value from the list")});
        QCOMPARE(Shown_Texts(), QStringList());
        QCOMPARE(program.Saved_Lines(),
                 New_Configuration_With({QStringLiteral("Device_Type_Type=0"), QStringLiteral("Port_0_DevID=9")}));
        const QByteArray saved = program.Read(ParGen_Path);
        QVERIFY(saved.startsWith("<Par_Gen>"));
        QVERIFY(saved.indexOf("<!--SW_VERSION = 2.002-->") > saved.indexOf("</Par_Gen>"));
        QVERIFY(!saved.contains("notes") && !saved.contains("Extra") && !saved.contains("1.000"));
    }

    void Ok_checks_the_ranges_data()
    {
        QTest::addColumn<int>("deviceType");
        QTest::addColumn<bool>("gateway");
        QTest::addColumn<QStringList>("typed"); // "control=text"
        QTest::addColumn<QString>("refusal");   // empty: saved
        const struct
        {
            const char *Control;
            const char *Text;
            const char *Message;
        } fields[] = {
            {"E_Port0_Device_ID", "0", "Port 0 (RS485)!! Device ID must be between 1 and 250"},
            {"E_Port1_Device_ID", "251", "Port 1 (RS232 / RS485)!! Device ID must be between 1 and 250"},
            {"E_Options_Offset_Registers", "61536", "Error Options!! Offset Registers must be between 0 and 61535"},
            {"E_Options_Offset_Status", "-1", "Error Options!! Offset Status must be between 0 and 61535"},
            {"E_Ethernet_IP1", "256", "Error Ethernet!! IP Address 1 must be between 0 and 255"},
            {"E_Ethernet_IP2", "", "Error Ethernet!! IP Address 2 must be between 0 and 255"},
            {"E_Ethernet_IP3", "10.5", "Error Ethernet!! IP Address 3 must be between 0 and 255"},
            {"E_Ethernet_IP4", "1 ", "Error Ethernet!! IP Address 4 must be between 0 and 255"},
            {"E_Ethernet_SM1", "-1", "Error Ethernet!! SubNet Mask 1 must be between 0 and 255"},
            {"E_Ethernet_SM2", "abc", "Error Ethernet!! SubNet Mask 2 must be between 0 and 255"},
            {"E_Ethernet_SM3", "300", "Error Ethernet!! SubNet Mask 3 must be between 0 and 255"},
            {"E_Ethernet_SM4", "$100", "Error Ethernet!! SubNet Mask 4 must be between 0 and 255"},
            {"E_Ethernet_GAT1", "300", "Error Ethernet!! GATEWAY IP 1 must be between 0 and 255"},
            {"E_Ethernet_GAT2", "x", "Error Ethernet!! GATEWAY IP 2 must be between 0 and 255"},
            {"E_Ethernet_GAT3", "", "Error Ethernet!! GATEWAY IP 3 must be between 0 and 255"},
            {"E_Ethernet_GAT4", "256", "Error Ethernet!! GATEWAY IP 4 must be between 0 and 255"},
        };
        for (const auto &f : fields)
            QTest::addRow("%s \"%s\" refused", f.Control, f.Text)
                << 1 << true << QStringList{QLatin1String(f.Control) + u'=' + QLatin1String(f.Text)}
                << QString::fromLatin1(f.Message);
        QTest::newRow("the edges pass")
            << 1 << true
            << QStringList{"E_Port0_Device_ID=250",     "E_Port1_Device_ID=1", "E_Options_Offset_Registers=61535",
                           "E_Options_Offset_Status=0", "E_Ethernet_IP1=255",  "E_Ethernet_SM4= 0",
                           "E_Ethernet_GAT2=$FF"}
            << QString();
        QTest::newRow("an empty device ID is refused")
            << 1 << false << QStringList{"E_Port0_Device_ID="} << QString::fromLatin1(fields[0].Message);
        QTest::newRow("two wrong fields: only the first is told")
            << 1 << false << QStringList{"E_Ethernet_IP1=999", "E_Port1_Device_ID=0", "E_Port0_Device_ID=0"}
            << QString::fromLatin1(fields[0].Message);
        QTest::newRow("without Ethernet port the Ethernet fields are not checked")
            << 0 << true << QStringList{"E_Ethernet_IP1=abc", "E_Ethernet_GAT4=999"} << QString();
        QTest::newRow("with Gateway not ticked the gateway is not checked")
            << 1 << false << QStringList{"E_Ethernet_GAT1=300"} << QString();
    }

    void Ok_checks_the_ranges()
    {
        QFETCH(int, deviceType);
        QFETCH(bool, gateway);
        QFETCH(QStringList, typed);
        QFETCH(QString, refusal);
        TSettings_Fixture program;
        TFParGen *dialog = program.Dialog;
        QStringList shown;
        bool stayedOpen = false;
        QStringList after;
        const int result = program.Open([&] {
            dialog->CB_Device_Type_Type->setCurrentIndex(deviceType);
            dialog->CB_Ethernet_En_GAT->setChecked(gateway);
            for (const QString &entry : typed)
                Type_Into(dialog->findChild<QLineEdit *>(entry.section(u'=', 0, 0)), entry.section(u'=', 1));
            QTest::mouseClick(dialog->Btn_OK, Qt::LeftButton);
            shown = Shown_Texts();
            stayedOpen = dialog->isVisible();
            for (const QString &entry : typed)
                after.append(entry.section(u'=', 0, 0) + u'=' +
                             dialog->findChild<QLineEdit *>(entry.section(u'=', 0, 0))->text());
        });
        if (!refusal.isEmpty()) {
            QCOMPARE(shown, QStringList{QStringLiteral("error: ") + refusal});
            QVERIFY(stayedOpen);
            QCOMPARE(after, typed);
            QCOMPARE(result, int(QDialog::Rejected));
            QVERIFY(!program.Exists(ParGen_Path));
            return;
        }
        QCOMPARE(shown, QStringList());
        QCOMPARE(result, int(QDialog::Accepted));
        // Saved as typed.
        const QStringList saved = program.Saved_Lines();
        for (const QString &entry : typed) {
            const QString line =
                QStringLiteral("Par_Gen/") + Key_Of(entry.section(u'=', 0, 0)) + u'=' + entry.section(u'=', 1);
            QVERIFY2(saved.contains(line), qPrintable(line));
        }
    }

    void The_point_moves_through_the_octet_fields()
    {
        TSettings_Fixture program;
        TFParGen *dialog = program.Dialog;
        QStringList ip;
        QString focusAfterIp, sm1, gat4, focusAfterGat4, deviceId;
        program.Open([&] {
            dialog->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            dialog->E_Ethernet_IP[0]->setFocus();
            dialog->E_Ethernet_IP[0]->selectAll();
            Type_At_Focus(dialog, QStringLiteral("192.168.0.10"));
            for (QLineEdit *field : dialog->E_Ethernet_IP)
                ip.append(field->text());
            focusAfterIp = dialog->focusWidget()->objectName();
            // On into the next row, whose text is selected and so replaced.
            Type_At_Focus(dialog, QStringLiteral(".254"));
            sm1 = dialog->E_Ethernet_SM[0]->text();
            // The last field of the chain keeps the focus and drops the point.
            dialog->E_Ethernet_GAT[3]->setFocus();
            dialog->E_Ethernet_GAT[3]->selectAll();
            Type_At_Focus(dialog, QStringLiteral("7."));
            gat4 = dialog->E_Ethernet_GAT[3]->text();
            focusAfterGat4 = dialog->focusWidget()->objectName();
            // Elsewhere the point is a character like any other.
            dialog->E_Port0_Device_ID->setFocus();
            dialog->E_Port0_Device_ID->selectAll();
            Type_At_Focus(dialog, QStringLiteral("1.5"));
            deviceId = dialog->E_Port0_Device_ID->text();
        });
        QCOMPARE(ip, (QStringList{"192", "168", "0", "10"}));
        QCOMPARE(focusAfterIp, QStringLiteral("E_Ethernet_IP4"));
        QCOMPARE(sm1, QStringLiteral("254"));
        QCOMPARE(gat4, QStringLiteral("7"));
        QCOMPARE(focusAfterGat4, QStringLiteral("E_Ethernet_GAT4"));
        QCOMPARE(deviceId, QStringLiteral("1.5"));
    }

    void A_control_reached_by_the_keyboard_is_scrolled_into_view()
    {
        TSettings_Fixture program;
        TFParGen *dialog = program.Dialog;
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        dialog->resize(460, 300);
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QScrollBar *bar = dialog->CPG->verticalScrollBar();
        const auto inView = [&](QWidget *control) {
            const int top = control->mapTo(dialog->CPG->widget(), QPoint(0, 0)).y();
            return top >= bar->value() && top + control->height() <= bar->value() + dialog->CPG->viewport()->height();
        };
        // Tab from the last button round to the first list, scrolled out of view at the top.
        bar->setValue(bar->maximum());
        dialog->Btn_Cancel->setFocus();
        QTest::keyClick(dialog->Btn_Cancel, Qt::Key_Tab);
        QCOMPARE(dialog->focusWidget(), dialog->CB_Device_Type_Type);
        QVERIFY(inView(dialog->CB_Device_Type_Type));
        // The point's jump, into a field out of view at the bottom.
        dialog->E_Ethernet_IP[3]->setFocus();
        bar->setValue(0);
        Type_At_Focus(dialog, QStringLiteral("1.2"));
        QCOMPARE(dialog->focusWidget(), dialog->E_Ethernet_SM[0]);
        QVERIFY(inView(dialog->E_Ethernet_SM[0]));
        dialog->hide();
    }

    void The_device_type_shows_and_hides_category_5_at_once_and_keeps_its_values()
    {
        TSettings_Fixture program;
        TFParGen *dialog = program.Dialog;
        int withHeight = 0, withoutHeight = 0, backHeight = 0, ethernetTop = 0, ethernetHeight = 0;
        bool hidden = false, shownAgain = false;
        QString ipAgain;
        program.Open([&] {
            QWidget *content = dialog->CPG->widget();
            withHeight = content->height();
            Type_Into(dialog->E_Ethernet_IP[0], QStringLiteral("11"));
            QTest::keyClick(dialog->CB_Device_Type_Type, Qt::Key_Up); // Without Ethernet Port
            hidden = dialog->CP_Ethernet->isHidden();
            withoutHeight = content->height();
            QTest::keyClick(dialog->CB_Device_Type_Type, Qt::Key_Down); // With Ethernet Port
            shownAgain = dialog->CP_Ethernet->isVisible();
            backHeight = content->height();
            ethernetTop = dialog->CP_Ethernet->y();
            ethernetHeight = dialog->CP_Ethernet->height();
            ipAgain = dialog->E_Ethernet_IP[0]->text();
            QTest::keyClick(dialog->CB_Device_Type_Type, Qt::Key_Up);
            QTest::mouseClick(dialog->Btn_OK, Qt::LeftButton);
        });
        QVERIFY(hidden);
        QCOMPARE(withHeight, 67 + 149 + 177 + 94 + 123);
        QCOMPARE(withoutHeight, withHeight - 123);
        QVERIFY(shownAgain);
        QCOMPARE(backHeight, withHeight);
        QCOMPARE(ethernetTop, withHeight - 123);
        QCOMPARE(ethernetHeight, 123);
        QCOMPARE(ipAgain, QStringLiteral("11"));
        // Hidden values are saved all the same.
        QCOMPARE(program.Saved_Lines(),
                 New_Configuration_With({QStringLiteral("Device_Type_Type=0"), QStringLiteral("Ethernet_IP1=11")}));
    }

    void A_malformed_file_is_reported_and_the_controls_keep_what_they_held()
    {
        TSettings_Fixture program("<Par_Gen><Port_0_DevID>42</Port_0_DevID>");
        TFParGen *dialog = program.Dialog;
        // First showing: the form's initial values.
        QStringList first;
        bool ethernet = true;
        program.Open([&] {
            for (const char *name : {"CB_Device_Type_Type", "CB_Port1_Serial", "E_Port0_Device_ID",
                                     "E_Options_Offset_Registers", "E_Ethernet_SM4"})
                first.append(Shown_Value(dialog->findChild<QWidget *>(QLatin1String(name))));
            ethernet = dialog->CP_Ethernet->isVisible();
        });
        QCOMPARE(first, (QStringList{"0", "0", "1", "1", "5"}));
        QVERIFY(!ethernet);
        const QStringList shown = Shown_Texts();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].startsWith(QStringLiteral("error: ")) && shown[0].contains(QStringLiteral("ParGen.xml")),
                 qPrintable(shown[0]));

        // Later: what the previous showing loaded.
        QVERIFY(program.Write(ParGen_Path, Par_Gen("<Port_0_DevID>42</Port_0_DevID>")));
        program.Open([] {});
        QVERIFY(program.Write(ParGen_Path, "not xml"));
        QString kept;
        program.Open([&] { kept = dialog->E_Port0_Device_ID->text(); });
        QCOMPARE(kept, QStringLiteral("42"));
        QCOMPARE(Shown_Texts().size(), 1);
        QCOMPARE(program.Read(ParGen_Path), QByteArray("not xml"));
    }

    void A_file_that_cannot_be_written_is_reported_and_the_dialog_stays_open()
    {
        TSettings_Fixture program;
        TFParGen *dialog = program.Dialog;
        QStringList shown;
        bool stayedOpen = false;
        QString typed;
        const int result = program.Open([&] {
            Type_Into(dialog->E_Port0_Device_ID, QStringLiteral("42"));
            // A directory where the file goes.
            QVERIFY(program.Make_Dir(ParGen_Path));
            QTest::mouseClick(dialog->Btn_OK, Qt::LeftButton);
            shown = Shown_Texts();
            stayedOpen = dialog->isVisible();
            typed = dialog->E_Port0_Device_ID->text();
            // Once the obstacle is gone the same OK saves.
            QVERIFY(QDir(program.Path(ParGen_Path)).removeRecursively());
            QTest::mouseClick(dialog->Btn_OK, Qt::LeftButton);
        });
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].startsWith(QStringLiteral("error: ")) && shown[0].contains(QStringLiteral("ParGen.xml")),
                 qPrintable(shown[0]));
        QVERIFY(stayedOpen);
        QCOMPARE(typed, QStringLiteral("42"));
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(program.Saved_Lines(), New_Configuration_With({QStringLiteral("Port_0_DevID=42")}));
    }

    void Cancel_writes_nothing_and_the_next_showing_reloads_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << QStringLiteral("Cancel");
        QTest::newRow("the close box") << QStringLiteral("close");
        QTest::newRow("Escape does not close, then Cancel") << QStringLiteral("Escape");
    }

    void Cancel_writes_nothing_and_the_next_showing_reloads()
    {
        QFETCH(QString, how);
        const QByteArray file = Par_Gen("<Port_0_DevID>9</Port_0_DevID>");
        TSettings_Fixture program(file);
        TFParGen *dialog = program.Dialog;
        bool openAfterEscape = false;
        const int result = program.Open([&] {
            Type_Into(dialog->E_Port0_Device_ID, QStringLiteral("42"));
            if (how == u"close") {
                dialog->close();
                return;
            }
            if (how == u"Escape") {
                QTest::keyClick(dialog->E_Port0_Device_ID, Qt::Key_Escape);
                openAfterEscape = dialog->isVisible();
            }
            QTest::mouseClick(dialog->Btn_Cancel, Qt::LeftButton);
        });
        QCOMPARE(result, int(QDialog::Rejected));
        if (how == u"Escape")
            QVERIFY(openAfterEscape);
        QCOMPARE(program.Read(ParGen_Path), file);
        QString reloaded;
        program.Open([&] { reloaded = dialog->E_Port0_Device_ID->text(); });
        QCOMPARE(reloaded, QStringLiteral("9"));
    }

    void OK_asks_before_writing_over_a_file_another_program_changed_data()
    {
        QTest::addColumn<QString>("meanwhile"); // what another program did to ParGen.xml: "rewrote" or "removed"
        QTest::addColumn<int>("answer");        // NoButton: the box's default, as Enter gives it
        QTest::addColumn<bool>("stayedOpen");
        QTest::addColumn<QString>("shown"); // Port 0's device ID in the dialog after the answer
        QTest::addColumn<QString>("saved"); // the one ParGen.xml holds at the end; empty: no file
        const struct
        {
            const char *Row;
            const char *Meanwhile;
            QMessageBox::StandardButton Answer;
            bool Stayed_Open;
            const char *Shown;
            const char *Saved;
        } rows[] = {
            {"rewritten, the default: the other program's values stay and are shown", "rewrote", QMessageBox::NoButton,
             true, "77", "77"},
            {"rewritten, Yes: this window's values are written", "rewrote", QMessageBox::Yes, false, "42", "42"},
            {"rewritten, Cancel: back to the dialog as it was, nothing written", "rewrote", QMessageBox::Cancel, true,
             "42", "77"},
            {"removed, the default: no file, the values of a new configuration shown", "removed", QMessageBox::NoButton,
             true, "1", ""},
            {"removed, Yes: this window's values are written", "removed", QMessageBox::Yes, false, "42", "42"},
        };
        for (const auto &row : rows)
            QTest::newRow(row.Row) << QString::fromLatin1(row.Meanwhile) << int(row.Answer) << row.Stayed_Open
                                   << QString::fromLatin1(row.Shown) << QString::fromLatin1(row.Saved);
    }

    void OK_asks_before_writing_over_a_file_another_program_changed()
    {
        QFETCH(QString, meanwhile);
        QFETCH(int, answer);
        QFETCH(bool, stayedOpen);
        QFETCH(QString, shown);
        QFETCH(QString, saved);
        TSettings_Fixture program(Par_Gen("<Port_0_DevID>9</Port_0_DevID>"));
        TFParGen *dialog = program.Dialog;
        QList<TMessage_Record> asked;
        bool open = false;
        QString after;
        program.Open([&] {
            Type_Into(dialog->E_Port0_Device_ID, QStringLiteral("42"));
            // quillon-cli import --force, say, while the dialog is open.
            if (meanwhile == u"rewrote")
                QVERIFY(program.Write(ParGen_Path, Par_Gen("<Port_0_DevID>77</Port_0_DevID>")));
            else
                QVERIFY(QFile::remove(program.Path(ParGen_Path)));
            if (answer != QMessageBox::NoButton)
                Set_Next_Message_Answer(QMessageBox::StandardButton(answer));
            QTest::mouseClick(dialog->Btn_OK, Qt::LeftButton);
            asked = Take_Shown_Messages();
            open = dialog->isVisible();
            after = dialog->E_Port0_Device_ID->text();
            if (open)
                QTest::mouseClick(dialog->Btn_Cancel, Qt::LeftButton);
        });
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].Kind, TMessage_Kind::Confirmation);
        QCOMPARE(asked[0].Buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(asked[0].Default, QMessageBox::No);
        QCOMPARE(asked[0].Text, QStringLiteral("ParGen.xml of Line2 was changed by another program since this "
                                               "window opened it. Write these values over it? Yes writes them, No "
                                               "shows the file's values here instead, Cancel goes back."));
        QCOMPARE(open, stayedOpen);
        QCOMPARE(after, shown);
        if (saved.isEmpty())
            QVERIFY(!program.Exists(ParGen_Path));
        else
            QCOMPARE(Settings_Lines(program.Read(ParGen_Path)).filter(QStringLiteral("Port_0_DevID=")),
                     QStringList{QStringLiteral("Par_Gen/Port_0_DevID=") + saved});
    }

    void OK_after_the_file_was_reloaded_writes_without_asking_again()
    {
        // The answer No shows what the other program wrote; a second OK writes over that without a question.
        TSettings_Fixture program(Par_Gen("<Port_0_DevID>9</Port_0_DevID>"));
        TFParGen *dialog = program.Dialog;
        QStringList first;
        const int result = program.Open([&] {
            QVERIFY(program.Write(ParGen_Path, Par_Gen("<Port_0_DevID>77</Port_0_DevID>")));
            QTest::mouseClick(dialog->Btn_OK, Qt::LeftButton);
            first = Shown_Texts();
            Type_Into(dialog->E_Options_Offset_Status, QStringLiteral("5"));
            QTest::mouseClick(dialog->Btn_OK, Qt::LeftButton);
        });
        QCOMPARE(first.size(), 1);
        QCOMPARE(Shown_Texts(), QStringList());
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(program.Saved_Lines(),
                 New_Configuration_With({QStringLiteral("Device_Type_Type=0"), QStringLiteral("Port_0_DevID=77"),
                                         QStringLiteral("Opt_Off_Status=5")}));
    }

    void Text_fields_keep_out_what_XML_cannot_hold()
    {
        TSettings_Fixture program(Par_Gen("<Device_Type_Type>0</Device_Type_Type>"));
        TFParGen *dialog = program.Dialog;
        QString pasted;
        qsizetype longLength = 0;
        program.Open([&] {
            // No length limit.
            QGuiApplication::clipboard()->setText(QString(40000, u'7'));
            dialog->E_Ethernet_IP[1]->paste();
            longLength = dialog->E_Ethernet_IP[1]->text().size();
            dialog->E_Ethernet_IP[1]->setText(QStringLiteral("168"));
            QGuiApplication::clipboard()->setText(QStringLiteral("<b>&amp;</b>\x01\x1b\"x\""));
            dialog->E_Ethernet_IP[0]->selectAll();
            dialog->E_Ethernet_IP[0]->paste();
            pasted = dialog->E_Ethernet_IP[0]->text();
            QTest::mouseClick(dialog->Btn_OK, Qt::LeftButton);
        });
        // Markup is text like any other; without Ethernet port the field is saved unchecked and reads back.
        QCOMPARE(longLength, 40000 + 3);
        QCOMPARE(pasted, QStringLiteral("<b>&amp;</b>\"x\""));
        QCOMPARE(Shown_Texts(), QStringList());
        QCOMPARE(program.Saved_Lines(), New_Configuration_With({QStringLiteral("Device_Type_Type=0"),
                                                                QStringLiteral("Ethernet_IP1=") + pasted}));
        QString reloaded;
        program.Open([&] { reloaded = dialog->E_Ethernet_IP[0]->text(); });
        QCOMPARE(reloaded, pasted);
    }

    void The_dialog_is_laid_out_and_captioned()
    {
        TSettings_Fixture program;
        TFParGen *dialog = program.Dialog;
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        const int available = dialog->screen()->availableGeometry().height();
        QCOMPARE(dialog->size(), QSize(460, std::min(700, available)));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Set Communication"));
        QCOMPARE(dialog->L_SW_Code->text(), QStringLiteral("SW40926"));
        QCOMPARE(dialog->L_SW_Desc->text(), QStringLiteral("Set Communication Setting"));
        QCOMPARE(dialog->P_Title->geometry(), QRect(0, 0, 460, 69));
        QCOMPARE(dialog->P_Button->geometry(), QRect(0, dialog->height() - 40, 460, 40));
        QCOMPARE(dialog->CPG->geometry(), QRect(0, 69, 460, dialog->height() - 109));
        QCOMPARE(dialog->Btn_OK->geometry(), QRect(217, 6, 110, 28));
        QCOMPARE(dialog->Btn_Cancel->geometry(), QRect(335, 6, 110, 28));
        QCOMPARE(dialog->Btn_OK->toolTip(), QStringLiteral("Confirm and Save the current configuration"));
        QCOMPARE(dialog->Btn_Cancel->text(), QStringLiteral("Cancel"));
        QVERIFY(!dialog->Btn_OK->isDefault() && !dialog->Btn_OK->autoDefault());
        QCOMPARE(dialog->CPG->verticalScrollBar()->singleStep(), 8);

        // The categories stacked without gaps, each sized by its last control.
        const struct
        {
            TCategory_Panel *Category;
            const char *Heading;
            int Top, Height;
        } categories[] = {
            {dialog->CP_Device_Type, "1. Device Type", 0, 67},
            {dialog->CP_Port0, "2. Port 0 (RS485)", 67, 149},
            {dialog->CP_Port1, "3. Port 1 (RS232 / RS485)", 216, 177},
            {dialog->CP_Options, "4. Options", 393, 94},
            {dialog->CP_Ethernet, "5. Ethernet", 487, 123},
        };
        for (const auto &c : categories) {
            QCOMPARE(c.Category->Header->Heading, QLatin1String(c.Heading));
            QCOMPARE(c.Category->y(), c.Top);
            QCOMPARE(c.Category->height(), c.Height);
            QCOMPARE(c.Category->width(), dialog->CPG->viewport()->width());
        }

        // Places on the content grid (inside a category's content, below its header).
        const struct
        {
            QWidget *Control;
            QRect Place;
        } places[] = {
            {dialog->CB_Device_Type_Type, {191, 9, 238, 22}},
            {dialog->E_Port0_Device_ID, {191, 65, 238, 21}},
            {dialog->CB_Port0_Enable_Broadcast, {14, 96, 415, 17}},
            {dialog->CB_Port1_Parity, {191, 65, 238, 22}},
            {dialog->CB_Port1_Enable_Broadcast, {14, 124, 415, 17}},
            {dialog->E_Options_Offset_Status, {191, 37, 238, 21}},
            {dialog->E_Ethernet_IP[0], {191, 9, 55, 21}},
            {dialog->E_Ethernet_SM[2], {313, 37, 55, 21}},
            {dialog->CB_Ethernet_En_GAT, {14, 68, 175, 17}},
            {dialog->E_Ethernet_GAT[3], {374, 66, 55, 21}},
        };
        for (const auto &p : places)
            QVERIFY2(p.Control->geometry() == p.Place, qPrintable(p.Control->objectName()));
        QCOMPARE(dialog->L_Port1_Device_ID->pos(), QPoint(14, 96));
        QCOMPARE(dialog->L_Port1_Device_ID->text(), QStringLiteral("Device ID"));
        QCOMPARE(dialog->E_Ethernet_GAT[1]->toolTip(), QStringLiteral("Insert Second byte of Default Gateway"));
        QCOMPARE(dialog->CB_Port1_Serial->toolTip(),
                 QStringLiteral("Select the Serial to use with Modbus Protocol (RS232 or RS485)"));
        QCOMPARE(dialog->CB_Port0_Baudrate->count(), 8);
        QCOMPARE(dialog->CB_Port0_Baudrate->itemText(0), QStringLiteral("1200"));
        // Every category control is shown with its hint, and nothing sticks out of its category.
        for (const auto &c : categories) {
            for (QWidget *control : c.Category->Content->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
                if (!qobject_cast<QLabel *>(control) && !control->isWindow())
                    QVERIFY2(!control->toolTip().isEmpty(), qPrintable(control->objectName()));
                if (!control->isWindow())
                    QVERIFY2(c.Category->Content->rect().contains(control->geometry()),
                             qPrintable(control->objectName()));
            }
        }
        dialog->hide();
    }

    void The_width_stays_fixed_and_a_short_window_scrolls()
    {
        TSettings_Fixture program;
        TFParGen *dialog = program.Dialog;
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        dialog->resize(600, 300);
        QCOMPARE(dialog->size(), QSize(460, 300));
        QCOMPARE(dialog->CPG->height(), 300 - 109);
        QTRY_VERIFY(dialog->CPG->verticalScrollBar()->isVisible());
        QCOMPARE(dialog->CPG->verticalScrollBar()->maximum(), 610 - 191);
        QCOMPARE(dialog->P_Button->y(), 260);
        dialog->hide();
    }

    void Categories_collapse_and_expand_on_a_header_click()
    {
        TSettings_Fixture program;
        TFParGen *dialog = program.Dialog;
        int port1TopCollapsed = 0, port0Height = 0;
        bool contentHidden = false;
        program.Open([&] {
            QTest::mouseClick(dialog->CP_Port0->Header, Qt::LeftButton);
            port0Height = dialog->CP_Port0->height();
            port1TopCollapsed = dialog->CP_Port1->y();
            contentHidden = !dialog->E_Port0_Device_ID->isVisible();
        });
        QCOMPARE(port0Height, 24);
        QCOMPARE(port1TopCollapsed, 67 + 24);
        QVERIFY(contentHidden);

        // Kept through later showings; a second click expands it again.
        int port1TopAgain = 0, port1TopExpanded = 0;
        program.Open([&] {
            port1TopAgain = dialog->CP_Port1->y();
            QTest::mouseClick(dialog->CP_Port0->Header, Qt::LeftButton);
            port1TopExpanded = dialog->CP_Port1->y();
        });
        QCOMPARE(port1TopAgain, 67 + 24);
        QCOMPARE(port1TopExpanded, 216);
    }

    void Expanding_a_category_while_scrolled_brings_it_into_view()
    {
        TSettings_Fixture program;
        TFParGen *dialog = program.Dialog;
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        dialog->resize(460, 300); // the group 191 high
        QScrollBar *bar = dialog->CPG->verticalScrollBar();
        QTest::mouseClick(dialog->CP_Port1->Header, Qt::LeftButton);
        // Its header at the bottom of the group.
        bar->setValue(dialog->CP_Port1->y() + 24 - 191);
        const int before = bar->value();
        QTest::mouseClick(dialog->CP_Port1->Header, Qt::LeftButton);
        QVERIFY(bar->value() > before);
        const QRect visible(0, bar->value(), 1, 191);
        QVERIFY(visible.top() <= dialog->CP_Port1->y());
        QVERIFY(visible.bottom() >= dialog->CP_Port1->geometry().bottom());
        dialog->hide();
    }

    void The_wheel_scrolls_the_group_only_over_it_data()
    {
        QTest::addColumn<QString>("over");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("delta");
        QTest::addColumn<int>("moved");
        QTest::newRow("one notch down over a category: 3 line steps") << "CP_Port0_Content" << 3 << -120 << 24;
        QTest::newRow("one notch up over a category") << "CP_Port0_Content" << 3 << 120 << -24;
        QTest::newRow("a small delta counts as a notch") << "CP_Port0_Content" << 3 << -15 << 24;
        QTest::newRow("over a list the group scrolls, the list keeps its item") << "CB_Port0_Parity" << 3 << -120 << 24;
        QTest::newRow("5 lines per notch") << "CP_Port1_Header" << 5 << -120 << 40;
        QTest::newRow("over the title band: nothing") << "P_Title" << 3 << -120 << 0;
        QTest::newRow("over the button band: nothing") << "P_Button" << 3 << -120 << 0;
    }

    void The_wheel_scrolls_the_group_only_over_it()
    {
        QFETCH(QString, over);
        QFETCH(int, lines);
        QFETCH(int, delta);
        QFETCH(int, moved);
        TSettings_Fixture program;
        TFParGen *dialog = program.Dialog;
        const int savedLines = QApplication::wheelScrollLines();
        QApplication::setWheelScrollLines(lines);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        dialog->resize(460, 400);
        QScrollBar *bar = dialog->CPG->verticalScrollBar();
        bar->setValue(40);
        auto *target = dialog->findChild<QWidget *>(over);
        QVERIFY(target);
        const int parity = dialog->CB_Port0_Parity->currentIndex();
        Wheel_At(dialog, target->mapTo(dialog, QPoint(target->width() / 2, target->height() / 2)), delta);
        QApplication::setWheelScrollLines(savedLines);
        QCOMPARE(bar->value(), 40 + moved);
        QCOMPARE(dialog->CB_Port0_Parity->currentIndex(), parity);
        dialog->hide();
    }

    void A_change_of_language_recaptions_the_dialog_and_its_headings()
    {
        TSettings_Fixture program;
        QVERIFY(program.Write(QStringLiteral("LANGUAGE/Deutsch.lng"),
                              "STR400 = Kommunikation\nSTR406 = Anschluss 0\nSTR407 = Baudrate DE\n"
                              "STR476 = Anschluss 0: Geraete-ID 1 bis 250\n"));
        TFParGen *dialog = program.Dialog;
        Language_Name = QStringLiteral("Deutsch");
        Load_Language();
        program.Main->Change_Language();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Kommunikation"));
        QCOMPARE(dialog->L_Port0_Baudrate->text(), QStringLiteral("Baudrate DE"));
        QCOMPARE(dialog->CP_Port0->Header->Heading, QStringLiteral("2. Anschluss 0"));
        // The messages come from the table of the moment, the list check's too.
        QCOMPARE(List_Selection_Failure(TParGen_Fields{.Port_0_Baud = -1}, Lang),
                 QStringLiteral("Port 0 baud rate: choose a value from the list"));
        program.Open([&] {
            Type_Into(dialog->E_Port0_Device_ID, QStringLiteral("0"));
            QTest::mouseClick(dialog->Btn_OK, Qt::LeftButton);
        });
        QCOMPARE(Shown_Texts(), QStringList{QStringLiteral("error: Anschluss 0: Geraete-ID 1 bis 250")});
    }
};

QUILLON_WINDOW_TEST_MAIN(Test_UParGen)
#include "test_UParGen.moc"
