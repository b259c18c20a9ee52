// What a screen reader finds in every window: a name for each control a person can operate, and the tab order.

#include "UWindow_Test_Support.h"

#include "UAbout.h"
#include "UBoot.h"
#include "UHistory.h"
#include "UKept_Run.h"
#include "ULanguage.h"
#include "ULook.h"
#include "UNew_Project.h"
#include "UOpenConf.h"
#include "UParGen.h"
#include "UParGen_Fixture.h"
#include "USoftOptions.h"
#include "UWait.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

using namespace Qt::StringLiterals;

namespace {

QString Described(QAccessibleInterface *control)
{
    const QObject *object = control->object();
    return u"%1 (role %2)"_s.arg(object ? object->objectName() : u"?"_s).arg(int(control->role()));
}

// Every control shown in the tree under root that takes the focus (and so can be operated) but has no name. A
// list to choose from is read by its current item on Linux and needs its label besides.
void Collect_Unnamed(QAccessibleInterface *root, QStringList &unnamed)
{
    for (int i = 0; i < root->childCount(); ++i) {
        QAccessibleInterface *child = root->child(i);
        if (!child || child->state().invisible)
            continue;
        if (child->state().focusable &&
            (child->text(QAccessible::Name).trimmed().isEmpty() ||
             (child->role() == QAccessible::ComboBox && child->relations(QAccessible::Label).isEmpty())))
            unnamed.append(Described(child));
        Collect_Unnamed(child, unnamed);
    }
}

QStringList Unnamed_Controls(QWidget *window)
{
    QStringList unnamed;
    Collect_Unnamed(QAccessible::queryAccessibleInterface(window), unnamed);
    return unnamed;
}

// The controls Tab visits in window, by object name, from first on.
QStringList Tab_Order(QWidget *window, const QString &first)
{
    QStringList order;
    for (QWidget *w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain()) {
        if (w->window() == window && w->isVisibleTo(window) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) &&
            !w->focusProxy())
            order.append(w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                                   : w->objectName());
    }
    const qsizetype start = order.indexOf(first);
    if (start > 0)
        order = order.mid(start) + order.mid(0, start);
    return order;
}

// The window shown, as the program shows it.
void Show(QWidget *window)
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

QStringList Names(std::initializer_list<const char *> names)
{
    QStringList list;
    for (const char *name : names)
        list.append(QString::fromLatin1(name));
    return list;
}

} // namespace

class Test_UAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void Every_control_of_every_window_is_named_and_tabbed_in_order_data()
    {
        QTest::addColumn<QString>("look");
        QTest::newRow("light") << u"light"_s;
        QTest::newRow("dark") << u"dark"_s;
    }

    void Every_control_of_every_window_is_named_and_tabbed_in_order()
    {
        QFETCH(QString, look);
        TProgram_Fixture program;
        Set_Look_For_This_Run(look);
        DIRevevoriVezaDiva *main = program.Start(true);
        Set_Look_For_This_Run(QString());
        QCOMPARE(Current_Look(), look == u"dark"_s ? TLook::Dark : TLook::Light);
        const auto check = [](QWidget *window, const QString &first, const QStringList &order) {
            const QStringList unnamed = Unnamed_Controls(window);
            QVERIFY2(unnamed.isEmpty(), qPrintable(window->objectName() + u": "_s + unnamed.join(u", "_s)));
            QCOMPARE(Tab_Order(window, first).join(u' '), order.join(u' '));
        };
#define CHECK(...)                                                                                                     \
    check(__VA_ARGS__);                                                                                                \
    if (QTest::currentTestFailed())                                                                                    \
        return;

        CHECK(main, u"Btn_New"_s,
              Names({"Btn_New", "Btn_Open", "Btn_Prm_Gen", "Btn_CreateBin", "Btn_History", "Btn_Info", "Btn_Opz",
                     "Btn_Close"}));

        Show(main->FNew_Project);
        CHECK(main->FNew_Project, u"E_New_Proj"_s, Names({"E_New_Proj", "Btn_OK", "Btn_Cancel"}));
        main->FNew_Project->hide();

        Show(main->FOpenConf);
        CHECK(main->FOpenConf, u"ListBox1"_s, Names({"ListBox1", "Btn_OK", "Btn_Cancel"}));
        main->FOpenConf->hide();

        Show(main->FAbout);
        CHECK(main->FAbout, u"LbButton1"_s, Names({"LbButton1"}));
        main->FAbout->hide();

        // The options dialog, page by page: the page's controls between the tabs and the buttons.
        TFSoftOptions *options = main->FSoftOptions;
        Show(options);
        auto *pages = options->findChild<QTabWidget *>(u"PC_Options"_s);
        QVERIFY(pages);
        const QString tabs = pages->tabBar()->objectName().isEmpty() ? u"QTabBar"_s : pages->tabBar()->objectName();
        const QStringList pageOrders[3] = {
            Names({"L_L1", "L_L2", "L_L3", "L_L4", "L_L5"}), // the five shipped languages
            Names({"CB_En_Con", "CB_Update", "Btn_Check_Update"}),
            Names({"CB_Soft_Set_Jump_Table", "CB_DoubleClick_Auto_Size", "CB_Look"}),
        };
        // Every control of the connection page usable, so that the tab order covers all of them.
        options->findChild<QCheckBox *>(u"CB_En_Con"_s)->setChecked(true);
        options->findChild<QCheckBox *>(u"CB_Update"_s)->setChecked(true);
        for (int page = 0; page < 3; ++page) {
            pages->setCurrentIndex(page);
            CHECK(options, tabs, QStringList{tabs} + pageOrders[page] + Names({"Btn_OK", "Btn_Cancel"}));
        }
        options->hide();

        // The settings dialog with every category shown.
        TFParGen *settings = main->FParGen;
        Show(settings);
        settings->findChild<QComboBox *>(u"CB_Device_Type_Type"_s)->setCurrentIndex(1);
        CHECK(settings, u"CB_Device_Type_Type"_s,
              Names({"CB_Device_Type_Type",
                     "CB_Port0_Baudrate",
                     "CB_Port0_Parity",
                     "E_Port0_Device_ID",
                     "CB_Port0_Enable_Broadcast",
                     "CB_Port1_Serial",
                     "CB_Port1_Baudrate",
                     "CB_Port1_Parity",
                     "E_Port1_Device_ID",
                     "CB_Port1_Enable_Broadcast",
                     "E_Options_Offset_Registers",
                     "E_Options_Offset_Status",
                     "E_Ethernet_IP1",
                     "E_Ethernet_IP2",
                     "E_Ethernet_IP3",
                     "E_Ethernet_IP4",
                     "E_Ethernet_SM1",
                     "E_Ethernet_SM2",
                     "E_Ethernet_SM3",
                     "E_Ethernet_SM4",
                     "CB_Ethernet_En_GAT",
                     "E_Ethernet_GAT1",
                     "E_Ethernet_GAT2",
                     "E_Ethernet_GAT3",
                     "E_Ethernet_GAT4",
                     "Btn_OK",
                     "Btn_Cancel"}));
        settings->hide();

        // The update dialog in both its forms.
        TFBoot *update = main->FBoot;
        update->Form_Type = 0;
        Show(update);
        CHECK(update, u"CB_COM_Port"_s,
              Names({"CB_COM_Port", "Btn_COM_List", "CB_Update_Options", "CB_Update_Option_Read_Back", "Btn_Update",
                     "Btn_Cancel", "Btn_History"}));
        update->hide();
        update->Form_Type = 1;
        Show(update);
        CHECK(update, u"E_IP1"_s,
              Names({"E_IP1", "E_IP2", "E_IP3", "E_IP4", "CB_Update_Options", "CB_Update_Option_Read_Back",
                     "Btn_Update", "Btn_Cancel", "Btn_History"}));
        update->hide();

        // The History window with a configuration open and runs to list: one damaged, one kept.
        QVERIFY(program.Write(u"PROJECTS/Line2/ParGen.xml"_s, Saved_ParGen(0)));
        QVERIFY(program.Write(u"PROJECTS/Line2/sent/20990101T000000Z-1/run.json"_s, "{"));
        Conf_Name = u"Line2"_s;
        Conf_Dir = Join_Path(Projects_Dir, Conf_Name);
        Set_Files();
        Keep_Run(Conf_Dir, u"serial"_s, u"ttyUSB0"_s, TRun_Ending::Success);
        Show(main->FHistory);
        QCOMPARE(main->FHistory->Runs.size(), 2);
        CHECK(main->FHistory, u"LB_Runs"_s, Names({"LB_Runs", "LB_Differences", "Btn_Open_Folder", "Btn_OK"}));
        main->FHistory->hide();

        // The wait window has nothing to operate; what it shows is named all the same.
        auto *wait = update->findChild<TFWait *>();
        QVERIFY(wait);
        wait->Show_Still(u"Ethernet_Update"_s, 3);
        Show(wait);
        QVERIFY2(Unnamed_Controls(wait).isEmpty(), qPrintable(Unnamed_Controls(wait).join(u", "_s)));
        wait->hide();
    }

    void The_state_line_is_read_whole_also_where_it_is_drawn_short()
    {
        TProgram_Fixture program;
        QVERIFY(program.Write(u"PROJECTS/Line2/ParGen.xml"_s, Saved_ParGen(1)));
        DIRevevoriVezaDiva *main = program.Start();
        Conf_Name = u"Line2"_s;
        Conf_Dir = Join_Path(Projects_Dir, Conf_Name);
        Set_Files();
        Keep_Run(Conf_Dir, u"ethernet"_s, u"10.1.2.105"_s, TRun_Ending::Success);
        // Every address byte changed: more fields than the line has room for.
        TKey_Texts changed;
        for (const char *row : {"IP", "SM", "GAT"}) {
            for (int byte = 0; byte < 4; ++byte)
                changed.append({Octet_Key(row, byte), u"7"_s});
        }
        QVERIFY(program.Write(u"PROJECTS/Line2/ParGen.xml"_s, Saved_ParGen(1, changed)));
        main->Show_Send_State();
        auto *state = main->findChild<QLabel *>(u"L_Send_State"_s);
        QVERIFY(state->text().endsWith(QChar(0x2026)));
        const QString name = QAccessible::queryAccessibleInterface(state)->text(QAccessible::Name);
        QVERIFY2(name.startsWith(u"Sent to 10.1.2.105 on "_s) && name.endsWith(u"SubNet Mask, byte 4 of 4"_s),
                 qPrintable(name));
    }

    void Picture_buttons_are_named_by_their_hint_and_hints_describe()
    {
        TProgram_Fixture program;
        DIRevevoriVezaDiva *main = program.Start();
        for (const auto &[name, entry] :
             {std::pair{"Btn_Info", 12}, std::pair{"Btn_Opz", 13}, std::pair{"Btn_Close", 14}}) {
            auto *button = main->findChild<QPushButton *>(QLatin1String(name));
            QVERIFY(button);
            QVERIFY(button->text().isEmpty());
            QCOMPARE(QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name), Lang(entry));
        }
        auto *edit = main->FNew_Project->findChild<QLineEdit *>(u"E_New_Proj"_s);
        QCOMPARE(QAccessible::queryAccessibleInterface(edit)->text(QAccessible::Name), Lang(102));
        QCOMPARE(QAccessible::queryAccessibleInterface(edit)->text(QAccessible::Description), Lang(108));
    }

    void A_language_name_is_a_button_that_switches_when_pressed()
    {
        TProgram_Fixture program;
        DIRevevoriVezaDiva *main = program.Start(true);
        TFSoftOptions *options = main->FSoftOptions;
        Show(options);
        QAccessibleInterface *slot = QAccessible::queryAccessibleInterface(options->L_L[0]);
        QCOMPARE(slot->role(), QAccessible::Button);
        QCOMPARE(slot->text(QAccessible::Name), options->L_L[0]->text());
        QVERIFY(slot->actionInterface());
        QVERIFY(slot->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    }

    // The names are set where the captions are: a change of language renames every control.
    void Names_follow_a_change_of_language()
    {
        TProgram_Fixture program;
        DIRevevoriVezaDiva *main = program.Start(true);
        Language_Name = u"Italiano"_s;
        Load_Language();
        QCOMPARE(Language_Name, u"Italiano"_s);
        main->Change_Language();
        QVERIFY(Lang(1145) != English_Text(1145));
        auto *octet = main->FParGen->findChild<QLineEdit *>(u"E_Ethernet_SM3"_s);
        QCOMPARE(QAccessible::queryAccessibleInterface(octet)->text(QAccessible::Name),
                 Lang(1145).arg(Lang(437), u"3"_s));
        auto *info = main->findChild<QPushButton *>(u"Btn_Info"_s);
        QCOMPARE(QAccessible::queryAccessibleInterface(info)->text(QAccessible::Name), Lang(12));
        auto *baud = main->FParGen->findChild<QComboBox *>(u"CB_Port1_Baudrate"_s);
        QCOMPARE(baud->accessibleName(), Lang(418));
        const auto labels = QAccessible::queryAccessibleInterface(baud)->relations(QAccessible::Label);
        QCOMPARE(labels.size(), 1);
        QCOMPARE(labels.first().first->text(QAccessible::Name), Lang(418));
        auto *ip = main->FBoot->findChild<QLineEdit *>(u"E_IP1"_s);
        QCOMPARE(QAccessible::queryAccessibleInterface(ip)->text(QAccessible::Name), Lang(1145).arg(Lang(432), u"1"_s));
    }
};

QTEST_MAIN(Test_UAccessibility)
#include "test_UAccessibility.moc"
