#include "UParGen.h"

#include "UComon.h"
#include "UFile_Work_Wait.h"
#include "ULanguage.h"
#include "ULook.h"
#include "UMessage.h"
#include "UScreen_Place.h"
#include "UWait.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QValidator>
#include <QWheelEvent>

#include <algorithm>
#include <limits>

namespace {

constexpr int Client_Width = 460;
constexpr int Client_Height = 700;
constexpr int Title_Height = 69;
constexpr int Button_Band_Height = 40;
constexpr int Header_Height = 24;
constexpr int Line_Step = 8;
// Space below a category's last control.
constexpr int Bottom_Gap = 12;

// The content grid of a category.
constexpr int Label_Left = 14;
constexpr int Input_Left = 191;
constexpr int Input_Width = 238;
constexpr int List_Height = 22;
constexpr int Edit_Height = 21;
constexpr int First_Row = 9;
constexpr int Row_Pitch = 28;
constexpr int Label_Drop = 3;
constexpr int Check_Height = 17;
constexpr int Check_Width = 415;
constexpr int Octet_Width = 55;
constexpr int Octet_Left[4] = {191, 252, 313, 374};
constexpr int Dot_Left[3] = {247, 308, 369};
constexpr int Gateway_Row = 66;
constexpr int Gateway_Check_Top = 68;
constexpr int Gateway_Check_Width = 175;

constexpr int Heading_Pixel_Size = 15;
constexpr int Header_Padding = 6;
constexpr int Header_Picture_Size = 16;

// The entries that caption the items of the device type and parity lists, in the lists' order. Baud rates and
// RS232 / RS485 read the same in every language.
constexpr int Device_Type_Entries[] = {1163, 1164};
constexpr int Parity_Entries[] = {1165, 1166, 1167};

// Captions a list's items from the language table, item i from entries[i].
template <size_t N> void Caption_Items(QComboBox *list, const int (&entries)[N])
{
    for (int i = 0; i < int(N) && i < list->count(); ++i)
        list->setItemText(i, Lang(entries[i]));
}

int Row_Top(int row)
{
    return First_Row + row * Row_Pitch;
}

// Keeps out of a text field, as it is typed or pasted, every character an XML file cannot hold, so that
// what is saved can be read back. Nothing else is filtered.
class TXml_Text_Validator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override
    {
        if (!Is_Xml_Text(input)) {
            pos = int(Xml_Text_Only(input.left(pos)).size());
            input = Xml_Text_Only(input);
        }
        return Acceptable;
    }
};

QLabel *Create_Grid_Label(QWidget *content, const QString &name, int left, int top)
{
    QLabel *label = Create_Label(content, name, left, top, false, TText_Colour::Form_Text);
    // A caption in the label column ends before the inputs.
    if (left < Input_Left)
        Set_Caption_Room(label, Input_Left - left - 4);
    return label;
}

// A drop-down list filled from the one table of lists that also maps quillon-cli's values (Settings_Lists).
QComboBox *Create_List(QWidget *content, const QString &name, int row, const char *key)
{
    auto *list = new QComboBox(content);
    list->setObjectName(name);
    list->addItems(Settings_List_Of(QLatin1String(key))->Items);
    list->setGeometry(Input_Left, Row_Top(row), Input_Width, List_Height);
    return list;
}

QLineEdit *Create_Edit(QWidget *content, const QString &name, int left, int top, int width, QValidator *validator)
{
    auto *edit = new QLineEdit(content);
    edit->setObjectName(name);
    edit->setGeometry(left, top, width, Edit_Height);
    // Any length: the ranges are checked on OK.
    edit->setMaxLength(std::numeric_limits<int>::max());
    edit->setValidator(validator);
    return edit;
}

QCheckBox *Create_Check(QWidget *content, const QString &name, int top, int width)
{
    auto *check = new QCheckBox(content);
    check->setObjectName(name);
    check->setGeometry(Label_Left, top, width, Check_Height);
    return check;
}

void Select_Index(QComboBox *list, int index)
{
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

} // namespace

TCategory_Header::TCategory_Header(QWidget *parent) : QWidget(parent)
{
    setCursor(Qt::PointingHandCursor);
}

void TCategory_Header::paintEvent(QPaintEvent *)
{
    const QIcon picture = Program_Icon(
        Collapsed ? QStringLiteral("category_collapsed") : QStringLiteral("category_expanded"), Header_Picture_Size);
    QPainter painter(this);
    painter.fillRect(rect(), Colours().Header);
    const int pictureLeft = width() - Header_Padding - Header_Picture_Size;
    painter.setFont(Program_Font(Heading_Pixel_Size, true));
    painter.setPen(Colours().Header_Text);
    const QRect textRect(Header_Padding, 0, std::max(0, pictureLeft - 2 * Header_Padding), height());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                     painter.fontMetrics().elidedText(Heading, Qt::ElideRight, textRect.width()));
    painter.drawPixmap(
        QRect(pictureLeft, (height() - Header_Picture_Size) / 2, Header_Picture_Size, Header_Picture_Size),
        picture.pixmap(QSize(Header_Picture_Size, Header_Picture_Size), devicePixelRatioF()));
}

void TCategory_Header::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QWidget::mouseReleaseEvent(event);
}

TCategory_Panel::TCategory_Panel(QWidget *parent, const QString &objectName) : QWidget(parent)
{
    setObjectName(objectName);
    Header = new TCategory_Header(this);
    Header->setObjectName(objectName + QStringLiteral("_Header"));
    Content = new QWidget(this);
    Content->setObjectName(objectName + QStringLiteral("_Content"));
    Set_Text_Colour(Content, TText_Colour::Form_Text);
}

int TCategory_Panel::Rule_Height() const
{
    if (Collapsed() || !Last_Control)
        return Header_Height;
    return Last_Control->y() + Last_Control->height() + Bottom_Gap + Header_Height;
}

void TCategory_Panel::Set_Collapsed(bool collapsed)
{
    Header->Collapsed = collapsed;
    Content->setHidden(collapsed);
    Header->update();
}

void TCategory_Panel::resizeEvent(QResizeEvent *event)
{
    Header->setGeometry(0, 0, width(), Header_Height);
    Content->setGeometry(0, Header_Height, width(), std::max(0, height() - Header_Height));
    QWidget::resizeEvent(event);
}

TFParGen::TFParGen(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    // FormCreate.
    setObjectName(QStringLiteral("FParGen"));
    Apply_Window_Look(this);
    Place_Controls();
    Set_Caption(L_SW_Code, SW_Code);

    // Width fixed; 700 high, but never taller than the room the screen gives a window.
    setFixedWidth(Client_Width);
    setMinimumHeight(Title_Height + Header_Height + Button_Band_Height);
    const QRect room = Room_On_Screen(this);
    resize(Client_Width, room.isEmpty() ? Client_Height : std::min(Client_Height, room.height()));

    // The design values, which the first showing keeps when ParGen.xml cannot be read.
    Show_Fields(Form_Initial_Fields());
    Order_TAB_Panels();
    Move_GroupBoxs();
    Set_Lang();
}

void TFParGen::Place_Controls()
{
    P_Title = Create_Title_Band(this, Client_Width);
    L_SW_Code = P_Title->findChild<QLabel *>(QStringLiteral("L_SW_Code"));
    L_SW_Desc = P_Title->findChild<QLabel *>(QStringLiteral("L_SW_Desc"));

    CPG = new QScrollArea(this);
    CPG->setObjectName(QStringLiteral("CPG"));
    CPG->setFrameShape(QFrame::NoFrame);
    CPG->setFocusPolicy(Qt::NoFocus);
    CPG->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    CPG->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    CPG->setWidgetResizable(false);
    CPG->verticalScrollBar()->setSingleStep(Line_Step);
    Group_Content = new QWidget;
    Group_Content->setObjectName(QStringLiteral("CPG_Content"));
    CPG->setWidget(Group_Content);
    CPG->viewport()->setAutoFillBackground(false);
    Group_Content->setAutoFillBackground(false);

    CP_Device_Type = new TCategory_Panel(Group_Content, QStringLiteral("CP_Device_Type"));
    CP_Port0 = new TCategory_Panel(Group_Content, QStringLiteral("CP_Port0"));
    CP_Port1 = new TCategory_Panel(Group_Content, QStringLiteral("CP_Port1"));
    CP_Options = new TCategory_Panel(Group_Content, QStringLiteral("CP_Options"));
    CP_Ethernet = new TCategory_Panel(Group_Content, QStringLiteral("CP_Ethernet"));
    Categories[0] = CP_Device_Type;
    Categories[1] = CP_Port0;
    Categories[2] = CP_Port1;
    Categories[3] = CP_Options;
    Categories[4] = CP_Ethernet;

    auto *validator = new TXml_Text_Validator(this);
    const auto label = [](TCategory_Panel *category, const char *name, int row) {
        return Create_Grid_Label(category->Content, QLatin1String(name), Label_Left, Row_Top(row) + Label_Drop);
    };
    const auto edit = [validator](TCategory_Panel *category, const char *name, int row) {
        return Create_Edit(category->Content, QLatin1String(name), Input_Left, Row_Top(row), Input_Width, validator);
    };

    // 1 Device type.
    QWidget *content = CP_Device_Type->Content;
    L_Device_Type_Type = label(CP_Device_Type, "L_Device_Type_Type", 0);
    CB_Device_Type_Type = Create_List(content, QStringLiteral("CB_Device_Type_Type"), 0, "Device_Type_Type");
    CP_Device_Type->Last_Control = CB_Device_Type_Type;

    // 2 Port 0.
    content = CP_Port0->Content;
    L_Port0_Baudrate = label(CP_Port0, "L_Port0_Baudrate", 0);
    CB_Port0_Baudrate = Create_List(content, QStringLiteral("CB_Port0_Baudrate"), 0, "Port_0_Baud");
    L_Port0_Parity = label(CP_Port0, "L_Port0_Parity", 1);
    CB_Port0_Parity = Create_List(content, QStringLiteral("CB_Port0_Parity"), 1, "Port_0_Par");
    L_Port0_Device_ID = label(CP_Port0, "L_Port0_Device_ID", 2);
    E_Port0_Device_ID = edit(CP_Port0, "E_Port0_Device_ID", 2);
    CB_Port0_Enable_Broadcast =
        Create_Check(content, QStringLiteral("CB_Port0_Enable_Broadcast"), Row_Top(3) + Label_Drop, Check_Width);
    CP_Port0->Last_Control = CB_Port0_Enable_Broadcast;

    // 3 Port 1.
    content = CP_Port1->Content;
    L_Port1_Serial = label(CP_Port1, "L_Port1_Serial", 0);
    CB_Port1_Serial = Create_List(content, QStringLiteral("CB_Port1_Serial"), 0, "Port_1_Port");
    L_Port1_Baudrate = label(CP_Port1, "L_Port1_Baudrate", 1);
    CB_Port1_Baudrate = Create_List(content, QStringLiteral("CB_Port1_Baudrate"), 1, "Port_1_Baud");
    L_Port1_Parity = label(CP_Port1, "L_Port1_Parity", 2);
    CB_Port1_Parity = Create_List(content, QStringLiteral("CB_Port1_Parity"), 2, "Port_1_Par");
    L_Port1_Device_ID = label(CP_Port1, "L_Port1_Device_ID", 3);
    E_Port1_Device_ID = edit(CP_Port1, "E_Port1_Device_ID", 3);
    CB_Port1_Enable_Broadcast =
        Create_Check(content, QStringLiteral("CB_Port1_Enable_Broadcast"), Row_Top(4) + Label_Drop, Check_Width);
    CP_Port1->Last_Control = CB_Port1_Enable_Broadcast;

    // 4 Options.
    L_Options_Offset_Registers = label(CP_Options, "L_Options_Offset_Registers", 0);
    E_Options_Offset_Registers = edit(CP_Options, "E_Options_Offset_Registers", 0);
    L_Options_Offset_Status = label(CP_Options, "L_Options_Offset_Status", 1);
    E_Options_Offset_Status = edit(CP_Options, "E_Options_Offset_Status", 1);
    CP_Options->Last_Control = E_Options_Offset_Status;

    // 5 Ethernet: three rows of four octet fields with a "." between them.
    content = CP_Ethernet->Content;
    const auto octetRow = [&](const char *row, int top, QLineEdit *fields[4]) {
        for (int i = 0; i < 4; ++i)
            fields[i] = Create_Edit(content, QStringLiteral("E_") + Octet_Key(row, i), Octet_Left[i], top, Octet_Width,
                                    validator);
        for (int i = 0; i < 3; ++i) {
            QLabel *dot =
                Create_Grid_Label(content, QStringLiteral("L_Ethernet_%1_Dot%2").arg(QLatin1String(row)).arg(i + 1),
                                  Dot_Left[i], top + Label_Drop);
            Set_Caption(dot, QStringLiteral("."));
        }
    };
    L_Ethernet_IP = label(CP_Ethernet, "L_Ethernet_IP", 0);
    octetRow("IP", Row_Top(0), E_Ethernet_IP);
    L_Ethernet_SM = label(CP_Ethernet, "L_Ethernet_SM", 1);
    octetRow("SM", Row_Top(1), E_Ethernet_SM);
    CB_Ethernet_En_GAT =
        Create_Check(content, QStringLiteral("CB_Ethernet_En_GAT"), Gateway_Check_Top, Gateway_Check_Width);
    octetRow("GAT", Gateway_Row, E_Ethernet_GAT);
    CP_Ethernet->Last_Control = E_Ethernet_GAT[3];
    for (int i = 0; i < 4; ++i) {
        Octet_Chain[i] = E_Ethernet_IP[i];
        Octet_Chain[4 + i] = E_Ethernet_SM[i];
        Octet_Chain[8 + i] = E_Ethernet_GAT[i];
    }

    P_Button = Create_Button_Band(this, Client_Width, Client_Height);
    Btn_OK = Create_Picture_Button(P_Button, QStringLiteral("Btn_OK"), QStringLiteral("ok"), 217, 6, 110, 28, 18);
    Btn_Cancel =
        Create_Picture_Button(P_Button, QStringLiteral("Btn_Cancel"), QStringLiteral("cancel"), 335, 6, 110, 28, 18);

    connect(Btn_OK, &QPushButton::clicked, this, &TFParGen::Btn_OKClick);
    connect(Btn_Cancel, &QPushButton::clicked, this, &QDialog::reject);
    // On_Change: only the device type changes what is shown.
    connect(CB_Device_Type_Type, &QComboBox::currentIndexChanged, this, [this] { Move_GroupBoxs(); });
    for (TCategory_Panel *category : Categories)
        connect(category->Header, &TCategory_Header::clicked, this, [this, category] { Toggle_Category(category); });

    // The wheel over anything inside the group, the "." of the octet fields, focus arriving in the group, and
    // the group's width.
    CPG->viewport()->installEventFilter(this);
    Group_Content->installEventFilter(this);
    for (QWidget *child : Group_Content->findChildren<QWidget *>())
        child->installEventFilter(this);
}

void TFParGen::Order_TAB_Panels()
{
    for (TCategory_Panel *category : Categories)
        category->setHidden(category == CP_Ethernet && CB_Device_Type_Type->currentIndex() != 1);

    // The tab order follows the categories, then the buttons.
    QList<QWidget *> order = {CB_Device_Type_Type,
                              CB_Port0_Baudrate,
                              CB_Port0_Parity,
                              E_Port0_Device_ID,
                              CB_Port0_Enable_Broadcast,
                              CB_Port1_Serial,
                              CB_Port1_Baudrate,
                              CB_Port1_Parity,
                              E_Port1_Device_ID,
                              CB_Port1_Enable_Broadcast,
                              E_Options_Offset_Registers,
                              E_Options_Offset_Status};
    for (QLineEdit *field : E_Ethernet_IP)
        order.append(field);
    for (QLineEdit *field : E_Ethernet_SM)
        order.append(field);
    order.append(CB_Ethernet_En_GAT);
    for (QLineEdit *field : E_Ethernet_GAT)
        order.append(field);
    order << Btn_OK << Btn_Cancel;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TFParGen::Set_Lang()
{
    setWindowTitle(Lang(400));
    Set_Caption(L_SW_Desc, Lang(401));
    Btn_OK->setText(Lang(402));
    Btn_Cancel->setText(Lang(403));
    Btn_OK->setToolTip(Lang(404));
    Btn_Cancel->setToolTip(Lang(405));

    // The category headings follow the language as well, so that the dialog never shows two at once.
    const int headings[5] = {454, 406, 415, 426, 431};
    for (int i = 0; i < 5; ++i) {
        Categories[i]->Header->Heading = QStringLiteral("%1. ").arg(i + 1) + Lang(headings[i]);
        Categories[i]->Header->update();
    }

    Set_Caption(L_Device_Type_Type, Lang(455));
    CB_Device_Type_Type->setToolTip(Lang(456));
    Caption_Items(CB_Device_Type_Type, Device_Type_Entries);
    Caption_Items(CB_Port0_Parity, Parity_Entries);
    Caption_Items(CB_Port1_Parity, Parity_Entries);

    Set_Caption(L_Port0_Baudrate, Lang(407));
    CB_Port0_Baudrate->setToolTip(Lang(408));
    Set_Caption(L_Port0_Parity, Lang(409));
    CB_Port0_Parity->setToolTip(Lang(410));
    Set_Caption(L_Port0_Device_ID, Lang(411));
    E_Port0_Device_ID->setToolTip(Lang(412));
    CB_Port0_Enable_Broadcast->setText(Lang(413));
    CB_Port0_Enable_Broadcast->setToolTip(Lang(414));

    Set_Caption(L_Port1_Serial, Lang(416));
    CB_Port1_Serial->setToolTip(Lang(417));
    Set_Caption(L_Port1_Baudrate, Lang(418));
    CB_Port1_Baudrate->setToolTip(Lang(419));
    Set_Caption(L_Port1_Parity, Lang(420));
    CB_Port1_Parity->setToolTip(Lang(421));
    Set_Caption(L_Port1_Device_ID, Lang(422));
    E_Port1_Device_ID->setToolTip(Lang(423));
    CB_Port1_Enable_Broadcast->setText(Lang(424));
    CB_Port1_Enable_Broadcast->setToolTip(Lang(425));

    Set_Caption(L_Options_Offset_Registers, Lang(427));
    E_Options_Offset_Registers->setToolTip(Lang(428));
    Set_Caption(L_Options_Offset_Status, Lang(429));
    E_Options_Offset_Status->setToolTip(Lang(430));

    Set_Caption(L_Ethernet_IP, Lang(432));
    Set_Caption(L_Ethernet_SM, Lang(437));
    CB_Ethernet_En_GAT->setText(Lang(442));
    CB_Ethernet_En_GAT->setToolTip(Lang(443));
    for (int i = 0; i < 4; ++i) {
        E_Ethernet_IP[i]->setToolTip(Lang(433 + i));
        E_Ethernet_SM[i]->setToolTip(Lang(438 + i));
        E_Ethernet_GAT[i]->setToolTip(Lang(444 + i));
    }

    const std::pair<QWidget *, QLabel *> labelled[] = {
        {CB_Device_Type_Type, L_Device_Type_Type},
        {CB_Port0_Baudrate, L_Port0_Baudrate},
        {CB_Port0_Parity, L_Port0_Parity},
        {E_Port0_Device_ID, L_Port0_Device_ID},
        {CB_Port1_Serial, L_Port1_Serial},
        {CB_Port1_Baudrate, L_Port1_Baudrate},
        {CB_Port1_Parity, L_Port1_Parity},
        {E_Port1_Device_ID, L_Port1_Device_ID},
        {E_Options_Offset_Registers, L_Options_Offset_Registers},
        {E_Options_Offset_Status, L_Options_Offset_Status},
    };
    for (const auto &[control, label] : labelled)
        Name_By_Label(control, label);
    // The gateway's fields are named by the check box that turns them on.
    Name_Octets(E_Ethernet_IP, Lang(432), Lang(1145));
    Name_Octets(E_Ethernet_SM, Lang(437), Lang(1145));
    Name_Octets(E_Ethernet_GAT, Lang(442), Lang(1145));
    Describe_Controls(this);
}

void TFParGen::showEvent(QShowEvent *event)
{
    // A window shown again by the desktop (after minimising, say) is not a new showing.
    if (!event->spontaneous()) {
        FormShow();
        Place_On_Screen(this);
    }
    QDialog::showEvent(event);
}

void TFParGen::FormShow()
{
    // The parser's message once the dialog is on the screen.
    Load_Controls(true);
}

void TFParGen::Load_Controls(bool reportLater)
{
    TParGen_Fields fields;
    try {
        fields = Load_ParGen_Fields(XML_ParGen, ParGen_File, Loaded_ParGen);
    } catch (const EQuillon_Error &error) {
        // The controls keep what they held.
        if (reportLater)
            QTimer::singleShot(0, this, [text = error.Text()] { Report_Error(text); });
        else
            Report_Error(error.Text());
        return;
    }
    Show_Fields(fields);
    Move_GroupBoxs();
}

bool TFParGen::May_Write_Over_Changes()
{
    if (!ParGen_Changed_Since(Loaded_ParGen, ParGen_File))
        return true;
    // Not writing is the answer Enter gives.
    switch (Message_Box(Lang(1178).arg(Conf_Name), TMessage_Kind::Confirmation,
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, {}, QMessageBox::No)) {
    case QMessageBox::Yes:
        return true;
    case QMessageBox::No:
        Load_Controls(false);
        return false;
    default:
        return false;
    }
}

TParGen_Fields TFParGen::Fields() const
{
    TParGen_Fields f;
    f.Device_Type_Type = CB_Device_Type_Type->currentIndex();
    f.Port_0_Baud = CB_Port0_Baudrate->currentIndex();
    f.Port_0_Par = CB_Port0_Parity->currentIndex();
    f.Port_0_DevID = E_Port0_Device_ID->text();
    f.Port_0_BroadCast = CB_Port0_Enable_Broadcast->isChecked();
    f.Port_1_Port = CB_Port1_Serial->currentIndex();
    f.Port_1_Baud = CB_Port1_Baudrate->currentIndex();
    f.Port_1_Par = CB_Port1_Parity->currentIndex();
    f.Port_1_DevID = E_Port1_Device_ID->text();
    f.Port_1_BroadCast = CB_Port1_Enable_Broadcast->isChecked();
    f.Opt_Off_Reg = E_Options_Offset_Registers->text();
    f.Opt_Off_Status = E_Options_Offset_Status->text();
    for (int i = 0; i < 4; ++i) {
        f.Ethernet_IP[i] = E_Ethernet_IP[i]->text();
        f.Ethernet_SM[i] = E_Ethernet_SM[i]->text();
        f.Ethernet_GAT[i] = E_Ethernet_GAT[i]->text();
    }
    f.Ethernet_EN_GAT = CB_Ethernet_En_GAT->isChecked();
    return f;
}

void TFParGen::Show_Fields(const TParGen_Fields &f)
{
    Select_Index(CB_Device_Type_Type, f.Device_Type_Type);
    Select_Index(CB_Port0_Baudrate, f.Port_0_Baud);
    Select_Index(CB_Port0_Parity, f.Port_0_Par);
    E_Port0_Device_ID->setText(f.Port_0_DevID);
    CB_Port0_Enable_Broadcast->setChecked(f.Port_0_BroadCast);
    Select_Index(CB_Port1_Serial, f.Port_1_Port);
    Select_Index(CB_Port1_Baudrate, f.Port_1_Baud);
    Select_Index(CB_Port1_Parity, f.Port_1_Par);
    E_Port1_Device_ID->setText(f.Port_1_DevID);
    CB_Port1_Enable_Broadcast->setChecked(f.Port_1_BroadCast);
    E_Options_Offset_Registers->setText(f.Opt_Off_Reg);
    E_Options_Offset_Status->setText(f.Opt_Off_Status);
    for (int i = 0; i < 4; ++i) {
        E_Ethernet_IP[i]->setText(f.Ethernet_IP[i]);
        E_Ethernet_SM[i]->setText(f.Ethernet_SM[i]);
        E_Ethernet_GAT[i]->setText(f.Ethernet_GAT[i]);
    }
    CB_Ethernet_En_GAT->setChecked(f.Ethernet_EN_GAT);
}

bool TFParGen::Controllo_Dati()
{
    const int failure = Controllo_Dati_Failure(Fields());
    if (failure == 0)
        return true;
    Message_Box(Lang(failure), TMessage_Kind::Error);
    return false;
}

void TFParGen::Btn_OKClick()
{
    // A list left without a selection would be saved as -1, which no device takes.
    const QString unselected = List_Selection_Failure(Fields(), Lang);
    if (!unselected.isEmpty()) {
        Message_Box(unselected, TMessage_Kind::Error);
        return;
    }
    if (!Controllo_Dati())
        return;
    if (!May_Write_Over_Changes())
        return;
    // A file that cannot be written is reported and the dialog stays open with the entries as typed.
    Run_Handler([this] {
        Run_File_Work(this, [this, fields = Fields(), path = ParGen_File] { Save_ParGen(XML_ParGen, fields, path); });
        accept();
    });
}

void TFParGen::Move_GroupBoxs()
{
    CP_Ethernet->setHidden(CB_Device_Type_Type->currentIndex() == 0);
    Stack_Categories();
}

void TFParGen::Stack_Categories()
{
    const int width = CPG->viewport()->width();
    int top = 0;
    for (TCategory_Panel *category : Categories) {
        if (category->isHidden())
            continue;
        const int height = category->Rule_Height();
        category->setGeometry(0, top, width, height);
        top += height;
    }
    Group_Content->resize(width, top);
}

void TFParGen::Toggle_Category(TCategory_Panel *category)
{
    category->Set_Collapsed(!category->Collapsed());
    Stack_Categories();
    if (category->Collapsed())
        return;
    // An expanded category is brought into view, its header first when it is taller than the group.
    QScrollBar *bar = CPG->verticalScrollBar();
    const int top = category->y();
    const int bottom = top + category->height();
    const int shown = CPG->viewport()->height();
    if (bottom > bar->value() + shown)
        bar->setValue(std::min(top, bottom - shown));
    else if (top < bar->value())
        bar->setValue(top);
}

void TFParGen::resizeEvent(QResizeEvent *event)
{
    // The fixed width is only a hint to a window manager; where none honours it (or none runs) a width forced
    // from outside is put back once this event is done.
    if (width() != Client_Width && isWindow())
        QTimer::singleShot(0, this, [this] {
            if (width() != Client_Width)
                resize(Client_Width, height());
        });
    // FormResize: the width stays fixed; the group takes the height between the bands.
    P_Title->setGeometry(0, 0, width(), Title_Height);
    P_Button->setGeometry(0, height() - Button_Band_Height, width(), Button_Band_Height);
    CPG->setGeometry(0, Title_Height, width(), std::max(0, height() - Title_Height - Button_Band_Height));
    QDialog::resizeEvent(event);
}

void TFParGen::keyPressEvent(QKeyEvent *event)
{
    // Escape is not tied to Cancel: only Cancel and the close box close the dialog without saving.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TFParGen::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Wheel:
        if (auto *widget = qobject_cast<QWidget *>(watched); widget && widget->window() == this)
            return Form_Mouse_Wheel(static_cast<QWheelEvent *>(event));
        break;
    case QEvent::KeyPress:
        if (auto *field = qobject_cast<QLineEdit *>(watched);
            field && std::find(std::begin(Octet_Chain), std::end(Octet_Chain), field) != std::end(Octet_Chain))
            return Octet_Key_Press(field, static_cast<QKeyEvent *>(event));
        break;
    case QEvent::Resize:
        if (watched == CPG->viewport())
            Stack_Categories();
        break;
    case QEvent::FocusIn:
        // A control reached by the keyboard is scrolled into view, also when Tab wraps round from the buttons.
        if (auto *widget = qobject_cast<QWidget *>(watched);
            widget && static_cast<QFocusEvent *>(event)->reason() != Qt::MouseFocusReason)
            CPG->ensureWidgetVisible(widget);
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

bool TFParGen::Form_Mouse_Wheel(const QWheelEvent *event)
{
    const QPoint at = CPG->viewport()->mapFromGlobal(event->globalPosition().toPoint());
    if (!CPG->viewport()->rect().contains(at))
        return false;
    const int lines = QApplication::wheelScrollLines();
    if (lines < 1)
        return true;
    // Only the direction of a notch counts. An event without vertical movement (a sideways tilt, or the
    // start or end of a touchpad gesture) scrolls nothing.
    int delta = event->angleDelta().y();
    if (delta == 0)
        delta = event->pixelDelta().y();
    if (delta == 0)
        return true;
    const auto step = delta > 0 ? QAbstractSlider::SliderSingleStepSub : QAbstractSlider::SliderSingleStepAdd;
    for (int i = 0; i < lines; ++i)
        CPG->verticalScrollBar()->triggerAction(step);
    return true;
}

bool TFParGen::Octet_Key_Press(QLineEdit *field, const QKeyEvent *event)
{
    if (event->text() != u".")
        return false;
    // The "." itself is never typed; it moves on to the next field when that one can take the focus.
    const auto at = std::find(std::begin(Octet_Chain), std::end(Octet_Chain), field);
    if (at + 1 == std::end(Octet_Chain))
        return true;
    QLineEdit *next = *(at + 1);
    if (next->isVisible() && next->isEnabled()) {
        next->setFocus(Qt::TabFocusReason);
        next->selectAll();
    }
    return true;
}
