#pragma once

// The main window: the start-up of the program, the configuration box, the three steps and the header
// buttons, and the settings file written when the window closes.

#include "UXml_Document.h"

#include <QCoreApplication>
#include <QStringList>
#include <QWidget>

#include <memory>

class QFrame;
class QLabel;
class QPushButton;
class QTimer;
class TClick_Label;
class TFAbout;
class TFBoot;
class TFHistory;
class TFNew_Project;
class TFOpenConf;
class TFSoftOptions;
class TVersion_Check;
class TFParGen;
struct TConfig_Status;

class DIRevevoriVezaDiva : public QWidget
{
    Q_OBJECT
public:
    // Runs the start-up in the workspace programDir (Locate_Workspace's choice).
    explicit DIRevevoriVezaDiva(const QString &programDir = QCoreApplication::applicationDirPath(),
                                QWidget *parent = nullptr);
    ~DIRevevoriVezaDiva() override;

    // Captions every control from the language table and refreshes the configuration box.
    void Set_Lang();
    // Re-captions every window after a change of language.
    void Change_Language();
    // The one click handler of the eight buttons.
    void Btn_Click(QObject *Sender);
    // Step 1: a new configuration, or an existing one.
    void Create_New_Project();
    void Open_Project();
    // Step 3: rebuilds bin/bank.bin and bin/bankK.bin from ParGen.xml, then shows the update dialog in the
    // form the device type asks for. When the files cannot be built or written, the error reaches the
    // top-level report and the dialog does not open.
    void Update_Device();
    // Opens the maker's home page.
    void L_VelmoraClick();
    // The periodic version check: a tick starts a check and keeps the timer off until its answer.
    void Timer_UpdateTimer();
    // The answer of a periodic check: the new-version link shown or hidden, the timer running again.
    void Show_Update_Link(bool Newer);
    // Timer_Update runs exactly when Enable_Internet and Enable_Update are both on; a running timer keeps its
    // count and its interval.
    void Set_Timer_Update();
    // The configuration box by its one rule: open configuration or none.
    void Show_Configuration_Box();
    // The open configuration's state line (never sent, in sync, changed since, failed), read from its newest
    // kept runs; hidden while none is open.
    void Show_Send_State();

    // Problems met during start-up (an unreadable settings or language file), reported once it has ended.
    const QStringList &Start_Up_Problems() const { return Problems; }
    void Report_Start_Up_Problems();

    // Writes the settings file as soon as a remembered value changed (the open configuration, the options), so
    // that a program killed later loses nothing. Throws EQuillon_Error when it cannot be written.
    void Remember_Settings();
    // Writes the settings file when the program ends: at a close of the window, at the end of the desktop
    // session, or at the end of the message loop when neither came first. Returns the error text of a
    // file that could not be written, empty on success.
    QString Save_Settings_At_Exit();
    void About_To_Quit();

    // Controls.
    QLabel *L_SW_Code;
    QLabel *L_SW_Desc;
    QLabel *LL_Update;
    QPushButton *Btn_Info;
    QPushButton *Btn_Opz;
    QPushButton *Btn_Close;
    QFrame *Shape2;
    QLabel *L_Name_Conf;
    QLabel *L_Name_Conf_L2;
    QLabel *L_Begin;
    QLabel *L_Step[8]; // L_Step_1 to L_Step_8
    QPushButton *Btn_New;
    QPushButton *Btn_Open;
    QPushButton *Btn_Prm_Gen;
    QPushButton *Btn_CreateBin;
    QPushButton *Btn_History;
    QLabel *L_Send_State;
    QFrame *Shape1;
    TClick_Label *L_Velmora;
    QTimer *Timer_Update;
    // The program's one HTTP client: the version check.
    TVersion_Check *HTTP1;

    // The settings file's document; the update step reads ParGen.xml through it as well.
    TXml_Document XML1;

    // The dialogs, created after the main window in the program's order.
    TFAbout *FAbout = nullptr;
    TFNew_Project *FNew_Project = nullptr;
    TFOpenConf *FOpenConf = nullptr;
    TFSoftOptions *FSoftOptions = nullptr;
    TFParGen *FParGen = nullptr;
    TFBoot *FBoot = nullptr;
    TFHistory *FHistory = nullptr;

protected:
    // FormClose: writes the settings file, whatever closed the window.
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Create(const QString &programDir);
    void Place_Controls();
    // The new-version link's text in the language in force; a hidden link gets it when it is shown (its rich
    // text costs a document laid out, which a start-up without a newer version never needs).
    void Caption_Update_Link();
    // The state line of the status last read, in the language in force.
    void Caption_Send_State();

    QStringList Problems;
    std::shared_ptr<const TConfig_Status> Send_Status;
    bool Settings_Written_At_Exit = false;
};
