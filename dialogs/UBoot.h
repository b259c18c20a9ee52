#pragma once

// The update dialog: in its serial form the user picks a port, in its Ethernet form types the device's
// address; then the operations, and the update button runs the external updater and waits for it.

#include "UComon.h"
#include "UEcho_Client.h"
#include "UUpdater_Run.h"
#include "UXml_Document.h"

#include <QDialog>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TEcho_Check;
class TFWait;
class TUpdater_Lock;

class TFBoot : public QDialog
{
    Q_OBJECT
public:
    explicit TFBoot(QWidget *parent = nullptr);
    ~TFBoot() override;

    // 0 serial update, 1 Ethernet update; set before each showing.
    int Form_Type = 0;
    // The latest echo attempt: 0 none yet or failed, 1 reply received, 2 no reply.
    int ping_res = 0;
    // Whether the configuration whose images the update step wrote may be sent; set before each showing.
    TSend_Verdict Verdict;

    // Where the port list, the echo client, the port access check and the wait limit come from; tests and
    // the screenshot tool put their own in.
    std::function<QList<TSerial_Port>()> Port_Source = List_COM_Ports;
    std::function<std::unique_ptr<TEcho_Client>()> Echo_Client_Source = [] {
        return std::make_unique<TIcmp_Echo_Client>();
    };
    std::function<QString(const QString &location)> Port_Check = [](const QString &location) {
        return Port_Permission_Problem(location, Lang);
    };
    int Updater_Limit_Ms = Updater_Wait_Limit_Ms;

    void Set_Lang();
    // The key handler of the four address edits: "." moves on to the next edit and is never typed.
    bool KeyPress(QObject *Sender, const QString &Key);
    void Btn_COM_ListClick();
    void Btn_UpdateClick();
    // Fills the port list and selects the remembered port, else a USB adapter, else the first.
    void update_ComPort();
    // The echo check of the typed address; true when the device answered.
    bool Send_Ping();
    // Writes Ethernet_Update.xml beside the executable; throws EQuillon_Error when it cannot be written.
    void Compile_XML_Parameter_New_Boot();
    // The address as typed: the four edits joined with ".".
    QString Typed_Address() const;
    // An update run under way (from the start of the echo check to the updater's end).
    bool Busy() const { return Run_Busy; }

    QWidget *P_Title;
    QLabel *L_SW_Code;
    QLabel *L_SW_Desc;
    QWidget *P_IP_Address;
    QLabel *L_IP_Address;
    QLineEdit *E_IP1;
    QLineEdit *E_IP2;
    QLineEdit *E_IP3;
    QLineEdit *E_IP4;
    QWidget *P_Serial;
    QLabel *L_COM_Port;
    QComboBox *CB_COM_Port;
    QPushButton *Btn_COM_List;
    QWidget *P_Options;
    QLabel *L_Update_Option;
    QComboBox *CB_Update_Options;
    QCheckBox *CB_Update_Option_Read_Back;
    QWidget *P_Button;
    QPushButton *Btn_Update;
    QPushButton *Btn_Cancel;
    // What the echo check is doing while it runs ("Checking 10.1.2.105 ... 3 s").
    QLabel *L_Check;
    TFWait *FWait;
    // The Ethernet updater's parameter file.
    TXml_Document XML1;

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormShow();
    void Serial_Run();
    void Ethernet_Run();
    // Why the chosen update must not start (message box shown), else false.
    bool Refused(int optionIndex);
    // Takes the workspace's updater lock for program on target; false (message box shown) when another
    // updater runs in the workspace or the lock cannot be made.
    bool Take_Updater_Lock(const QString &program, const QString &target);
    void Start_Updater(const QStringList &arguments, TUpdate_Record record);
    // How the run ended, in a box whose icon tells success from anything else, with a button to open update.log.
    void Show_Verdict(const TUpdate_Record &record);

    TEcho_Check *Check = nullptr;
    bool Ping_Aborted = false;
    // Why the last echo check could not be made (empty when it was made, answered or not).
    QString Ping_Failure;
    bool Run_Busy = false;
    // Held from the start of an update to the updater's end (past it when the updater outlives the wait).
    std::shared_ptr<TUpdater_Lock> Lock;
};
