#pragma once

// The about box: product description, software code, version and manual code, the workspace in use, the
// maker's logo and a link to the maker's home page. Its labels follow the language; the codes, the version and
// the workspace are the same in every language.

#include <QDialog>

class QLabel;
class QPushButton;
class TClick_Label;

class TFAbout : public QDialog
{
    Q_OBJECT
public:
    explicit TFAbout(QWidget *parent = nullptr);

    // Captions the box in the language now loaded.
    void Set_Lang();
    // Opens the maker's home page (the logo and the web address).
    void Label4Click();

    TClick_Label *Image2;
    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label6;
    QLabel *Label9;
    QLabel *Label3;
    QLabel *Label10;
    QLabel *Label8;
    QLabel *Label12;
    QLabel *Label13;
    QLabel *Label14;
    TClick_Label *Label4;
    QPushButton *LbButton1;

protected:
    void showEvent(QShowEvent *event) override;
};
