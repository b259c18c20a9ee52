#pragma once

// The program's look, shared by every window: background, text colours, the font, the button style and
// the button pictures of the resource file.

#include "UCaption.h"

#include <QColor>
#include <QEvent>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QProxyStyle>
#include <QString>

#include <span>

class QLineEdit;
class QPushButton;
class QWidget;

// The two looks of the program. Every colour a window shows comes from the look in force: its palette (every
// role, every colour group, so that no platform theme mixes its colours in) and the colours below.
enum class TLook
{
    Light,
    Dark
};

struct TLook_Colours
{
    QColor Back;          // window background
    QColor Text;          // window texts
    QColor Code;          // the large product code (a large heading)
    QColor Strong_Text;   // button captions, the about box
    QColor Form_Text;     // the captions of the settings grid
    QColor Link;          // links
    QColor Focus;         // the keyboard focus frame
    QColor Frame;         // frames and rules
    QColor Warning;       // a state that needs the user's attention (a configuration changed since it was sent)
    QColor Disabled_Text; // text of a control that cannot be used now
    QColor Field;         // text fields, lists, check boxes
    QColor Field_Text;
    QColor Disabled_Field;
    QColor Placeholder;
    QColor Button;
    QColor Disabled_Button;
    QColor Box_Edge;    // the edge of a check box, which must show on the window and on a page
    QColor Header;      // the settings' category headers
    QColor Header_Text; // their headings
    QColor Highlight;   // a selection
    QColor Highlighted_Text;
    QColor Tip; // tooltips
    QColor Tip_Text;
    // Bevel shades, lightest to darkest.
    QColor Light;
    QColor Midlight;
    QColor Mid;
    QColor Dark;
    QColor Shadow;
};

const TLook_Colours &Look_Colours(TLook look);
// The look in force and its colours.
TLook Current_Look();
const TLook_Colours &Colours();
// The palette of a look: every role of every colour group set.
QPalette Look_Palette(TLook look);

// The choice of Quillon.xml and of --look: "light", "dark" or "system" (Look_Choice_Names).
// "system" follows the desktop: on Windows the apps' light/dark setting, elsewhere the desktop's colour scheme
// where Qt reads it, else the lightness of the platform's window colour.
TLook Resolve_Look(const QString &choice);
TLook System_Look();
// The look chosen for this run only (quillon --look); empty when none. It is not saved.
void Set_Look_For_This_Run(const QString &choice);
QString Look_For_This_Run();
// The look the program shows: this run's choice, else the saved one (Look_Choice).
TLook Wanted_Look();
// Puts look in force in every window: the application's palette, each window's own colours and the pictures
// drawn for the look.
void Apply_Look(TLook look);

// WCAG 2 relative luminance of a colour (0 black to 1 white) and the contrast ratio of two (1 to 21).
double Relative_Luminance(const QColor &colour);
double Contrast_Ratio(const QColor &a, const QColor &b);

inline constexpr int Text_Pixel_Size = 11;
inline constexpr int Code_Pixel_Size = 32;

// "Verdana" where installed, else the platform's sans-serif family.
QString Program_Font_Family();
QFont Program_Font(int pixelSize = Text_Pixel_Size, bool bold = false);

// Background, colours and font of one window (its children inherit them); it follows later changes of look.
void Apply_Window_Look(QWidget *window);
// The text colours a widget may take from the look; it keeps its kind across changes of look.
enum class TText_Colour
{
    Text,
    Code,
    Strong_Text,
    Form_Text,
    Link,
    Frame,
    Warning
};
QColor Look_Colour(TText_Colour kind);
// A widget's text colour (its WindowText role) for the enabled states; disabled it takes Disabled_Text.
void Set_Text_Colour(QWidget *widget, TText_Colour kind);
// A widget filled with a colour of the look (a rule).
void Set_Fill_Colour(QWidget *widget, TText_Colour kind);

// Whether an event is the user's input to a window: a click, a key, a shortcut, the wheel, a touch, a context
// menu or a drop (a close is not: each filter decides on it).
bool Is_User_Input(QEvent::Type type);

// A button picture of the resource file, by its base name ("new", "open", "ok", ...), as drawn for the look in
// force (<name>_dark.png where a light picture would vanish on the dark look). With a size, the picture is
// decoded once, at that size (in device pixels), and shared by every button that shows it so.
QIcon Program_Icon(const QString &name, int size = 0);
// The maker's logo.
QPixmap Program_Logo();
// The program's icon for the window system (title bar, task bar): the logo as drawn at 64 pixels.
QIcon Program_Window_Icon();

// A picture button: caption left-aligned beside its picture, or only the picture when caption is empty.
QPushButton *Create_Picture_Button(QWidget *parent, const QString &objectName, const QString &iconName, int left,
                                   int top, int width, int height, int iconSize);
// A label at its place, autosized to its text, showing plain text unless it is a link label (LL_...).
QLabel *Create_Label(QWidget *parent, const QString &objectName, int left, int top, bool bold = false,
                     TText_Colour colour = TText_Colour::Text);
// The title band of a dialog (69 high, along the top) with L_SW_Code and L_SW_Desc.
QWidget *Create_Title_Band(QWidget *dialog, int width);
// The button band of a dialog (40 high, along the bottom).
QWidget *Create_Button_Band(QWidget *dialog, int width, int clientHeight);


// The program's style, set on the application object: Qt's Fusion style, which draws every control from the
// palette (a platform style may draw from its own theme, which no look could govern), except that a picture button
// marked with Caption_Left_Property shows its caption left-aligned beside its picture, and that a button
// caption too wide for its button is fitted (Fit_Caption). A button whose caption was drawn elided carries
// Caption_Elided_Property, so that its tooltip can show the whole caption.
inline constexpr char Caption_Left_Property[] = "captionLeft";
inline constexpr int Caption_Margin = 8;

class TQuillon_Style : public QProxyStyle
{
    Q_OBJECT
public:
    TQuillon_Style();
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
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
