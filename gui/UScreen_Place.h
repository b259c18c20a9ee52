#pragma once

// Where a window goes on the screen, and how large it may be there.

#include <QRect>

class QWidget;

// Puts a window in the middle of the available area of the screen it is on, wholly on that area. A window
// larger than the area (a high scale factor on a small screen) is made as large as the area, its contents
// scrolling inside it at their designed size.
void Place_On_Screen(QWidget *window);
// The area a window may take on a screen: the screen's available area less the frame the desktop adds.
QRect Room_On_Screen(const QWidget *window);
