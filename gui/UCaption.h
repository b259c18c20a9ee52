#pragma once

// Captions fitted to their room, and the names and descriptions screen readers read.

#include <QFont>
#include <QString>

#include <span>

class QLabel;
class QLineEdit;
class QWidget;

// Marks a button whose caption the style drew elided, so that its tooltip can show the whole caption.
inline constexpr char Caption_Elided_Property[] = "captionElided";

// A link label (named LL_...) keeps the text format it was given; every other label shows plain text.
bool Is_Link_Label(const QLabel *label);

// Captions that do not fit their room (a translation longer than the English text) first shrink their font a
// pixel at a time down to this readable floor, and only then are elided with "…".
inline constexpr int Caption_Floor_Pixel_Size = 8;

struct TCaption_Fit
{
    QFont Font;   // the font to draw with: the given one, or a smaller one that makes the text fit
    QString Text; // the text to draw: whole, or elided when even the floor size is too wide
    bool Elided = false;
};
// How text written in font fits into width pixels (each line of a text of several lines on its own). A width
// of 0 or less means no limit.
TCaption_Fit Fit_Caption(const QFont &font, const QString &text, int width, Qt::TextElideMode mode = Qt::ElideRight);

// Sets a label's text and sizes the label to it. Labels show their text as written (plain text); only link
// labels (named LL_...) keep the text format they were given. A caption wider than the label's room is fitted
// (Fit_Caption); the tooltip of an elided caption shows the whole text (Shown_Tooltip).
void Set_Caption(QLabel *label, const QString &text);
// The room of a label's caption, in pixels, and where it is elided. Without it, a label of a sized parent may
// reach the parent's right edge less a small margin.
void Set_Caption_Room(QLabel *label, int width, Qt::TextElideMode mode = Qt::ElideRight);
// The tooltip a widget shows: its own hint, after its whole caption when the caption was drawn elided.
QString Shown_Tooltip(const QWidget *widget);

// Names and descriptions for screen readers (what the desktop's accessibility interface reads).
// The text a label shows, whole (also when it is drawn elided), without the blanks and colon that end it.
QString Label_Name(const QLabel *label);
// control is named by the label beside it, which becomes its buddy (some screen readers read a control's label
// from there). The label's captions keep any "&" as written (Set_Caption).
void Name_By_Label(QWidget *control, QLabel *label);
// The four octet fields of an address named from pattern ("%1, byte %2 of 4": the field's name, the
// octet's number).
void Name_Octets(std::span<QLineEdit *const, 4> octets, const QString &field, const QString &pattern);
// Once a window's captions and hints are set (at creation and at each change of language): the hint of each
// of its controls becomes the control's description, and a button that shows only its picture is named by
// its hint.
void Describe_Controls(QWidget *window);
