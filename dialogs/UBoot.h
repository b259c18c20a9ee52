#pragma once

// The update dialog: in its serial form the user picks a port, in its Ethernet form types the device's
// address (this configuration's last successful target when it has one); then the operations, and the update
// button runs the external updater and waits for it. It names the configuration it sends and opens its History.

#include "UComon.h"
#include "UEcho_Client.h"
#include "UUpdater_Run.h"

#include <QDialog>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TFHistory;
class TFWait;
class TUpdate_Pipeline;
struct TUpdate_Result;

class TFBoot : public QDialog
{
    Q_OBJECT
public:
    explicit TFBoot(QWidget *parent = nullptr);
    ~TFBoot() override;

    // 0 serial update, 1 Ethernet update; set before each showing.
    int Form_Type = 0;
    // The latest echo check: 0 none yet or failed, 1 reply received, 2 no reply.
    int ping_res = 0;

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
    // The History window its button opens (the main window's).
    TFHistory *FHistory = nullptr;

    void Set_Lang();
    // The key handler of the four address edits: "." moves on to the next edit and is never typed.
    bool KeyPress(QObject *Sender, const QString &Key);
    void Btn_COM_ListClick();
    void Btn_UpdateClick();
    // Fills the port list and selects the remembered port, else a USB adapter, else the first.
    void update_ComPort();
    // The address as typed: the four edits joined with ".".
    QString Typed_Address() const;
    // An update run under way (from the start of the echo check to the updater's end).
    bool Busy() const { return Run_Busy; }

    QWidget *P_Title;
    QLabel *L_SW_Code;
    QLabel *L_SW_Desc;
    // The configuration the update sends.
    QLabel *L_Configuration;
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
    QPushButton *Btn_History;
    // What the echo check is doing while it runs ("Checking 10.1.2.105 ... 3 s").
    QLabel *L_Check;
    TFWait *FWait;

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormShow();
    // The update as chosen, through the one update pipeline; then its ending shown. An address that last
    // received another configuration is asked about first, and sent to only on Yes.
    void Run_Update();
    TUpdate_Result Run_Pipeline(bool forceTarget);
    // Why the address or port chosen could not be remembered in Quillon.xml (told after the run).
    QString Settings_Problem;
    void Show_Ending(const TUpdate_Result &result);
    // The address the Ethernet form starts from: this configuration's last successful target, else the one
    // remembered.
    QString Starting_Address() const;
    // How the run ended, in a box whose icon tells success from anything else, with a button to open update.log;
    // kept names where the run is kept.
    void Show_Verdict(const TUpdate_Record &record, const QString &kept);

    bool Run_Busy = false;
    // The update under way, for a close of the dialog to end its echo check.
    TUpdate_Pipeline *Pipeline = nullptr;
};

// Asks, under why, whether to stop the updater this program stopped waiting for (No by default), and stops it.
void Offer_To_Stop_Updater(const QString &why, qint64 pid);
// A refusal because an updater runs: a warning, or the question whether to stop it when it is one this program
// stopped waiting for.
void Report_Busy_Updater(const QString &text, qint64 updaterPid);
