#pragma once

// The open-configuration dialog: lists the configurations (the directories under PROJECTS) and lets the
// user choose one. It opens nothing itself: after OK the main window takes Name_Conf.

#include <QDialog>
#include <QStringList>

class QLabel;
class QListWidget;
class QPushButton;

class TFOpenConf : public QDialog
{
    Q_OBJECT
public:
    explicit TFOpenConf(QWidget *parent = nullptr);

    // The configuration names found at the last showing, in listing order.
    QStringList SL;
    // The chosen configuration name, read by the main window after OK.
    QString Name_Conf;

    void Set_Lang();
    // Fills SL with the directories under PROJECTS, sorted by name without regard to case.
    void Load_Existing_Configuration();
    // The position in SL of snc: an exact match first, else the first name equal to it when both are
    // upper-cased (ASCII letters); -1 when there is none.
    int Search_Open_Conf(const QString &snc) const;
    // Name_Conf := the selected item's text.
    void ListBox1Click();

    QWidget *P_Title;
    QLabel *L_SW_Code;
    QLabel *L_SW_Desc;
    QLabel *Label1;
    QListWidget *ListBox1;
    QWidget *P_Button;
    QPushButton *Btn_OK;
    QPushButton *Btn_Cancel;

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void Form_Show();
};
