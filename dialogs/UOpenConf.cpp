#include "UOpenConf.h"

#include "UComon.h"
#include "ULanguage.h"
#include "ULook.h"
#include "UScreen_Place.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QResizeEvent>

#include <algorithm>

static constexpr int Client_Width = 377;
static constexpr int Client_Height = 351;
// The list keeps these distances to the window's edges; the buttons keep theirs to the right edge.
static constexpr int List_Left = 16;
static constexpr int List_Top = 94;
static constexpr int Right_Margin = 26;
static constexpr int List_Gap_Above_Buttons = 8;
static constexpr int Button_Band_Height = 40;

// Upper case of the ASCII letters a to z only.
static QString Ascii_Upper(const QString &text)
{
    QString upper = text;
    for (QChar &c : upper) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    }
    return upper;
}

// Upper case as the file system's table has it: each code unit on its own, one for one (a sharp s stays one
// letter).
static QString File_System_Upper(const QString &text)
{
    QString upper = text;
    for (QChar &c : upper) {
        if (!c.isSurrogate())
            c = c.toUpper();
    }
    return upper;
}

TFOpenConf::TFOpenConf(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FOpenConf"));
    Apply_Window_Look(this);

    P_Title = Create_Title_Band(this, Client_Width);
    L_SW_Code = P_Title->findChild<QLabel *>(QStringLiteral("L_SW_Code"));
    L_SW_Desc = P_Title->findChild<QLabel *>(QStringLiteral("L_SW_Desc"));
    Label1 = Create_Label(this, QStringLiteral("Label1"), 16, 70);
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    P_Button = Create_Button_Band(this, Client_Width, Client_Height);
    Btn_OK = Create_Picture_Button(P_Button, QStringLiteral("Btn_OK"), QStringLiteral("ok"), 123, 6, 110, 28, 18);
    Btn_Cancel =
        Create_Picture_Button(P_Button, QStringLiteral("Btn_Cancel"), QStringLiteral("cancel"), 241, 6, 110, 28, 18);
    setTabOrder(ListBox1, Btn_OK);
    setTabOrder(Btn_OK, Btn_Cancel);

    connect(Btn_OK, &QPushButton::clicked, this, &QDialog::accept);
    connect(Btn_Cancel, &QPushButton::clicked, this, &QDialog::reject);
    // By mouse or keyboard, every change of the selection sets the chosen name.
    connect(ListBox1, &QListWidget::currentRowChanged, this, &TFOpenConf::ListBox1Click);
    // Ctrl+click (or Ctrl+Space) on the chosen item would clear the selection while OK still opens it: one
    // item stays selected whenever the list holds any.
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, [this] {
        if (ListBox1->count() == 0 || !ListBox1->selectedItems().isEmpty())
            return;
        if (!ListBox1->currentItem())
            ListBox1->setCurrentRow(0);
        ListBox1->currentItem()->setSelected(true);
        ListBox1Click();
    });

    Set_Caption(L_SW_Code, SW_Code);
    setMinimumSize(280, 220);
    resize(Client_Width, Client_Height);
    Set_Lang();
}

void TFOpenConf::Set_Lang()
{
    setWindowTitle(Lang(200));
    Set_Caption(L_SW_Desc, Lang(201));
    Set_Caption(Label1, Lang(202));
    Btn_OK->setText(Lang(203));
    Btn_Cancel->setText(Lang(204));
    ListBox1->setToolTip(Lang(205));
    Btn_OK->setToolTip(Lang(206));
    Btn_Cancel->setToolTip(Lang(207));
    Name_By_Label(ListBox1, Label1);
    Describe_Controls(this);
}

void TFOpenConf::resizeEvent(QResizeEvent *event)
{
    const int width = event->size().width();
    const int height = event->size().height();
    P_Title->resize(width, P_Title->height());
    P_Button->setGeometry(0, height - Button_Band_Height, width, Button_Band_Height);
    Btn_Cancel->move(width - Right_Margin - Btn_Cancel->width(), Btn_Cancel->y());
    Btn_OK->move(Btn_Cancel->x() - 8 - Btn_OK->width(), Btn_OK->y());
    ListBox1->setGeometry(List_Left, List_Top, std::max(0, width - List_Left - Right_Margin),
                          std::max(0, height - Button_Band_Height - List_Gap_Above_Buttons - List_Top));
    QDialog::resizeEvent(event);
}

void TFOpenConf::showEvent(QShowEvent *event)
{
    Form_Show();
    Place_On_Screen(this);
    QDialog::showEvent(event);
}

void TFOpenConf::Form_Show()
{
    SL.clear();
    Load_Existing_Configuration();
    ListBox1->clear();
    ListBox1->addItems(SL);
    // The open configuration's name: what follows PROJECTS and its separator in Conf_Dir.
    const QString prefix = Projects_Dir + QDir::separator();
    const QString current = Conf_Dir.startsWith(prefix) ? Conf_Dir.mid(prefix.size()) : QString();
    const int index = Search_Open_Conf(current);
    if (index != -1) {
        ListBox1->setCurrentRow(index);
        Name_Conf = ListBox1->item(index)->text();
    } else if (ListBox1->count() > 0) {
        ListBox1->setCurrentRow(0);
        Name_Conf = ListBox1->item(0)->text();
    } else {
        // Nothing to choose: OK hands back no configuration, never a name of an earlier showing.
        Name_Conf.clear();
    }
    ListBox1->setFocus();
}

void TFOpenConf::Load_Existing_Configuration()
{
    SL.clear();
    // Directories only, hidden ones left out, "." and ".." passed over; a missing PROJECTS gives nothing.
    SL = QDir(Projects_Dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
    // A name the settings file could not keep (a control character, say) is not offered; one only Windows
    // refuses, made here by hand or by an earlier version, still is.
    SL.removeIf([](const QString &name) { return !Is_Usable_Directory_Name(name); });
    // The order of the reference platform's file system: the names compared upper-cased, code unit by code
    // unit (so "_under" follows "zulu"). Names that differ only in case (possible here) keep a fixed order
    // among themselves.
    std::sort(SL.begin(), SL.end(), [](const QString &a, const QString &b) {
        const int byName = File_System_Upper(a).compare(File_System_Upper(b), Qt::CaseSensitive);
        return byName != 0 ? byName < 0 : a < b;
    });
}

int TFOpenConf::Search_Open_Conf(const QString &snc) const
{
    // On a file system that tells letter cases apart, the open configuration's own directory comes first.
    const int exact = SL.indexOf(snc);
    if (exact != -1)
        return exact;
    const QString wanted = Ascii_Upper(snc);
    for (int i = 0; i < SL.size(); ++i) {
        if (Ascii_Upper(SL[i]) == wanted)
            return i;
    }
    return -1;
}

void TFOpenConf::ListBox1Click()
{
    if (QListWidgetItem *item = ListBox1->currentItem())
        Name_Conf = item->text();
}
