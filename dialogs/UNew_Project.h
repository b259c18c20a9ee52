#pragma once

// The new-configuration dialog: asks for a name, creates the configuration's directory (and its bin
// directory) under PROJECTS and makes it the open configuration.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TFNew_Project : public QDialog
{
    Q_OBJECT
public:
    explicit TFNew_Project(QWidget *parent = nullptr);

    // Captions from the language table.
    void Set_Lang();
    // Checks the name, creates the configuration and closes with OK; refuses with a message otherwise.
    void Btn_OKClick();

    QWidget *P_Title;
    QLabel *L_SW_Code;
    QLabel *L_SW_Desc;
    QLabel *Label1;
    QLineEdit *E_New_Proj;
    QWidget *P_Button;
    QPushButton *Btn_OK;
    QPushButton *Btn_Cancel;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // The message of entry and the name rule's reason why, then the name edit again with its text selected.
    void Refuse_Name(int entry, const QString &why);
    // The same with a text of its own (a directory the system refused to create, and why).
    void Refuse(const QString &text);
};
