#include "ULook.h"

#include "UComon.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionButton>

#include <QWidget>
#include <algorithm>

// The resource file lives in the static window library; its initialiser must be referenced explicitly.
static void Init_Program_Resources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(quillon);
        return true;
    }();
    Q_UNUSED(done);
}

QString Program_Font_Family()
{
    static const QString family = [] {
        if (QFontDatabase::hasFamily(QStringLiteral("Verdana")))
            return QStringLiteral("Verdana");
        QFont sans(QStringLiteral("sans-serif"));
        sans.setStyleHint(QFont::SansSerif);
        return QFontInfo(sans).family();
    }();
    return family;
}

QFont Program_Font(int pixelSize, bool bold)
{
    QFont font(Program_Font_Family());
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void Apply_Window_Look(QWidget *window)
{
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, Back_Colour);
    palette.setColor(QPalette::WindowText, Grey_Text);
    palette.setColor(QPalette::Button, QColor(255, 255, 255));
    palette.setColor(QPalette::ButtonText, Dark_Grey_Text);
    window->setPalette(palette);
    window->setAutoFillBackground(true);
    window->setFont(Program_Font());
}

void Set_Text_Colour(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

QIcon Program_Icon(const QString &name)
{
    Init_Program_Resources();
    return QIcon(QStringLiteral(":/icons/%1.png").arg(name));
}

QPixmap Program_Logo()
{
    Init_Program_Resources();
    return QPixmap(QStringLiteral(":/icons/logo.png"));
}

QPushButton *Create_Picture_Button(QWidget *parent, const QString &objectName, const QString &iconName, int left,
                                   int top, int width, int height, int iconSize)
{
    auto *button = new QPushButton(parent);
    button->setObjectName(objectName);
    button->setIcon(Program_Icon(iconName));
    button->setIconSize(QSize(iconSize, iconSize));
    button->setGeometry(left, top, width, height);
    button->setCursor(Qt::PointingHandCursor);
    button->setProperty(Caption_Left_Property, true);
    // Enter in an edit never presses a button of its own accord: the windows decide what Enter does.
    button->setAutoDefault(false);
    return button;
}

QLabel *Create_Label(QWidget *parent, const QString &objectName, int left, int top, bool bold, const QColor &colour)
{
    auto *label = new QLabel(parent);
    label->setObjectName(objectName);
    label->move(left, top);
    if (bold)
        label->setFont(Program_Font(Text_Pixel_Size, true));
    Set_Text_Colour(label, colour);
    return label;
}

QWidget *Create_Title_Band(QWidget *dialog, int width)
{
    auto *band = new QWidget(dialog);
    band->setObjectName(QStringLiteral("P_Title"));
    band->setGeometry(0, 0, width, 69);
    QLabel *code = Create_Label(band, QStringLiteral("L_SW_Code"), 16, 8, false, Code_Grey);
    code->setFont(Program_Font(Code_Pixel_Size));
    code->setText(SW_Code);
    code->adjustSize();
    Create_Label(band, QStringLiteral("L_SW_Desc"), 16, 42, true);
    return band;
}

QWidget *Create_Button_Band(QWidget *dialog, int width, int clientHeight)
{
    auto *band = new QWidget(dialog);
    band->setObjectName(QStringLiteral("P_Button"));
    band->setGeometry(0, clientHeight - 40, width, 40);
    return band;
}

void Center_On_Screen(QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

TQuillon_Style::TQuillon_Style() : QProxyStyle() {}

void TQuillon_Style::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                                 const QWidget *widget) const
{
    const auto *button = qstyleoption_cast<const QStyleOptionButton *>(option);
    if (element != CE_PushButtonLabel || !button || !widget || !widget->property(Caption_Left_Property).toBool() ||
        button->text.isEmpty()) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    // The picture at the left edge, the caption left-aligned beside it.
    const QRect area = button->rect.adjusted(Caption_Margin, 0, -Caption_Margin, 0);
    int textLeft = area.left();
    if (!button->icon.isNull()) {
        const QIcon::Mode mode = (button->state & State_Enabled) ? QIcon::Normal : QIcon::Disabled;
        const QPixmap picture = button->icon.pixmap(button->iconSize, painter->device()->devicePixelRatio(), mode);
        const QRect pictureRect(area.left(), area.top() + (area.height() - button->iconSize.height()) / 2,
                                button->iconSize.width(), button->iconSize.height());
        painter->drawPixmap(pictureRect, picture);
        textLeft = pictureRect.right() + 1 + Caption_Margin;
    }
    const QRect textRect(textLeft, area.top(), std::max(0, area.right() - textLeft + 1), area.height());
    drawItemText(painter, textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, button->palette,
                 button->state & State_Enabled, button->text, QPalette::ButtonText);
}

TClick_Label::TClick_Label(QWidget *parent) : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
}

void TClick_Label::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void Set_Caption(QLabel *label, const QString &text)
{
    label->setText(text);
    label->adjustSize();
}
