#include "UBoot.h"

#include "UAnsi_Paths.h"
#include "UAtomic_File.h"
#include "UFile_Work_Wait.h"
#include "UHistory.h"
#include "ULanguage.h"
#include "ULook.h"
#include "UMessage.h"
#include "UScreen_Place.h"
#include "UUpdate_Logic.h"
#include "UUpdate_Pipeline.h"
#include "UUpdater_Lock.h"
#include "UWait.h"
#include "UWorkspace.h"
#include "UXml_Document.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <memory>

namespace {

constexpr int Client_Width = 449;
constexpr int Title_Height = 69;
constexpr int IP_Address_Height = 49;
constexpr int Serial_Height = 51;
constexpr int Options_Height = 72;
constexpr int Button_Height = 40;
// The update button at its design place (206, 6), 110 wide: its right edge.
constexpr int Button_Width = 110;
constexpr int Update_Right = 206 + Button_Width;
// The History button at the button band's left end; a widened update button stops short of it.
constexpr int History_Left = 12;
constexpr int History_Size = 28;
constexpr int Update_Leftmost = History_Left + History_Size + Caption_Margin;
// The configuration's name in the title band, right of the product code.
constexpr int Configuration_Left = 200;
constexpr int Configuration_Top = 20;

QWidget *Create_Panel(QWidget *parent, const QString &name, int height)
{
    auto *panel = new QWidget(parent);
    panel->setObjectName(name);
    panel->resize(Client_Width, height);
    return panel;
}

QLineEdit *Create_Octet_Edit(QWidget *parent, const QString &name, int left)
{
    auto *edit = new QLineEdit(QStringLiteral("0"), parent);
    edit->setObjectName(name);
    edit->setGeometry(left, 22, 44, 21);
    edit->setAlignment(Qt::AlignCenter);
    return edit;
}

} // namespace

TFBoot::TFBoot(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FBoot"));
    Apply_Window_Look(this);

    P_Title = Create_Title_Band(this, Client_Width);
    L_SW_Code = P_Title->findChild<QLabel *>(QStringLiteral("L_SW_Code"));
    L_SW_Desc = P_Title->findChild<QLabel *>(QStringLiteral("L_SW_Desc"));
    L_Configuration = Create_Label(P_Title, QStringLiteral("L_Configuration"), Configuration_Left, Configuration_Top);
    Set_Caption_Room(L_Configuration, Client_Width - Configuration_Left - 12, Qt::ElideMiddle);

    P_IP_Address = Create_Panel(this, QStringLiteral("P_IP_Address"), IP_Address_Height);
    L_IP_Address = Create_Label(P_IP_Address, QStringLiteral("L_IP_Address"), 16, 4, true);
    E_IP1 = Create_Octet_Edit(P_IP_Address, QStringLiteral("E_IP1"), 16);
    E_IP2 = Create_Octet_Edit(P_IP_Address, QStringLiteral("E_IP2"), 72);
    E_IP3 = Create_Octet_Edit(P_IP_Address, QStringLiteral("E_IP3"), 128);
    E_IP4 = Create_Octet_Edit(P_IP_Address, QStringLiteral("E_IP4"), 184);
    for (int i = 0; i < 3; ++i) {
        QLabel *dot = Create_Label(P_IP_Address, QStringLiteral("L_Dot%1").arg(i + 1), 64 + 56 * i, 24, true);
        Set_Caption(dot, QStringLiteral("."));
    }
    for (QLineEdit *edit : {E_IP1, E_IP2, E_IP3, E_IP4}) {
        edit->installEventFilter(this);
        // What the edits hold goes into an XML file: characters XML cannot hold are kept out.
        connect(edit, &QLineEdit::textEdited, edit, [edit](const QString &text) {
            if (!Is_Xml_Text(text))
                edit->setText(Xml_Text_Only(text));
        });
    }

    P_Serial = Create_Panel(this, QStringLiteral("P_Serial"), Serial_Height);
    L_COM_Port = Create_Label(P_Serial, QStringLiteral("L_COM_Port"), 16, 4, true);
    CB_COM_Port = new QComboBox(P_Serial);
    CB_COM_Port->setObjectName(QStringLiteral("CB_COM_Port"));
    CB_COM_Port->setGeometry(16, 22, 200, 22);
    Btn_COM_List = Create_Picture_Button(P_Serial, QStringLiteral("Btn_COM_List"), QStringLiteral("boot_refresh"), 222,
                                         20, 26, 26, 18);

    P_Options = Create_Panel(this, QStringLiteral("P_Options"), Options_Height);
    L_Update_Option = Create_Label(P_Options, QStringLiteral("L_Update_Option"), 16, 4, true);
    CB_Update_Options = new QComboBox(P_Options);
    CB_Update_Options->setObjectName(QStringLiteral("CB_Update_Options"));
    CB_Update_Options->setGeometry(16, 22, 232, 22);
    CB_Update_Option_Read_Back = new QCheckBox(P_Options);
    CB_Update_Option_Read_Back->setObjectName(QStringLiteral("CB_Update_Option_Read_Back"));
    CB_Update_Option_Read_Back->setGeometry(16, 50, 232, 17);

    P_Button = Create_Button_Band(this, Client_Width, Title_Height + Serial_Height + Options_Height + Button_Height);
    Btn_Update = Create_Picture_Button(P_Button, QStringLiteral("Btn_Update"), QStringLiteral("boot_update"), 206, 6,
                                       110, 28, 18);
    Btn_Cancel = Create_Picture_Button(P_Button, QStringLiteral("Btn_Cancel"), QStringLiteral("boot_cancel"), 324, 6,
                                       110, 28, 18);
    Btn_History = Create_Picture_Button(P_Button, QStringLiteral("Btn_History"), QStringLiteral("history"),
                                        History_Left, 6, History_Size, History_Size, 18);
    L_Check = Create_Label(P_Button, QStringLiteral("L_Check"), 12, 13);
    L_Check->hide();

    FWait = new TFWait(this);

    connect(Btn_COM_List, &QPushButton::clicked, this, [this] { Run_Handler([this] { Btn_COM_ListClick(); }); });
    connect(Btn_Update, &QPushButton::clicked, this, [this] { Run_Handler([this] { Btn_UpdateClick(); }); });
    connect(Btn_Cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(Btn_History, &QPushButton::clicked, this, [this] {
        Run_Handler([this] {
            if (FHistory)
                FHistory->exec();
        });
    });

    Set_Caption(L_SW_Code, SW_Code);
    setFixedSize(Client_Width, Title_Height + Serial_Height + Options_Height + Button_Height);
    Set_Lang();
}

TFBoot::~TFBoot() = default;

void TFBoot::Set_Lang()
{
    setWindowTitle(Lang(Form_Type == 1 ? 1002 : 1000));
    Set_Caption(L_SW_Desc, Lang(Form_Type == 1 ? 1003 : 1001));
    Set_Caption(L_Configuration, Lang(1041).arg(Open_Configuration().Name));
    Set_Caption(L_IP_Address, Lang(1006));
    Set_Caption(L_COM_Port, Lang(1007));
    CB_COM_Port->setToolTip(Lang(1025));
    Btn_COM_List->setToolTip(Lang(1027));
    Set_Caption(L_Update_Option, Lang(1014));
    CB_Update_Options->clear();
    CB_Update_Options->addItems({Lang(1015), Lang(1016), Lang(1017)});
    CB_Update_Options->setCurrentIndex(0);
    CB_Update_Option_Read_Back->setText(Lang(1018));
    Btn_Cancel->setText(Lang(1019));
    Btn_Update->setText(Lang(1020));
    // A caption longer than the button's design width widens it to the left; its right edge stays.
    const int captionWidth = Caption_Margin + Btn_Update->iconSize().width() + Caption_Margin +
                             Btn_Update->fontMetrics().horizontalAdvance(Btn_Update->text()) + Caption_Margin + 4;
    const int updateWidth = std::min(Update_Right - Update_Leftmost, std::max(Button_Width, captionWidth));
    Btn_Update->setGeometry(Update_Right - updateWidth, 6, updateWidth, 28);
    E_IP1->setToolTip(Lang(1021));
    E_IP2->setToolTip(Lang(1022));
    E_IP3->setToolTip(Lang(1023));
    E_IP4->setToolTip(Lang(1024));
    CB_Update_Options->setToolTip(Lang(1032));
    CB_Update_Option_Read_Back->setToolTip(Lang(1033));
    Btn_Cancel->setToolTip(Lang(1034));
    Btn_Update->setToolTip(Lang(1035));
    Btn_History->setToolTip(Lang(1068));
    Name_By_Label(CB_COM_Port, L_COM_Port);
    Name_By_Label(CB_Update_Options, L_Update_Option);
    QLineEdit *const octets[4] = {E_IP1, E_IP2, E_IP3, E_IP4};
    Name_Octets(octets, Lang(432), Lang(1145));
    Describe_Controls(this);
}

void TFBoot::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TFBoot::FormShow()
{
    Set_Lang();
    Set_Caption(L_SW_Code, SW_Code);
    P_IP_Address->hide();
    P_Options->hide();
    P_Serial->hide();

    // The panels stacked under the title band in the form's order, the button band at the bottom.
    QWidget *first = Form_Type == 1 ? P_IP_Address : P_Serial;
    first->move(0, Title_Height);
    P_Options->move(0, Title_Height + first->height());
    const int clientHeight = Title_Height + first->height() + P_Options->height() + Button_Height;
    P_Button->setGeometry(0, clientHeight - Button_Height, Client_Width, Button_Height);
    first->show();
    P_Options->show();
    setFixedSize(Client_Width, clientHeight);

    // Tab order: the form's panel, the options, the buttons, the hidden panel.
    QList<QWidget *> order;
    if (Form_Type == 1)
        order = {E_IP1,      E_IP2,      E_IP3,       E_IP4,       CB_Update_Options, CB_Update_Option_Read_Back,
                 Btn_Update, Btn_Cancel, Btn_History, CB_COM_Port, Btn_COM_List};
    else
        order = {CB_COM_Port,
                 Btn_COM_List,
                 CB_Update_Options,
                 CB_Update_Option_Read_Back,
                 Btn_Update,
                 Btn_Cancel,
                 Btn_History,
                 E_IP1,
                 E_IP2,
                 E_IP3,
                 E_IP4};
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);

    CB_Update_Options->setCurrentIndex(Last_Update_Option);
    CB_Update_Option_Read_Back->setChecked(Last_Read_Back);

    if (Form_Type == 1) {
        QString parts[4];
        const QString address = Starting_Address();
        if (!address.isEmpty() && Split_IP_Address(address, parts[0], parts[1], parts[2], parts[3])) {
            E_IP1->setText(parts[0]);
            E_IP2->setText(parts[1]);
            E_IP3->setText(parts[2]);
            E_IP4->setText(parts[3]);
        }
        E_IP1->setFocus();
    } else {
        update_ComPort();
        CB_COM_Port->setFocus();
    }
    Place_On_Screen(this);
}

QString TFBoot::Starting_Address() const
{
    // The device this configuration last went to is the one it most likely goes to again.
    if (!Conf_Dir.isEmpty()) {
        const std::optional<TSent_Run> last = Last_Success(Conf_Dir);
        QString parts[4];
        if (last && last->Kind == u"ethernet" && Split_IP_Address(last->Target, parts[0], parts[1], parts[2], parts[3]))
            return last->Target;
    }
    return Last_IP_Address;
}

bool TFBoot::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress &&
        (watched == E_IP1 || watched == E_IP2 || watched == E_IP3 || watched == E_IP4)) {
        if (!KeyPress(watched, static_cast<QKeyEvent *>(event)->text()))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool TFBoot::KeyPress(QObject *Sender, const QString &Key)
{
    if (Key != QStringLiteral("."))
        return true;
    QLineEdit *next = Sender == E_IP1 ? E_IP2 : Sender == E_IP2 ? E_IP3 : Sender == E_IP3 ? E_IP4 : nullptr;
    if (next && next->isEnabled() && next->isVisible())
        next->setFocus(Qt::TabFocusReason);
    return false;
}

void TFBoot::Btn_COM_ListClick()
{
    update_ComPort();
}

void TFBoot::update_ComPort()
{
    const QList<TSerial_Port> ports = Port_Source();
    CB_COM_Port->clear();
    for (const TSerial_Port &port : ports) {
        CB_COM_Port->addItem(port.Name, port.Location);
        CB_COM_Port->setItemData(CB_COM_Port->count() - 1, Serial_Port_Hint(port, Lang), Qt::ToolTipRole);
    }
    CB_COM_Port->setCurrentIndex(Preferred_Port_Index(ports, Last_Serial_Port));
}

QString TFBoot::Typed_Address() const
{
    return QStringList{E_IP1->text(), E_IP2->text(), E_IP3->text(), E_IP4->text()}.join(u'.');
}

void TFBoot::Btn_UpdateClick()
{
    // One run at a time: the button stays disabled from the echo check to the updater's end.
    if (Run_Busy)
        return;
    Run_Busy = true;
    const bool hadFocus = Btn_Update->hasFocus();
    Btn_Update->setEnabled(false);
    // The echo check's progress takes the History button's place until the run ends.
    Btn_History->hide();
    const auto restore = qScopeGuard([this, hadFocus] {
        Run_Busy = false;
        Btn_History->show();
        Btn_Update->setEnabled(true);
        if (hadFocus && isVisible())
            Btn_Update->setFocus();
    });
    Run_Update();
}

void TFBoot::Run_Update()
{
    TUpdate_Result result = Run_Pipeline(false);
    // No by default: one reflexive Enter must not overwrite another configuration's device.
    if (result.Ending == TUpdate_Ending::Other_Target &&
        Message_Box(result.Message, TMessage_Kind::Confirmation, QMessageBox::Yes | QMessageBox::No, {},
                    QMessageBox::No) == QMessageBox::Yes)
        result = Run_Pipeline(true);
    Show_Ending(result);
    // A remembered address or port that could not be saved is told after the run's own ending.
    if (!Settings_Problem.isEmpty())
        Report_Error(std::exchange(Settings_Problem, QString()));
}

TUpdate_Result TFBoot::Run_Pipeline(bool forceTarget)
{
    TUpdate_Request request;
    request.Workspace = Current_Workspace();
    request.Configuration = Open_Configuration();
    request.Way = Form_Type == 1 ? TUpdate_Way::Ethernet : TUpdate_Way::Serial;
    const int index = CB_COM_Port->currentIndex();
    if (index >= 0) {
        request.Port.Name = CB_COM_Port->itemText(index);
        request.Port.Location = CB_COM_Port->itemData(index).toString();
    }
    request.Address = Typed_Address();
    request.Option = CB_Update_Options->currentIndex();
    request.Read_Back = CB_Update_Option_Read_Back->isChecked();
    request.Limit_Ms = Updater_Limit_Ms;
    request.Force_Target = forceTarget;

    TUpdate_Pipeline pipeline;
    pipeline.Texts = Lang;
    pipeline.Port_Source = Port_Source;
    pipeline.Echo_Client_Source = Echo_Client_Source;
    pipeline.Port_Check = Port_Check;
    pipeline.Wait = [this](TUpdater_Run &run, const QString &program) {
        FWait->Wait_For(run, program, Updater_Limit_Ms);
    };
    // update.log is appended and synced off the window thread.
    pipeline.File_Work = [this](const std::function<void()> &work) { Run_File_Work(this, work); };
    // What the echo check is doing while it runs, with its time: it may take several seconds.
    QElapsedTimer clock;
    QTimer tick;
    const auto show = [this, &clock] {
        Set_Caption(L_Check, Lang(1153).arg(Typed_Address(), QString::number(clock.elapsed() / 1000)));
    };
    connect(&tick, &QTimer::timeout, this, show);
    const auto hide = qScopeGuard([this] { L_Check->hide(); });
    QString settingsProblem;
    pipeline.On_Progress = [&](TUpdate_Stage stage, const TUpdate_Result &) {
        if (stage == TUpdate_Stage::Echo_Check) {
            clock.start();
            show();
            L_Check->show();
            tick.start(250);
            return;
        }
        tick.stop();
        L_Check->hide();
        // The choices are remembered once the device is known to be there.
        if (stage == (Form_Type == 1 ? TUpdate_Stage::Echo_Answered : TUpdate_Stage::Images_Written)) {
            Last_Update_Option = request.Option;
            Last_Read_Back = request.Read_Back;
            QString &remembered = Form_Type == 1 ? Last_IP_Address : Last_Serial_Port;
            const QString &used = Form_Type == 1 ? request.Address : request.Port.Name;
            if (remembered != used) {
                remembered = used;
                // Written before the updater starts: it may run for minutes, and a program killed meanwhile
                // still offers the address or port again. A failure is told once the run has ended.
                try {
                    TXml_Document settings;
                    Run_File_Work(this, [&settings] { Save_Setting(settings); });
                } catch (const EQuillon_Error &error) {
                    settingsProblem = error.Text();
                }
            }
        }
    };
    Pipeline = &pipeline;
    const auto forget = qScopeGuard([this] { Pipeline = nullptr; });
    TUpdate_Result result = pipeline.Run(request);
    ping_res = result.Ending == TUpdate_Ending::Echo_Unanswered ? 2
               : result.Echo_Replies > 0                        ? 1
                                                                : 0;
    if (!settingsProblem.isEmpty())
        Settings_Problem = settingsProblem;
    return result;
}

void TFBoot::Show_Ending(const TUpdate_Result &result)
{
    // Where the run is kept, one more line of the box that tells how it ended.
    const QString kept = result.Kept ? u'\n' + Lang(1042).arg(QDir::toNativeSeparators(result.Kept->Dir)) : QString();
    switch (result.Ending) {
    case TUpdate_Ending::Refused:
    case TUpdate_Ending::Wrong_Way:
        Message_Box(result.Message, result.Warning ? TMessage_Kind::Warning : TMessage_Kind::Error);
        return;
    case TUpdate_Ending::Busy:
        Report_Busy_Updater(result.Message, result.Holder.Updater_Pid);
        return;
    case TUpdate_Ending::Echo_Unanswered:
        Message_Box(Lang(1036) + u'\n' + Typed_Address(), TMessage_Kind::Warning);
        return;
    case TUpdate_Ending::Echo_Failed:
        // The reason goes with the message: "check the address" alone misleads when the address is fine and
        // the check could not be made (no ICMP socket, no network module).
        Message_Box(result.Message.isEmpty() ? Lang(1037) : Lang(1037) + u'\n' + Escaped_Controls(result.Message),
                    TMessage_Kind::Error);
        return;
    case TUpdate_Ending::Aborted:
        // The dialog was closed during the check: nothing more.
        return;
    case TUpdate_Ending::Other_Target:
        // Answered No: nothing was sent.
        return;
    case TUpdate_Ending::Not_Started:
        Message_Box(result.Message + kept, TMessage_Kind::Error);
        if (!result.Log_Problem.isEmpty())
            Message_Box(Lang(1117).arg(result.Log_Problem), TMessage_Kind::Error);
        return;
    case TUpdate_Ending::Ran:
        break;
    }
    if (!result.Log_Problem.isEmpty())
        Message_Box(Run_End_Text(result.Record, Lang) + QLatin1Char('\n') + Lang(1117).arg(result.Log_Problem) + kept,
                    TMessage_Kind::Error);
    else if (result.Record.End == TRun_End::Limit_Reached && Is_Abandoned_Updater(result.Updater_Pid))
        // Still running and no longer awaited: it may yet be stopped, here or when a later update is refused.
        Offer_To_Stop_Updater(Run_Verdict_Text(result.Record, Join_Path(Conf_Dir, Update_Log_File_Name), Lang) + kept,
                              result.Updater_Pid);
    else
        Show_Verdict(result.Record, kept);
}

void Report_Busy_Updater(const QString &text, qint64 updaterPid)
{
    // An updater this program stopped waiting for may be stopped from here.
    if (Is_Abandoned_Updater(updaterPid))
        Offer_To_Stop_Updater(text, updaterPid);
    else
        Message_Box(text, TMessage_Kind::Warning);
}

void Offer_To_Stop_Updater(const QString &why, qint64 pid)
{
    // No by default: one reflexive Enter must not stop a flash.
    if (Message_Box(why + QStringLiteral("\n\n") + Lang(1146), TMessage_Kind::Confirmation,
                    QMessageBox::Yes | QMessageBox::No, {}, QMessageBox::No) == QMessageBox::Yes)
        Stop_Abandoned_Updater(pid);
}

void TFBoot::Show_Verdict(const TUpdate_Record &record, const QString &kept)
{
    const QString logPath = Join_Path(Conf_Dir, Update_Log_File_Name);
    const QMessageBox::StandardButton pressed =
        Message_Box(Run_Verdict_Text(record, logPath, Lang) + kept,
                    Run_Succeeded(record) ? TMessage_Kind::Information : TMessage_Kind::Warning,
                    QMessageBox::Ok | QMessageBox::Open, {{QMessageBox::Open, Lang(1152)}});
    if (pressed == QMessageBox::Open && !QDesktopServices::openUrl(QUrl::fromLocalFile(logPath)))
        Message_Box(Lang(1151).arg(QDir::toNativeSeparators(logPath)), TMessage_Kind::Warning);
}

void TFBoot::done(int result)
{
    // Closing the dialog ends an echo check under way; nothing is remembered or started after it.
    if (Pipeline)
        Pipeline->Abort_Check();
    QDialog::done(result);
}
