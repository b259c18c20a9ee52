#pragma once

// The History window: the updates kept under the open configuration, newest first, and for the one selected
// what differs between what it sent and what the configuration builds now, with a button to its folder.

#include "USent_Record.h"

#include <QDialog>
#include <QList>
#include <QUrl>

#include <functional>
#include <optional>

class QLabel;
class QListWidget;
class QPushButton;
class QTreeWidget;

class TFHistory : public QDialog
{
    Q_OBJECT
public:
    explicit TFHistory(QWidget *parent = nullptr);

    void Set_Lang();
    // Reads the open configuration's kept runs and what it builds now, lists the runs and selects the newest.
    void Load_Runs();
    // The differences of the selected run from the configuration now.
    void Show_Differences();
    void Btn_Open_FolderClick();

    // How a folder is opened; tests put their own in, so that no file manager starts.
    std::function<bool(const QUrl &url)> Folder_Opener;

    // The runs listed, in the list's order.
    QList<TSent_Run> Runs;

    QWidget *P_Title;
    QLabel *L_SW_Code;
    QLabel *L_SW_Desc;
    QLabel *L_Runs;
    QTreeWidget *LB_Runs;
    QLabel *L_Differences;
    QListWidget *LB_Differences;
    QWidget *P_Button;
    QPushButton *Btn_Open_Folder;
    QPushButton *Btn_OK;

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // The captions that depend on the window's width.
    void Caption_Labels();
    const TSent_Run *Selected_Run() const;

    // What the configuration builds now, or why it cannot be built.
    std::optional<TConfig_Images> Now;
    QString Now_Problem;
};
