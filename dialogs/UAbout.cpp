#include "UAbout.h"

#include "UComon.h"
#include "ULanguage.h"
#include "ULook.h"
#include "UScreen_Place.h"
#include "UWeb_Page.h"

#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <utility>

static constexpr int Client_Width = 425;
static constexpr int Client_Height = 148;
static constexpr int Label4_Left = 316;
static constexpr int Label4_Right_Margin = 8;
// The values' column: a caption of the labels' column is fitted to end before it.
static constexpr int Caption_Left = 128;
static constexpr int Value_Left = 240;

static QLabel *About_Label(QWidget *parent, const QString &objectName, int left, int top, const QString &text)
{
    QLabel *label = Create_Label(parent, objectName, left, top, false, TText_Colour::Strong_Text);
    Set_Caption(label, text);
    return label;
}

TFAbout::TFAbout(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FAbout"));
    Apply_Window_Look(this);

    Image2 = new TClick_Label(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(32, 24, 81, 81);
    Image2->setScaledContents(true);
    Image2->setPixmap(Program_Logo());

    Label1 = About_Label(this, QStringLiteral("Label1"), 128, 24, QString());
    Label1->setFont(Program_Font(13, true));
    Label2 = About_Label(this, QStringLiteral("Label2"), 128, 39, QString());
    Label6 = About_Label(this, QStringLiteral("Label6"), 128, 62, QString());
    Label9 = About_Label(this, QStringLiteral("Label9"), 240, 62, QString());
    Label3 = About_Label(this, QStringLiteral("Label3"), 128, 77, QString());
    Label10 = About_Label(this, QStringLiteral("Label10"), 240, 77, QString());
    Label8 = About_Label(this, QStringLiteral("Label8"), 128, 93, QString());
    Label12 = About_Label(this, QStringLiteral("Label12"), 240, 93, QString());
    // The workspace in use: where the configurations and settings of this run are kept. A long path is cut in
    // its middle; the whole of it is the label's hint.
    Label13 = About_Label(this, QStringLiteral("Label13"), 128, 109, QString());
    Label14 = About_Label(this, QStringLiteral("Label14"), 240, 109, QString());
    Set_Caption_Room(Label14, Client_Width - Label4_Right_Margin - Value_Left, Qt::ElideMiddle);
    for (QLabel *caption : {Label6, Label3, Label8, Label13})
        Set_Caption_Room(caption, Value_Left - Caption_Left - 4);

    Label4 = new TClick_Label(this);
    Label4->setObjectName(QStringLiteral("Label4"));
    QFont link = Program_Font();
    link.setUnderline(true);
    Label4->setFont(link);
    Set_Text_Colour(Label4, TText_Colour::Link);
    Set_Caption(Label4, Home_Page_Url().host());
    // The address stays inside the box whatever the font makes of its width.
    Label4->move(std::min(Label4_Left, Client_Width - Label4_Right_Margin - Label4->width()), 131);

    LbButton1 = new QPushButton(this);
    LbButton1->setObjectName(QStringLiteral("LbButton1"));
    LbButton1->setGeometry(32, 115, 81, 22);
    LbButton1->setCursor(Qt::PointingHandCursor);
    LbButton1->setAutoDefault(false);

    connect(LbButton1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Image2, &TClick_Label::clicked, this, &TFAbout::Label4Click);
    connect(Label4, &TClick_Label::clicked, this, &TFAbout::Label4Click);

    setFixedSize(Client_Width, Client_Height);
    Set_Lang();
}

void TFAbout::Set_Lang()
{
    setWindowTitle(Lang(1154));
    Set_Caption(Label1, Lang(1155));
    Set_Caption(Label6, Lang(1156));
    Set_Caption(Label3, Lang(1157));
    Set_Caption(Label8, Lang(1158));
    Set_Caption(Label13, Lang(1159));
    LbButton1->setText(Lang(1160));
    Set_Caption(Label2, Lang(1161));
    Describe_Controls(this);
}

void TFAbout::showEvent(QShowEvent *event)
{
    for (auto [label, text] : {std::pair{Label9, SW_Code}, std::pair{Label10, Program_Version},
                               std::pair{Label12, Document_Code}, std::pair{Label14, Program_Dir}}) {
        Set_Caption(label, text);
    }
    setFixedSize(Client_Width, Client_Height);
    Place_On_Screen(this);
    QDialog::showEvent(event);
}

void TFAbout::Label4Click()
{
    Open_Web_Page(Home_Page_Url());
}
