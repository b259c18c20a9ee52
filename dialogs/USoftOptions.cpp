#include "USoftOptions.h"

#include "UComon.h"
#include "ULanguage.h"
#include "ULook.h"
#include "UMessage.h"
#include "UScreen_Place.h"
#include "UVersion_Check.h"
#include "UWeb_Page.h"
#include "UXml_Document.h"

#include <QAccessibleWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int Client_Width = 509;
constexpr int Client_Height = 373;
constexpr int Title_Height = 69;
constexpr int Button_Band_Height = 40;
constexpr int Flag_Size = 48;
// A flag picture larger than this is not a flag: it is not read.
constexpr int Flag_Read_Limit = 2048;
const QString Language_Ending = QStringLiteral(".lng");
const QString Default_Flag = QStringLiteral("DefaultFlag.bmp");

// Places of the six slots on the language page: picture, then label.
constexpr QPoint Picture_Place[TFSoftOptions::Slots] = {{24, 40},  {26, 94},  {24, 148},
                                                        {254, 40}, {254, 94}, {254, 148}};
constexpr QPoint Label_Place[TFSoftOptions::Slots] = {{80, 56},  {80, 110},  {80, 164},
                                                      {310, 56}, {310, 110}, {310, 164}};
// Room of a language name: from its place to the next column's picture, less a margin.
constexpr int Label_Column_Width = 254 - 80 - 8;

// Marks a language name for the accessibility factory below.
constexpr char Language_Slot_Property[] = "languageSlot";

// A slot's language name, which the keyboard reaches as well: Tab to it, then Space or Enter.
class TLanguage_Slot_Label : public TClick_Label
{
public:
    explicit TLanguage_Slot_Label(QWidget *parent) : TClick_Label(parent)
    {
        setProperty(Language_Slot_Property, true);
        setFocusPolicy(Qt::StrongFocus);
    }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        switch (event->key()) {
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();
            emit clicked();
            return;
        default:
            TClick_Label::keyPressEvent(event);
        }
    }
    void paintEvent(QPaintEvent *event) override
    {
        TClick_Label::paintEvent(event);
        if (!hasFocus())
            return;
        // A plain frame in the link colour: the platform's focus rectangle is too pale to find at a glance.
        QPainter painter(this);
        painter.setPen(QPen(Colours().Focus, 1));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

// To a screen reader a language name is what it is to the eye and the keyboard: a button, pressed to switch to
// that language (not a piece of text).
class TLanguage_Slot_Access : public QAccessibleWidget
{
public:
    explicit TLanguage_Slot_Access(QWidget *widget) : QAccessibleWidget(widget, QAccessible::Button) {}
    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }
    void doAction(const QString &action) override
    {
        if (action == pressAction() && widget()->isEnabled())
            emit static_cast<TClick_Label *>(widget())->clicked();
        else
            QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface *Language_Slot_Access(const QString &, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (widget && widget->property(Language_Slot_Property).toBool())
        return new TLanguage_Slot_Access(widget);
    return nullptr;
}

// The picture of a flag file, fitted into the slot's frame; null when the file is missing or unreadable.
QPixmap Load_Flag(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return QPixmap();
    QImageReader reader(path);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > Flag_Read_Limit || size.height() > Flag_Read_Limit))
        return QPixmap();
    QImage image = reader.read();
    if (image.isNull())
        return QPixmap();
    if (image.width() > Flag_Size || image.height() > Flag_Size)
        image = image.scaled(Flag_Size, Flag_Size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return QPixmap::fromImage(image);
}

QCheckBox *Create_Check_Box(QWidget *parent, const QString &objectName, int left, int top)
{
    auto *box = new QCheckBox(parent);
    box->setObjectName(objectName);
    box->move(left, top);
    return box;
}

void Set_Box_Caption(QCheckBox *box, const QString &text)
{
    box->setText(text);
    box->adjustSize();
    // No wider than its page: a longer caption is fitted by the look (smaller, then elided with a tooltip).
    const int room = box->parentWidget()->width() - box->x() - 8;
    if (box->width() > room)
        box->resize(room, box->height());
}

} // namespace

TFSoftOptions::TFSoftOptions(QWidget *Main_Window, TMain_Window_Calls main)
    : QDialog(Main_Window, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowCloseButtonHint),
      Main(std::move(main))
{
    setObjectName(QStringLiteral("FSoftOptions"));
    static const bool factory = (QAccessible::installFactory(Language_Slot_Access), true);
    Q_UNUSED(factory);
    Apply_Window_Look(this);

    P_Title = Create_Title_Band(this, Client_Width);
    L_SW_Code = P_Title->findChild<QLabel *>(QStringLiteral("L_SW_Code"));
    L_SW_Desc = P_Title->findChild<QLabel *>(QStringLiteral("L_SW_Desc"));

    PC_Options = new QTabWidget(this);
    PC_Options->setObjectName(QStringLiteral("PC_Options"));
    PC_Options->setGeometry(0, Title_Height, Client_Width, Client_Height - Title_Height - Button_Band_Height);

    // The language page.
    TS_Language = new QWidget;
    TS_Language->setObjectName(QStringLiteral("TS_Language"));
    L_Sel_Lang = Create_Label(TS_Language, QStringLiteral("L_Sel_Lang"), 12, 11, true);
    for (int k = 0; k < Slots; ++k) {
        auto *picture = new TClick_Label(TS_Language);
        picture->setObjectName(QStringLiteral("I_L%1").arg(k + 1));
        picture->setGeometry(QRect(Picture_Place[k], QSize(Flag_Size, Flag_Size)));
        picture->setAlignment(Qt::AlignCenter);
        I_L[k] = picture;
        auto *label = new TLanguage_Slot_Label(TS_Language);
        label->setObjectName(QStringLiteral("L_L%1").arg(k + 1));
        label->move(Label_Place[k]);
        // A long name ends before the next column (or the page's edge).
        Set_Caption_Room(label, Label_Column_Width);
        label->setFont(Program_Font(Text_Pixel_Size, true));
        Set_Text_Colour(label, TText_Colour::Text);
        L_L[k] = label;
        for (TClick_Label *control : {static_cast<TClick_Label *>(picture), static_cast<TClick_Label *>(label)})
            connect(control, &TClick_Label::clicked, this, [this, k] { Run_Handler([&] { LangClick(k + 1); }); });
    }
    Btn_Prev = Create_Picture_Button(TS_Language, QStringLiteral("Btn_Prev"), QStringLiteral("opt_prev"), 12, 204, 110,
                                     28, 18);
    L_Page_Lang = Create_Label(TS_Language, QStringLiteral("L_Page_Lang"), 220, 212);
    // Up to the next-page button, never under it.
    Set_Caption_Room(L_Page_Lang, 379 - 220 - 4);
    Btn_Next = Create_Picture_Button(TS_Language, QStringLiteral("Btn_Next"), QStringLiteral("opt_next"), 379, 205, 110,
                                     28, 18);
    // The picture on the right of the caption.
    Btn_Next->setProperty(Caption_Left_Property, false);
    Btn_Next->setLayoutDirection(Qt::RightToLeft);
    for (QPushButton *button : {Btn_Prev, Btn_Next})
        connect(button, &QPushButton::clicked, this, [this, button] { Run_Handler([&] { Btn_NextClick(button); }); });

    // The connection page.
    TS_Con_Options = new QWidget;
    TS_Con_Options->setObjectName(QStringLiteral("TS_Con_Options"));
    CB_En_Con = Create_Check_Box(TS_Con_Options, QStringLiteral("CB_En_Con"), 12, 16);
    CB_Update = Create_Check_Box(TS_Con_Options, QStringLiteral("CB_Update"), 36, 47);
    Btn_Check_Update = Create_Picture_Button(TS_Con_Options, QStringLiteral("Btn_Check_Update"),
                                             QStringLiteral("opt_check"), 36, 78, 204, 28, 18);
    LL_Check_Update = Create_Label(TS_Con_Options, QStringLiteral("LL_Check_Update"), 40, 120);
    LL_Check_Update->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    LL_Check_Update->setOpenExternalLinks(false);
    LL_Check_Update->hide();
    connect(Btn_Check_Update, &QPushButton::clicked, this, [this] { Run_Handler([&] { Btn_Check_UpdateClick(); }); });
    connect(LL_Check_Update, &QLabel::linkActivated, this, [](const QString &link) { Open_Web_Page(QUrl(link)); });

    // The software settings page.
    TS_Soft_Settings = new QWidget;
    TS_Soft_Settings->setObjectName(QStringLiteral("TS_Soft_Settings"));
    CB_Soft_Set_Jump_Table = Create_Check_Box(TS_Soft_Settings, QStringLiteral("CB_Soft_Set_Jump_Table"), 12, 16);
    CB_DoubleClick_Auto_Size = Create_Check_Box(TS_Soft_Settings, QStringLiteral("CB_DoubleClick_Auto_Size"), 12, 39);
    L_Look = Create_Label(TS_Soft_Settings, QStringLiteral("L_Look"), 12, 74, true);
    CB_Look = new QComboBox(TS_Soft_Settings);
    CB_Look->setObjectName(QStringLiteral("CB_Look"));
    CB_Look->setGeometry(12, 92, 220, 22);
    for (int k = 0; k < Look_Choice_Names.size(); ++k)
        CB_Look->addItem(QString(), Look_Choice_Names[k]);
    Name_By_Label(CB_Look, L_Look);
    for (QCheckBox *box : {CB_En_Con, CB_Update, CB_Soft_Set_Jump_Table, CB_DoubleClick_Auto_Size})
        connect(box, &QCheckBox::toggled, this, &TFSoftOptions::Update_CheckBox);

    PC_Options->addTab(TS_Language, QString());
    PC_Options->addTab(TS_Con_Options, QString());
    PC_Options->addTab(TS_Soft_Settings, QString());

    P_Button = Create_Button_Band(this, Client_Width, Client_Height);
    Btn_OK = Create_Picture_Button(P_Button, QStringLiteral("Btn_OK"), QStringLiteral("ok"), 16, 6, 110, 28, 18);
    Btn_Cancel =
        Create_Picture_Button(P_Button, QStringLiteral("Btn_Cancel"), QStringLiteral("cancel"), 134, 6, 110, 28, 18);
    connect(Btn_OK, &QPushButton::clicked, this, [this] { Run_Handler([&] { Btn_OKClick(); }); });
    connect(Btn_Cancel, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(PC_Options, L_L[0]);
    for (int k = 1; k < Slots; ++k)
        setTabOrder(L_L[k - 1], L_L[k]);
    setTabOrder(L_L[Slots - 1], Btn_Prev);
    setTabOrder(Btn_Prev, Btn_Next);
    setTabOrder(Btn_Next, CB_En_Con);
    setTabOrder(CB_En_Con, CB_Update);
    setTabOrder(CB_Update, Btn_Check_Update);
    setTabOrder(Btn_Check_Update, LL_Check_Update);
    setTabOrder(LL_Check_Update, CB_Soft_Set_Jump_Table);
    setTabOrder(CB_Soft_Set_Jump_Table, CB_DoubleClick_Auto_Size);
    setTabOrder(CB_DoubleClick_Auto_Size, CB_Look);
    setTabOrder(CB_Look, Btn_OK);
    setTabOrder(Btn_OK, Btn_Cancel);

    Set_Caption(L_SW_Code, SW_Code);
    setFixedSize(Client_Width, Client_Height);
    Set_Lang();
}

void TFSoftOptions::Set_Lang()
{
    setWindowTitle(Lang(300));
    // The pages' container, which passes the focus on to its tabs.
    PC_Options->setAccessibleName(Lang(300));
    Set_Caption(L_SW_Desc, Lang(301));
    PC_Options->setTabText(PC_Options->indexOf(TS_Language), Lang(302));
    PC_Options->setTabText(PC_Options->indexOf(TS_Con_Options), Lang(303));
    PC_Options->setTabText(PC_Options->indexOf(TS_Soft_Settings), Lang(319));
    Set_Caption(L_Sel_Lang, Lang(304));
    Set_Caption(L_Page_Lang, Lang(305) + QStringLiteral("1") + Lang(306) + QStringLiteral("1"));
    Btn_Prev->setText(Lang(307));
    Btn_Next->setText(Lang(308));
    Set_Box_Caption(CB_En_Con, Lang(309));
    Set_Box_Caption(CB_Update, Lang(310));
    Btn_Check_Update->setText(Lang(311));
    Btn_OK->setText(Lang(312));
    Btn_Cancel->setText(Lang(313));
    Set_Box_Caption(CB_Soft_Set_Jump_Table, Lang(320));
    Set_Box_Caption(CB_DoubleClick_Auto_Size, Lang(321));
    Set_Caption(L_Look, Lang(1172));
    for (int k = 0; k < CB_Look->count(); ++k)
        CB_Look->setItemText(k, Lang(1173 + k));
    CB_Look->setToolTip(Lang(1176));
    // A result on the screen follows the language too.
    Show_Check_Text();
    Describe_Controls(this);
}

void TFSoftOptions::showEvent(QShowEvent *event)
{
    // A show the desktop sends (a restore, a change of workspace) is no new showing: the choices stay.
    if (!event->spontaneous()) {
        Form_Show();
        Place_On_Screen(this);
    }
    QDialog::showEvent(event);
}

void TFSoftOptions::Form_Show()
{
    ++Showing;
    Checking = false;
    Check_Result = -1;
    Language_In_Use = Language_Name;
    Create_Lang_List();
    LL_Check_Update->hide();
    PC_Options->setCurrentWidget(TS_Language);
    CB_En_Con->setChecked(Enable_Internet);
    CB_Update->setChecked(Enable_Update);
    CB_Soft_Set_Jump_Table->setChecked(Enable_Jump_Field_Tables);
    CB_DoubleClick_Auto_Size->setChecked(Enable_Double_Click_Auto_Size);
    CB_Look->setCurrentIndex(std::max(0, CB_Look->findData(Look_Choice)));
    Look_Shown = CB_Look->currentData().toString();
    Update_CheckBox();
    PC_Options->setFocus();
}

void TFSoftOptions::Create_Lang_List()
{
    SL_Languages.clear();
    // Every regular *.lng file, hidden ones included. Where names tell letter cases apart only the ending
    // ".lng" is taken, the one the loader opens.
    QDir::Filters filters = QDir::Files | QDir::Hidden;
#ifndef Q_OS_WIN
    filters |= QDir::CaseSensitive;
#endif
    const QFileInfoList files =
        QDir(Language_Dir).entryInfoList({QStringLiteral("*") + Language_Ending}, filters, QDir::NoSort);
    for (const QFileInfo &file : files) {
#ifdef Q_OS_WIN
        // A read-only language file is left out.
        if (!file.isWritable())
            continue;
#endif
        // A name the settings file could not hold could never be remembered: it is not offered.
        if (!Is_Xml_Text(file.fileName()))
            continue;
        SL_Languages.append(file.fileName());
    }
    // English is built in: it is offered without a file too, so that every switch has its way back.
    const QString english = Default_Language + Language_Ending;
    if (!SL_Languages.contains(english))
        SL_Languages.append(english);
    Sort_Language_Names(SL_Languages);
    Show_Page = 1;
    Update_Lang_Page(1);
}

int TFSoftOptions::Page_Count() const
{
    return (int(SL_Languages.size()) + Slots - 1) / Slots;
}

void TFSoftOptions::Show_Page_Label()
{
    Set_Caption(L_Sel_Lang, Lang(304) + Language_In_Use);
    Set_Caption(L_Page_Lang, Lang(305) + QString::number(Show_Page) + Lang(306) + QString::number(Page_Count()));
}

void TFSoftOptions::Update_Lang_Page(int Num_Page)
{
    const int pages = Page_Count();
    Set_Caption(L_Sel_Lang, Lang(304) + Language_In_Use);
    Set_Caption(L_Page_Lang, Lang(305) + QString::number(Num_Page) + Lang(306) + QString::number(pages));
    Btn_Prev->setVisible(Num_Page != 1);
    // No Next where no page follows, also when no language is listed at all.
    Btn_Next->setVisible(Num_Page < pages);
    const int shown = std::min(Slots, int(SL_Languages.size()) - (Num_Page - 1) * Slots);
    for (int k = 0; k < Slots; ++k) {
        const bool visible = k < shown;
        L_L[k]->setVisible(visible);
        if (!visible) {
            I_L[k]->hide();
            continue;
        }
        const QString name = SL_Languages[(Num_Page - 1) * Slots + k].chopped(Language_Ending.size());
        Set_Caption(L_L[k], name);
        L_L[k]->setAccessibleName(name);
        I_L[k]->setAccessibleName(name);
        QPixmap flag = Load_Flag(Join_Path(Language_Dir, name + QStringLiteral(".bmp")));
        if (flag.isNull())
            flag = Load_Flag(Join_Path(Language_Dir, Default_Flag));
        I_L[k]->setPixmap(flag);
        I_L[k]->setVisible(!flag.isNull());
    }
}

void TFSoftOptions::Btn_NextClick(QObject *Sender)
{
    if (Sender == Btn_Next) {
        if (Page_Count() >= Show_Page + 1)
            ++Show_Page;
    } else if (Sender == Btn_Prev) {
        if (Show_Page >= 2)
            --Show_Page;
    }
    Update_Lang_Page(Show_Page);
}

void TFSoftOptions::LangClick(int Slot)
{
    const int index = (Show_Page - 1) * Slots + Slot - 1;
    if (Slot < 1 || Slot > Slots || index < 0 || index >= SL_Languages.size())
        return;
    const QString chosen = SL_Languages[index].chopped(Language_Ending.size());
    const QString question = Lang(316) + Language_In_Use + Lang(317) + chosen + Lang(318);
    if (Message_Box(question, TMessage_Kind::Confirmation, QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;

    // The shared language setting changes only on OK: the loader takes the chosen name for this load only.
    const QString kept = Language_Name;
    const QStringList keptTable = Language_Texts();
    Language_Name = chosen;
    try {
        Load_Language();
    } catch (const EQuillon_Error &) {
        // A language file that cannot be read: the windows keep the language they show, and the error is
        // reported.
        Language_Name = kept;
        Restore_Language_Table(keptTable);
        throw;
    }
    Language_Name = kept;
    Language_In_Use = chosen;

    Main.Change_Language();
    Show_Page_Label();
}

void TFSoftOptions::Update_CheckBox()
{
    CB_Update->setEnabled(CB_En_Con->isChecked());
    Btn_Check_Update->setEnabled(CB_En_Con->isChecked() && CB_Update->isChecked() && !Checking);
}

void TFSoftOptions::Check_Version(std::function<void(bool)> done)
{
    Main.Version_Check->Check_Version(this, std::move(done));
}

void TFSoftOptions::Btn_Check_UpdateClick()
{
    Checking = true;
    Update_CheckBox();
    // The last answer would read as the answer to this check while it is awaited.
    Check_Result = -1;
    LL_Check_Update->hide();
    const int showing = Showing;
    Check_Version([this, showing](bool newer) {
        // An answer to a check of an earlier showing is not this showing's result.
        if (showing != Showing)
            return;
        Checking = false;
        Show_Check_Result(newer);
        Update_CheckBox();
    });
}

void TFSoftOptions::Show_Check_Result(bool Newer)
{
    Check_Result = Newer ? 1 : 0;
    Show_Check_Text();
    LL_Check_Update->show();
}

void TFSoftOptions::Show_Check_Text()
{
    if (Check_Result == 1) {
        LL_Check_Update->setTextFormat(Qt::RichText);
        Set_Caption(LL_Check_Update,
                    QStringLiteral("<a href=\"%1\">%2</a>")
                        .arg(Download_Page_Url().toString().toHtmlEscaped(), Lang(314).toHtmlEscaped()));
    } else if (Check_Result == 0) {
        LL_Check_Update->setTextFormat(Qt::PlainText);
        Set_Caption(LL_Check_Update, Lang(315));
    }
}

void TFSoftOptions::Btn_OKClick()
{
    Language_Name = Language_In_Use;
    Enable_Internet = CB_En_Con->isChecked();
    // Stored as ticked, also while the box is greyed.
    Enable_Update = CB_Update->isChecked();
    Main.Set_Timer_Update();
    Enable_Jump_Field_Tables = CB_Soft_Set_Jump_Table->isChecked();
    Enable_Double_Click_Auto_Size = CB_DoubleClick_Auto_Size->isChecked();
    // A look chosen here is saved and takes the place of the one given for this run (--look).
    const QString look = CB_Look->currentData().toString();
    if (look != Look_Shown) {
        Look_Choice = look;
        Set_Look_For_This_Run(QString());
        Apply_Look(Wanted_Look());
    }
    accept();
}
