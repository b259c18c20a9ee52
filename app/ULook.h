#pragma once

// The program's look, shared by every window: background, text colours, the font, the button style and
// the button pictures of the resource file.

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QProxyStyle>
#include <QString>

class QPushButton;
class QWidget;

inline const QColor Back_Colour(248, 247, 237);
// Grey of the window texts; the large product code is a lighter grey.
inline const QColor Grey_Text(96, 96, 96);
inline const QColor Code_Grey(128, 128, 128);
inline const QColor Dark_Grey_Text(51, 51, 51);
inline const QColor Link_Blue(0, 70, 190);
inline const QColor Frame_Silver(192, 192, 192);

inline constexpr int Text_Pixel_Size = 11;
inline constexpr int Code_Pixel_Size = 32;

// "Verdana" where installed, else the platform's sans-serif family.
QString Program_Font_Family();
QFont Program_Font(int pixelSize = Text_Pixel_Size, bool bold = false);

// Background, colours and font of one window (its children inherit them).
void Apply_Window_Look(QWidget *window);
// A label's text colour.
void Set_Text_Colour(QWidget *widget, const QColor &colour);

// A button picture of the resource file, by its base name ("new", "open", "ok", ...).
QIcon Program_Icon(const QString &name);
// The maker's logo.
QPixmap Program_Logo();

// A picture button: caption left-aligned beside its picture, or only the picture when caption is empty.
QPushButton *Create_Picture_Button(QWidget *parent, const QString &objectName, const QString &iconName, int left,
                                   int top, int width, int height, int iconSize);
// Sets a label's text and sizes the label to it.
void Set_Caption(QLabel *label, const QString &text);
// A label at its place, autosized to its text.
QLabel *Create_Label(QWidget *parent, const QString &objectName, int left, int top, bool bold = false,
                     const QColor &colour = Grey_Text);
// The title band of a dialog (69 high, along the top) with L_SW_Code and L_SW_Desc.
QWidget *Create_Title_Band(QWidget *dialog, int width);
// The button band of a dialog (40 high, along the bottom).
QWidget *Create_Button_Band(QWidget *dialog, int width, int clientHeight);

// Puts a window in the middle of the screen it is on.
void Center_On_Screen(QWidget *window);

// The program's style, set on the application object: the platform's own, except that a picture button
// marked with Caption_Left_Property shows its caption left-aligned beside its picture.
inline constexpr char Caption_Left_Property[] = "captionLeft";
inline constexpr int Caption_Margin = 8;

class TQuillon_Style : public QProxyStyle
{
    Q_OBJECT
public:
    TQuillon_Style();
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override;
};

// A label that reports a click of the left mouse button.
class TClick_Label : public QLabel
{
    Q_OBJECT
public:
    explicit TClick_Label(QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
