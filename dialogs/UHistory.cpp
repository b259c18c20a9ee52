#include "UHistory.h"

#include "UComon.h"
#include "ULanguage.h"
#include "ULook.h"
#include "UMessage.h"
#include "UScreen_Place.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QResizeEvent>
#include <QTreeWidget>

#include <algorithm>

namespace {

constexpr int Client_Width = 600;
constexpr int Client_Height = 470;
constexpr int Margin = 16;
constexpr int Right_Margin = 26;
constexpr int Runs_Label_Top = 76;
constexpr int Label_Height = 18;
constexpr int Gap = 8;
constexpr int Button_Band_Height = 40;
constexpr int Button_Width = 110;

enum TRun_Column
{
    Time_Column,
    Target_Column,
    Sent_Column,
    Ending_Column,
    Column_Count
};

// An empty cell would be read out as nothing at all; a dash says there is nothing there.
const QString No_Value = QStringLiteral("\u2013");

} // namespace

TFHistory::TFHistory(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FHistory"));
    Apply_Window_Look(this);
    Folder_Opener = [](const QUrl &url) { return QDesktopServices::openUrl(url); };

    P_Title = Create_Title_Band(this, Client_Width);
    L_SW_Code = P_Title->findChild<QLabel *>(QStringLiteral("L_SW_Code"));
    L_SW_Desc = P_Title->findChild<QLabel *>(QStringLiteral("L_SW_Desc"));
    Set_Caption_Room(L_SW_Desc, Client_Width - Margin - Right_Margin, Qt::ElideMiddle);

    L_Runs = Create_Label(this, QStringLiteral("L_Runs"), Margin, Runs_Label_Top, true);
    LB_Runs = new QTreeWidget(this);
    LB_Runs->setObjectName(QStringLiteral("LB_Runs"));
    LB_Runs->setColumnCount(Column_Count);
    LB_Runs->setRootIsDecorated(false);
    LB_Runs->setItemsExpandable(false);
    LB_Runs->setUniformRowHeights(true);
    LB_Runs->setSelectionMode(QAbstractItemView::SingleSelection);
    LB_Runs->setAllColumnsShowFocus(true);
    LB_Runs->header()->setStretchLastSection(true);
    LB_Runs->header()->setSectionsMovable(false);

    L_Differences = Create_Label(this, QStringLiteral("L_Differences"), Margin, 0, true);
    LB_Differences = new QListWidget(this);
    LB_Differences->setObjectName(QStringLiteral("LB_Differences"));
    LB_Differences->setSelectionMode(QAbstractItemView::SingleSelection);

    P_Button = Create_Button_Band(this, Client_Width, Client_Height);
    Btn_Open_Folder =
        Create_Picture_Button(P_Button, QStringLiteral("Btn_Open_Folder"), QStringLiteral("open"), 0, 6, 160, 28, 18);
    Btn_OK =
        Create_Picture_Button(P_Button, QStringLiteral("Btn_OK"), QStringLiteral("ok"), 0, 6, Button_Width, 28, 18);
    setTabOrder(LB_Runs, LB_Differences);
    setTabOrder(LB_Differences, Btn_Open_Folder);
    setTabOrder(Btn_Open_Folder, Btn_OK);

    connect(LB_Runs, &QTreeWidget::currentItemChanged, this, [this] { Run_Handler([this] { Show_Differences(); }); });
    connect(Btn_Open_Folder, &QPushButton::clicked, this, [this] { Run_Handler([this] { Btn_Open_FolderClick(); }); });
    connect(Btn_OK, &QPushButton::clicked, this, &QDialog::accept);

    Set_Caption(L_SW_Code, SW_Code);
    setMinimumSize(440, 360);
    resize(Client_Width, Client_Height);
    Set_Lang();
}

void TFHistory::Set_Lang()
{
    setWindowTitle(Lang(1057));
    Set_Caption(L_SW_Desc, Lang(1041).arg(Conf_Name));
    LB_Runs->setHeaderLabels({Lang(1059), Lang(1060), Lang(1061), Lang(1062)});
    Btn_Open_Folder->setText(Lang(1067));
    Btn_Open_Folder->setToolTip(Lang(1069));
    Btn_OK->setText(Lang(1160));
    Caption_Labels();
    // The rows' words (endings, options) follow the language too.
    if (isVisible())
        Load_Runs();
    Describe_Controls(this);
}

void TFHistory::Caption_Labels()
{
    const int room = width() - Margin - Right_Margin;
    Set_Caption_Room(L_Runs, room);
    Set_Caption_Room(L_Differences, room);
    Set_Caption(L_Runs, Lang(1058));
    Set_Caption(L_Differences, Lang(1064));
    Name_By_Label(LB_Runs, L_Runs);
    Name_By_Label(LB_Differences, L_Differences);
}

void TFHistory::resizeEvent(QResizeEvent *event)
{
    const int width = event->size().width();
    const int height = event->size().height();
    P_Title->resize(width, P_Title->height());
    P_Button->setGeometry(0, height - Button_Band_Height, width, Button_Band_Height);
    Btn_OK->move(width - Right_Margin - Btn_OK->width(), Btn_OK->y());
    Btn_Open_Folder->move(Btn_OK->x() - Gap - Btn_Open_Folder->width(), Btn_Open_Folder->y());
    // The two lists share what is left between the title band and the buttons, the runs a little more.
    const int listWidth = std::max(0, width - Margin - Right_Margin);
    const int top = Runs_Label_Top + Label_Height;
    const int room = std::max(0, height - Button_Band_Height - Gap - top - Label_Height - 2 * Gap);
    const int runsHeight = room * 11 / 20;
    LB_Runs->setGeometry(Margin, top, listWidth, runsHeight);
    L_Differences->move(Margin, top + runsHeight + Gap);
    LB_Differences->setGeometry(Margin, L_Differences->y() + Label_Height, listWidth, room - runsHeight);
    QDialog::resizeEvent(event);
    Caption_Labels();
}

void TFHistory::showEvent(QShowEvent *event)
{
    // A window shown again by the desktop (after minimising, say) is not a new showing.
    if (!event->spontaneous()) {
        Set_Caption(L_SW_Desc, Lang(1041).arg(Conf_Name));
        Load_Runs();
        LB_Runs->setFocus();
        Place_On_Screen(this);
    }
    QDialog::showEvent(event);
}

void TFHistory::Load_Runs()
{
    // Runs and the configuration as it stands are read once per showing; a selection compares the two.
    Runs = Conf_Dir.isEmpty() ? QList<TSent_Run>() : Read_Sent_Runs(Conf_Dir, Kept_Runs);
    Now.reset();
    Now_Problem.clear();
    if (!Conf_Dir.isEmpty()) {
        try {
            Now = Make_Config_Data(ParGen_File, Lang);
        } catch (const EQuillon_Error &error) {
            Now_Problem = error.Text();
        }
    }
    const QSignalBlocker quiet(LB_Runs);
    LB_Runs->clear();
    for (const TSent_Run &run : std::as_const(Runs)) {
        QStringList cells;
        if (run.Problem.isEmpty())
            cells = {Shown_Run_Time(run.Started), run.Target.isEmpty() ? No_Value : Escaped_Controls(run.Target),
                     Run_Option_Text(run.Option, Lang), Run_Ending_Text(run, Lang)};
        else
            cells = {run.Id, No_Value, No_Value, Lang(1063).arg(Escaped_Controls(run.Problem))};
        auto *item = new QTreeWidgetItem(LB_Runs, cells);
        item->setToolTip(Ending_Column, cells[Ending_Column]);
    }
    for (int column = 0; column + 1 < Column_Count; ++column)
        LB_Runs->resizeColumnToContents(column);
    if (LB_Runs->topLevelItemCount() > 0)
        LB_Runs->setCurrentItem(LB_Runs->topLevelItem(0));
    Show_Differences();
}

const TSent_Run *TFHistory::Selected_Run() const
{
    const int row = LB_Runs->indexOfTopLevelItem(LB_Runs->currentItem());
    return row >= 0 && row < Runs.size() ? &Runs[row] : nullptr;
}

void TFHistory::Show_Differences()
{
    LB_Differences->clear();
    const TSent_Run *run = Selected_Run();
    Btn_Open_Folder->setEnabled(run && QFileInfo(run->Dir).isDir() && !QFileInfo(run->Dir).isSymLink());
    QStringList lines;
    if (!run) {
        lines = {Lang(1043)};
    } else if (!run->Problem.isEmpty()) {
        lines = {Lang(1066).arg(Escaped_Controls(run->Problem))};
    } else if (!Now) {
        lines = {Lang(1066).arg(Escaped_Controls(Now_Problem))};
    } else {
        try {
            for (const TKey_Change &change : Key_Changes(Sent_Images(*run), *Now, Lang))
                lines.append(Key_Change_Text(change, Lang));
            if (lines.isEmpty())
                lines = {Lang(1065)};
        } catch (const EQuillon_Error &error) {
            lines = {Lang(1066).arg(Escaped_Controls(error.Text()))};
        }
    }
    LB_Differences->addItems(lines);
    LB_Differences->setCurrentRow(0);
}

void TFHistory::Btn_Open_FolderClick()
{
    const TSent_Run *run = Selected_Run();
    if (!run)
        return;
    // Where no file manager opens, the folder is named so that it can be found by hand.
    if (!Folder_Opener(QUrl::fromLocalFile(run->Dir)))
        Message_Box(Lang(1042).arg(QDir::toNativeSeparators(run->Dir)), TMessage_Kind::Warning);
}
