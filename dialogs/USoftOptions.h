#pragma once

// The software options dialog: the language of every window, chosen by its flag; the use of the internet
// with the periodic and the immediate version check; two table settings and the look of the windows. OK copies the
// choices into the shared state, after which the main window writes the settings file; Cancel drops them.

#include <QDialog>
#include <QStringList>

#include <functional>

class TVersion_Check;

// What the options dialog asks of the main window, which makes it: re-caption every window after a change of
// language, run the version check, and restart the periodic check after a change of its settings.
struct TMain_Window_Calls
{
    std::function<void()> Change_Language;
    TVersion_Check *Version_Check = nullptr;
    std::function<void()> Set_Timer_Update;
};
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QWidget;
class TClick_Label;

class TFSoftOptions : public QDialog
{
    Q_OBJECT
public:
    static constexpr int Slots = 6;

    // Main_Window is the dialog's parent; main holds what the dialog asks of it.
    TFSoftOptions(QWidget *Main_Window, TMain_Window_Calls main);

    // The language page shown, counted from 1.
    int Show_Page = 1;
    // The language file names (with their ".lng" ending) found at the last showing, sorted.
    QStringList SL_Languages;
    // The language chosen in the dialog; it becomes Language_Name on OK.
    QString Language_In_Use;

    void Set_Lang();
    // Lists the language files of LANGUAGE and shows page 1.
    void Create_Lang_List();
    // Shows page Num_Page of the languages: names, flags, page label and page buttons.
    void Update_Lang_Page(int Num_Page);
    // Previous and Next, told apart by the sender.
    void Btn_NextClick(QObject *Sender);
    // A slot's picture or label clicked: slot counted from 1.
    void LangClick(int Slot);
    // The enabling rule of the connection page.
    void Update_CheckBox();
    void Btn_Check_UpdateClick();
    void Btn_OKClick();
    // The immediate check's result in LL_Check_Update.
    void Show_Check_Result(bool Newer);
    // Asks the version endpoint; done(newer) runs when the answer has arrived (see TVersion_Check).
    void Check_Version(std::function<void(bool)> done);

    // Number of language pages: 0 when no language is listed.
    int Page_Count() const;

    QWidget *P_Title;
    QLabel *L_SW_Code;
    QLabel *L_SW_Desc;
    QTabWidget *PC_Options;
    QWidget *TS_Language;
    QLabel *L_Sel_Lang;
    TClick_Label *I_L[Slots]; // I_L1 to I_L6
    TClick_Label *L_L[Slots]; // L_L1 to L_L6
    QPushButton *Btn_Prev;
    QLabel *L_Page_Lang;
    QPushButton *Btn_Next;
    QWidget *TS_Con_Options;
    QCheckBox *CB_En_Con;
    QCheckBox *CB_Update;
    QPushButton *Btn_Check_Update;
    QLabel *LL_Check_Update;
    QWidget *TS_Soft_Settings;
    QCheckBox *CB_Soft_Set_Jump_Table;
    QCheckBox *CB_DoubleClick_Auto_Size;
    QLabel *L_Look;
    QComboBox *CB_Look; // "light", "dark", "system" as item data
    QWidget *P_Button;
    QPushButton *Btn_OK;
    QPushButton *Btn_Cancel;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Form_Show();
    void Show_Page_Label();
    void Show_Check_Text();

    TMain_Window_Calls Main;
    // An immediate check is under way; its button stays disabled until the answer.
    bool Checking = false;
    // Counts the showings, so that the answer of a check asked at an earlier showing is not shown.
    int Showing = 0;
    // The result shown in LL_Check_Update: -1 none, 0 no update, 1 a newer version.
    int Check_Result = -1;
    // The look the page showed at this showing.
    QString Look_Shown;
};
