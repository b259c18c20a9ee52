#include "UNew_Project.h"

#include "UComon.h"
#include "ULanguage.h"
#include "ULook.h"
#include "UMessage.h"
#include "UScreen_Place.h"
#include "UWorkspace.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

static constexpr int Client_Width = 331;
static constexpr int Client_Height = 162;

TFNew_Project::TFNew_Project(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FNew_Project"));
    Apply_Window_Look(this);

    P_Title = Create_Title_Band(this, Client_Width);
    L_SW_Code = P_Title->findChild<QLabel *>(QStringLiteral("L_SW_Code"));
    L_SW_Desc = P_Title->findChild<QLabel *>(QStringLiteral("L_SW_Desc"));
    Label1 = Create_Label(this, QStringLiteral("Label1"), 16, 70);
    E_New_Proj = new QLineEdit(this);
    E_New_Proj->setObjectName(QStringLiteral("E_New_Proj"));
    E_New_Proj->setGeometry(16, 94, 297, 21);
    P_Button = Create_Button_Band(this, Client_Width, Client_Height);
    Btn_OK = Create_Picture_Button(P_Button, QStringLiteral("Btn_OK"), QStringLiteral("ok"), 85, 6, 110, 28, 18);
    Btn_Cancel =
        Create_Picture_Button(P_Button, QStringLiteral("Btn_Cancel"), QStringLiteral("cancel"), 203, 6, 110, 28, 18);
    setTabOrder(E_New_Proj, Btn_OK);
    setTabOrder(Btn_OK, Btn_Cancel);

    connect(Btn_OK, &QPushButton::clicked, this, &TFNew_Project::Btn_OKClick);
    connect(Btn_Cancel, &QPushButton::clicked, this, &QDialog::reject);
    // Enter in the edit confirms the name.
    connect(E_New_Proj, &QLineEdit::returnPressed, this, &TFNew_Project::Btn_OKClick);

    Set_Caption(L_SW_Code, SW_Code);
    setFixedSize(Client_Width, Client_Height);
    Set_Lang();
}

void TFNew_Project::Set_Lang()
{
    setWindowTitle(Lang(100));
    Set_Caption(L_SW_Desc, Lang(101));
    Set_Caption(Label1, Lang(102));
    Btn_OK->setText(Lang(103));
    Btn_Cancel->setText(Lang(104));
    E_New_Proj->setToolTip(Lang(108));
    Btn_OK->setToolTip(Lang(109));
    Btn_Cancel->setToolTip(Lang(110));
    Name_By_Label(E_New_Proj, Label1);
    Describe_Controls(this);
}

void TFNew_Project::showEvent(QShowEvent *event)
{
    // FormShow: every showing starts with an empty edit.
    E_New_Proj->clear();
    E_New_Proj->setFocus();
    Place_On_Screen(this);
    QDialog::showEvent(event);
}

void TFNew_Project::Refuse_Name(int entry, const QString &why)
{
    // The entry alone does not say which rule the name broke.
    Refuse(why.isEmpty() ? Lang(entry) : Lang(entry) + QStringLiteral(": ") + why);
}

void TFNew_Project::Refuse(const QString &text)
{
    Message_Box(text, TMessage_Kind::Error);
    // Back to the name, all of it selected: the correction is typed at once.
    E_New_Proj->setFocus(Qt::OtherFocusReason);
    E_New_Proj->selectAll();
}

void TFNew_Project::Btn_OKClick()
{
    // The name exactly as typed: blanks are part of it.
    const QString name = E_New_Proj->text();
    QString why;
    if (const int refusal = New_Configuration_Refusal(Projects_Dir, name, &why)) {
        Refuse_Name(refusal, why);
        return;
    }
    const QString path = Join_Path(Projects_Dir, name);
    // A directory the system refuses to create is no fault of the name: the message names it and the reason.
    const QString problem = Create_Directory(path);
    if (!problem.isEmpty()) {
        Refuse(problem);
        return;
    }
    // A bin directory that cannot be created is not reported: the update step creates it when it writes.
    QDir().mkpath(Join_Path(path, QStringLiteral("bin")));
    Conf_Name = name;
    Conf_Dir = Join_Path(Projects_Dir, Conf_Name);
    Set_Files();
    accept();
}
