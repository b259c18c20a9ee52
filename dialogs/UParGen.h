#pragma once

// The communication settings dialog: the converter's parameters of the open configuration in five
// collapsible categories. Every showing loads ParGen.xml; OK checks the ranges and writes the file anew,
// Cancel and the close box write nothing. The file and its rules live in the core (UParGen_File); the
// dialog only moves values between them and its controls.

#include "UParGen_File.h"
#include "UXml_Document.h"

#include <QDialog>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;

// The header of a category: its numbered heading and the expand/collapse picture; a click toggles it.
class TCategory_Header : public QWidget
{
    Q_OBJECT
public:
    explicit TCategory_Header(QWidget *parent);

    QString Heading;
    bool Collapsed = false;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// One category of the group: the header on top, the controls below it.
class TCategory_Panel : public QWidget
{
    Q_OBJECT
public:
    TCategory_Panel(QWidget *parent, const QString &objectName);

    // The height rule: the bottom edge of the last control + 12 + the header; the header alone when collapsed.
    int Rule_Height() const;
    bool Collapsed() const { return Header->Collapsed; }
    void Set_Collapsed(bool collapsed);

    TCategory_Header *Header;
    QWidget *Content;
    // The control whose bottom edge sizes the category.
    QWidget *Last_Control = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override;
};

class TFParGen : public QDialog
{
    Q_OBJECT
public:
    explicit TFParGen(QWidget *parent = nullptr);

    // Captions and hints from the language table; the headings keep the language of creation.
    void Set_Lang();
    // Loads ParGen.xml (or the values of a new configuration) into the controls, then refreshes the layout.
    // A file that is not well formed is reported and leaves the controls as they were.
    void FormShow();
    // Checks, writes ParGen.xml and closes with OK; stays open after a refused check or a failed write. A file
    // another program changed since the showing loaded it is written over only when the user says so.
    void Btn_OKClick();
    // The range rules: false after the first failing rule has been reported.
    bool Controllo_Dati();
    // The layout refresh: every category sized by the height rule, category 5 shown unless the device
    // type is the first item, the visible categories stacked without gaps.
    void Move_GroupBoxs();

    // The controls' values, and the controls set from values.
    TParGen_Fields Fields() const;
    void Show_Fields(const TParGen_Fields &fields);

    QWidget *P_Title;
    QLabel *L_SW_Code;
    QLabel *L_SW_Desc;
    QScrollArea *CPG;
    QWidget *P_Button;
    QPushButton *Btn_OK;
    QPushButton *Btn_Cancel;

    TCategory_Panel *CP_Device_Type;
    TCategory_Panel *CP_Port0;
    TCategory_Panel *CP_Port1;
    TCategory_Panel *CP_Options;
    TCategory_Panel *CP_Ethernet;

    QLabel *L_Device_Type_Type;
    QComboBox *CB_Device_Type_Type;

    QLabel *L_Port0_Baudrate;
    QComboBox *CB_Port0_Baudrate;
    QLabel *L_Port0_Parity;
    QComboBox *CB_Port0_Parity;
    QLabel *L_Port0_Device_ID;
    QLineEdit *E_Port0_Device_ID;
    QCheckBox *CB_Port0_Enable_Broadcast;

    QLabel *L_Port1_Serial;
    QComboBox *CB_Port1_Serial;
    QLabel *L_Port1_Baudrate;
    QComboBox *CB_Port1_Baudrate;
    QLabel *L_Port1_Parity;
    QComboBox *CB_Port1_Parity;
    QLabel *L_Port1_Device_ID;
    QLineEdit *E_Port1_Device_ID;
    QCheckBox *CB_Port1_Enable_Broadcast;

    QLabel *L_Options_Offset_Registers;
    QLineEdit *E_Options_Offset_Registers;
    QLabel *L_Options_Offset_Status;
    QLineEdit *E_Options_Offset_Status;

    QLabel *L_Ethernet_IP;
    QLineEdit *E_Ethernet_IP[4]; // E_Ethernet_IP1 .. E_Ethernet_IP4
    QLabel *L_Ethernet_SM;
    QLineEdit *E_Ethernet_SM[4]; // E_Ethernet_SM1 .. E_Ethernet_SM4
    QCheckBox *CB_Ethernet_En_GAT;
    QLineEdit *E_Ethernet_GAT[4]; // E_Ethernet_GAT1 .. E_Ethernet_GAT4

    // The parameter file's document.
    TXml_Document XML_ParGen;
    // ParGen.xml as this showing last read it.
    TParGen_Snapshot Loaded_ParGen;

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Loads ParGen.xml into the controls. A file that cannot be read is reported, at once or once the dialog is
    // on the screen, and the controls keep what they held.
    void Load_Controls(bool reportLater);
    // Asked before OK writes over a file another program changed: true when the values may be written.
    bool May_Write_Over_Changes();
    void Place_Controls();
    // Order, headings and tab order of the categories; run once at creation.
    void Order_TAB_Panels();
    // The visible categories one below the other, as wide as the group's viewport.
    void Stack_Categories();
    // The header of category was clicked: collapse or expand it.
    void Toggle_Category(TCategory_Panel *category);
    // FormMouseWheel: true when the wheel event was over the group (and so handled here).
    bool Form_Mouse_Wheel(const QWheelEvent *event);
    // KeyPress of the octet fields: the "." moves to the next field of the chain.
    bool Octet_Key_Press(QLineEdit *field, const QKeyEvent *event);

    QWidget *Group_Content;
    TCategory_Panel *Categories[5];
    QLineEdit *Octet_Chain[12];
};
