#include "ULook.h"

#include "UComon.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QHash>
#include <QImageReader>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStyleFactory>
#include <QStyleHints>
#include <QStyleOptionButton>
#include <QTextDocument>
#include <QToolTip>

#include <QWidget>
#include <algorithm>
#include <cmath>

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

namespace {

// Where a widget keeps what the look gave it, so that a change of look gives it again.
constexpr char Look_Window_Property[] = "lookWindow";
constexpr char Look_Text_Property[] = "lookText";
constexpr char Look_Fill_Property[] = "lookFill";
constexpr char Look_Icon_Property[] = "lookIcon";
constexpr char Look_Icon_Size_Property[] = "lookIconSize";

// Light: the program's cream windows. Dark: charcoal windows with light text, designed for the same contrasts,
// the category headers a dark rose as the light ones are a pale rose.
const TLook_Colours Light_Colours{
    .Back = QColor(248, 247, 237),
    .Text = QColor(96, 96, 96),
    .Code = QColor(128, 128, 128),
    .Strong_Text = QColor(51, 51, 51),
    .Form_Text = QColor(0, 0, 0),
    .Link = QColor(0, 70, 190),
    .Focus = QColor(0, 70, 190),
    .Frame = QColor(192, 192, 192),
    .Warning = QColor(178, 60, 0),
    .Disabled_Text = QColor(140, 140, 140),
    .Field = QColor(255, 255, 255),
    .Field_Text = QColor(0, 0, 0),
    .Disabled_Field = QColor(245, 245, 242),
    .Placeholder = QColor(112, 112, 112),
    .Button = QColor(255, 255, 255),
    .Disabled_Button = QColor(244, 244, 240),
    .Box_Edge = QColor(128, 128, 122),
    .Header = QColor(231, 216, 216),
    .Header_Text = QColor(96, 96, 96),
    .Highlight = QColor(0, 90, 170),
    .Highlighted_Text = QColor(255, 255, 255),
    .Tip = QColor(255, 255, 225),
    .Tip_Text = QColor(0, 0, 0),
    .Light = QColor(255, 255, 255),
    .Midlight = QColor(236, 235, 226),
    .Mid = QColor(190, 189, 180),
    .Dark = QColor(160, 159, 152),
    .Shadow = QColor(105, 105, 100),
};

const TLook_Colours Dark_Colours{
    .Back = QColor(36, 38, 41),
    .Text = QColor(206, 206, 200),
    .Code = QColor(156, 156, 152),
    .Strong_Text = QColor(232, 232, 226),
    .Form_Text = QColor(232, 232, 226),
    .Link = QColor(128, 180, 255),
    .Focus = QColor(128, 180, 255),
    .Frame = QColor(92, 96, 102),
    .Warning = QColor(255, 160, 80),
    .Disabled_Text = QColor(130, 130, 128),
    .Field = QColor(26, 28, 31),
    .Field_Text = QColor(236, 236, 232),
    .Disabled_Field = QColor(42, 44, 47),
    .Placeholder = QColor(150, 150, 146),
    .Button = QColor(60, 64, 70),
    .Disabled_Button = QColor(44, 46, 50),
    .Box_Edge = QColor(136, 140, 146),
    .Header = QColor(72, 56, 60),
    .Header_Text = QColor(232, 218, 218),
    .Highlight = QColor(45, 105, 185),
    .Highlighted_Text = QColor(255, 255, 255),
    .Tip = QColor(58, 60, 64),
    .Tip_Text = QColor(236, 236, 232),
    .Light = QColor(84, 88, 95),
    .Midlight = QColor(70, 74, 80),
    .Mid = QColor(50, 52, 56),
    .Dark = QColor(22, 23, 25),
    .Shadow = QColor(0, 0, 0),
};

TLook Look_In_Force = TLook::Light;
QString Run_Choice;
// The platform's window colour as it was before the program's first look replaced the application's palette.
QColor Platform_Window;

void Remember_Platform_Window()
{
    if (!Platform_Window.isValid() && qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        Platform_Window = QGuiApplication::palette().color(QPalette::Active, QPalette::Window);
}

double Channel(double value)
{
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

} // namespace

const TLook_Colours &Look_Colours(TLook look)
{
    return look == TLook::Dark ? Dark_Colours : Light_Colours;
}

TLook Current_Look()
{
    return Look_In_Force;
}

const TLook_Colours &Colours()
{
    return Look_Colours(Look_In_Force);
}

QPalette Look_Palette(TLook look)
{
    const TLook_Colours &c = Look_Colours(look);
    // Built from black on every role, never from the application's palette: nothing of a platform theme stays.
    QPalette palette(Qt::black, Qt::black, Qt::black, Qt::black, Qt::black, Qt::black, Qt::black, Qt::black, Qt::black);
    const auto set = [&palette](QPalette::ColorRole role, const QColor &enabled, const QColor &disabled) {
        palette.setColor(QPalette::Active, role, enabled);
        palette.setColor(QPalette::Inactive, role, enabled);
        palette.setColor(QPalette::Disabled, role, disabled);
    };
    set(QPalette::Window, c.Back, c.Back);
    set(QPalette::WindowText, c.Text, c.Disabled_Text);
    set(QPalette::Base, c.Field, c.Disabled_Field);
    set(QPalette::AlternateBase, c.Midlight, c.Disabled_Field);
    set(QPalette::Text, c.Field_Text, c.Disabled_Text);
    set(QPalette::PlaceholderText, c.Placeholder, c.Disabled_Text);
    set(QPalette::Button, c.Button, c.Disabled_Button);
    set(QPalette::ButtonText, c.Strong_Text, c.Disabled_Text);
    set(QPalette::BrightText, c.Highlighted_Text, c.Highlighted_Text);
    set(QPalette::Light, c.Light, c.Light);
    set(QPalette::Midlight, c.Midlight, c.Midlight);
    set(QPalette::Mid, c.Mid, c.Mid);
    set(QPalette::Dark, c.Dark, c.Dark);
    set(QPalette::Shadow, c.Shadow, c.Shadow);
    set(QPalette::Highlight, c.Highlight, c.Disabled_Button);
    set(QPalette::HighlightedText, c.Highlighted_Text, c.Disabled_Text);
    set(QPalette::Link, c.Link, c.Disabled_Text);
    set(QPalette::LinkVisited, c.Link, c.Disabled_Text);
    set(QPalette::ToolTipBase, c.Tip, c.Tip);
    set(QPalette::ToolTipText, c.Tip_Text, c.Tip_Text);
    return palette;
}

double Relative_Luminance(const QColor &colour)
{
    const QColor rgb = colour.toRgb();
    return 0.2126 * Channel(rgb.redF()) + 0.7152 * Channel(rgb.greenF()) + 0.0722 * Channel(rgb.blueF());
}

double Contrast_Ratio(const QColor &a, const QColor &b)
{
    const double la = Relative_Luminance(a);
    const double lb = Relative_Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TLook System_Look()
{
#ifdef Q_OS_WIN
    // The apps' light or dark mode of the Windows settings; a system without it is light.
    const QSettings personalize(
        QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize"),
        QSettings::NativeFormat);
    const QVariant light = personalize.value(QStringLiteral("AppsUseLightTheme"));
    if (light.isValid())
        return light.toInt() == 0 ? TLook::Dark : TLook::Light;
#endif
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    if (const QStyleHints *hints = QGuiApplication::styleHints()) {
        if (hints->colorScheme() == Qt::ColorScheme::Dark)
            return TLook::Dark;
        if (hints->colorScheme() == Qt::ColorScheme::Light)
            return TLook::Light;
    }
#endif
    // A dark window colour of the platform's theme is a dark desktop.
    Remember_Platform_Window();
    return Platform_Window.isValid() && Platform_Window.lightnessF() < 0.5 ? TLook::Dark : TLook::Light;
}

TLook Resolve_Look(const QString &choice)
{
    if (choice == u"dark")
        return TLook::Dark;
    if (choice == u"system")
        return System_Look();
    return TLook::Light;
}

void Set_Look_For_This_Run(const QString &choice)
{
    Run_Choice = choice;
}

QString Look_For_This_Run()
{
    return Run_Choice;
}

TLook Wanted_Look()
{
    return Resolve_Look(Run_Choice.isEmpty() ? Look_Choice : Run_Choice);
}

QColor Look_Colour(TText_Colour kind)
{
    const TLook_Colours &c = Colours();
    switch (kind) {
    case TText_Colour::Code:
        return c.Code;
    case TText_Colour::Strong_Text:
        return c.Strong_Text;
    case TText_Colour::Form_Text:
        return c.Form_Text;
    case TText_Colour::Link:
        return c.Link;
    case TText_Colour::Frame:
        return c.Frame;
    case TText_Colour::Warning:
        return c.Warning;
    case TText_Colour::Text:
        break;
    }
    return c.Text;
}

void Apply_Window_Look(QWidget *window)
{
    Remember_Platform_Window();
    window->setProperty(Look_Window_Property, true);
    window->setPalette(Look_Palette(Look_In_Force));
    window->setAutoFillBackground(true);
    window->setFont(Program_Font());
}

void Set_Text_Colour(QWidget *widget, TText_Colour kind)
{
    widget->setProperty(Look_Text_Property, int(kind));
    QPalette palette = widget->palette();
    const QColor colour = Look_Colour(kind);
    palette.setColor(QPalette::Active, QPalette::WindowText, colour);
    palette.setColor(QPalette::Inactive, QPalette::WindowText, colour);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, Colours().Disabled_Text);
    widget->setPalette(palette);
}

void Set_Fill_Colour(QWidget *widget, TText_Colour kind)
{
    widget->setProperty(Look_Fill_Property, int(kind));
    QPalette palette = widget->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Window, Look_Colour(kind));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void Apply_Look(TLook look)
{
    Remember_Platform_Window();
    Look_In_Force = look;
    const QPalette palette = Look_Palette(look);
    // Pop-ups (lists, menus, message boxes) take the application's palette; tooltips have their own.
    QApplication::setPalette(palette);
    QToolTip::setPalette(palette);
    const QWidgetList widgets = QApplication::allWidgets();
    for (QWidget *widget : widgets) {
        if (widget->property(Look_Window_Property).toBool())
            Apply_Window_Look(widget);
    }
    for (QWidget *widget : widgets) {
        if (const QVariant kind = widget->property(Look_Text_Property); kind.isValid())
            Set_Text_Colour(widget, TText_Colour(kind.toInt()));
        if (const QVariant kind = widget->property(Look_Fill_Property); kind.isValid())
            Set_Fill_Colour(widget, TText_Colour(kind.toInt()));
        if (const QVariant icon = widget->property(Look_Icon_Property); icon.isValid()) {
            if (auto *button = qobject_cast<QAbstractButton *>(widget))
                button->setIcon(Program_Icon(icon.toString(), widget->property(Look_Icon_Size_Property).toInt()));
        }
        widget->update();
    }
}

bool Is_User_Input(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::ContextMenu:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

namespace {

// What the look works out once for the program's lifetime: decoded pictures. The
// application object owns it, so that no picture outlives it.
class TLook_Cache : public QObject
{
public:
    using QObject::QObject;
    QHash<QString, QIcon> Icons;

    static TLook_Cache &Instance()
    {
        static QPointer<TLook_Cache> cache;
        if (!cache)
            cache = new TLook_Cache(QCoreApplication::instance());
        return *cache;
    }
};

// A picture of the resource file read at pixels x pixels: the file's format named, so that no image plugin is
// asked about it.
QPixmap Read_Picture(const QString &path, int pixels)
{
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    reader.setScaledSize(QSize(pixels, pixels));
    return QPixmap::fromImage(reader.read());
}

} // namespace

namespace {

// The resource's name of a picture as drawn for the look in force.
QString Look_Picture_Name(const QString &name)
{
    const QString dark = name + QStringLiteral("_dark");
    if (Look_In_Force == TLook::Dark && QFile::exists(QStringLiteral(":/icons/%1.png").arg(dark)))
        return dark;
    return name;
}

} // namespace

QIcon Program_Icon(const QString &name, int size)
{
    Init_Program_Resources();
    const QString drawnFor = Look_Picture_Name(name);
    const QString path = QStringLiteral(":/icons/%1.png").arg(drawnFor);
    if (size <= 0)
        return QIcon(path);
    const qreal ratio = qApp->devicePixelRatio();
    const int pixels = qRound(size * ratio);
    const QString key = drawnFor + u'@' + QString::number(pixels);
    QHash<QString, QIcon> &icons = TLook_Cache::Instance().Icons;
    const auto found = icons.constFind(key);
    if (found != icons.constEnd())
        return *found;
    // Drawn at this very size where the resource holds it (<name>_<pixels>.png), else scaled from the large one.
    const QString drawn = QStringLiteral(":/icons/%1_%2.png").arg(drawnFor).arg(pixels);
    QPixmap picture = Read_Picture(QFile::exists(drawn) ? drawn : path, pixels);
    if (picture.isNull())
        return QIcon(path);
    picture.setDevicePixelRatio(ratio);
    const QIcon icon(picture);
    icons.insert(key, icon);
    return icon;
}

QIcon Program_Window_Icon()
{
    Init_Program_Resources();
    return QIcon(Read_Picture(QStringLiteral(":/icons/window_icon.png"), 64));
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
    button->setIcon(Program_Icon(iconName, iconSize));
    button->setProperty(Look_Icon_Property, iconName);
    button->setProperty(Look_Icon_Size_Property, iconSize);
    button->setIconSize(QSize(iconSize, iconSize));
    button->setGeometry(left, top, width, height);
    button->setCursor(Qt::PointingHandCursor);
    button->setProperty(Caption_Left_Property, true);
    // Enter in an edit never presses a button of its own accord: the windows decide what Enter does.
    button->setAutoDefault(false);
    return button;
}

QLabel *Create_Label(QWidget *parent, const QString &objectName, int left, int top, bool bold, TText_Colour colour)
{
    auto *label = new QLabel(parent);
    label->setObjectName(objectName);
    if (!Is_Link_Label(label))
        label->setTextFormat(Qt::PlainText);
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
    QLabel *code = Create_Label(band, QStringLiteral("L_SW_Code"), 16, 8, false, TText_Colour::Code);
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

TQuillon_Style::TQuillon_Style() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

void TQuillon_Style::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                                 const QWidget *widget) const
{
    if (element == CE_PushButtonBevel) {
        QProxyStyle::drawControl(element, option, painter, widget);
        // The platform's focus outline is a pale hairline: a keyboard user must see at a glance which button the
        // focus is on.
        if ((option->state & State_HasFocus) && (option->state & State_KeyboardFocusChange)) {
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing);
            painter->setPen(QPen(Colours().Focus, 2));
            painter->setBrush(Qt::NoBrush);
            painter->drawRoundedRect(QRectF(option->rect).adjusted(2, 2, -2, -2), 2, 2);
            painter->restore();
        }
        return;
    }
    const auto *button = qstyleoption_cast<const QStyleOptionButton *>(option);
    if ((element != CE_PushButtonLabel && element != CE_CheckBoxLabel) || !button || button->text.isEmpty()) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    // Whether the caption had to be elided is known only here; the mark lets the button's tooltip show it
    // whole. Setting it changes nothing that is drawn.
    auto mark = [widget](bool elided) {
        if (widget && widget->property(Caption_Elided_Property).toBool() != elided)
            const_cast<QWidget *>(widget)->setProperty(Caption_Elided_Property, elided);
    };
    if (element == CE_CheckBoxLabel || !widget || !widget->property(Caption_Left_Property).toBool()) {
        // The platform's layout, the caption fitted to its room: beside a check box's box, or centred with the
        // picture (if any) in a button's contents.
        const int room = element == CE_CheckBoxLabel
                             ? std::max(1, button->rect.width())
                             : button->rect.width() - (button->icon.isNull() ? 0 : button->iconSize.width() + 4);
        const TCaption_Fit fit = Fit_Caption(painter->font(), button->text, room);
        mark(fit.Elided);
        if (fit.Font == painter->font() && !fit.Elided) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        QStyleOptionButton fitted(*button);
        fitted.text = fit.Text;
        fitted.fontMetrics = QFontMetrics(fit.Font);
        painter->save();
        painter->setFont(fit.Font);
        QProxyStyle::drawControl(element, &fitted, painter, widget);
        painter->restore();
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
    const TCaption_Fit fit = Fit_Caption(painter->font(), button->text, std::max(1, textRect.width()));
    mark(fit.Elided);
    painter->save();
    painter->setFont(fit.Font);
    drawItemText(painter, textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, button->palette,
                 button->state & State_Enabled, fit.Text, QPalette::ButtonText);
    painter->restore();
}

void TQuillon_Style::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                                   const QWidget *widget) const
{
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    // The style's own edge of a box is a shade of the window colour, too faint to find a box by (on the dark look
    // an unchecked box all but vanishes): the look's edge is drawn over it.
    const bool box = element == PE_IndicatorCheckBox || element == PE_IndicatorItemViewItemCheck;
    if (!box && element != PE_IndicatorRadioButton)
        return;
    painter->save();
    painter->setPen(QPen((option->state & State_Enabled) ? Colours().Box_Edge : Colours().Frame, 1));
    painter->setBrush(Qt::NoBrush);
    const QRect edge = option->rect.adjusted(0, 0, -1, -1);
    if (box) {
        painter->drawRect(edge);
    } else {
        painter->setRenderHint(QPainter::Antialiasing);
        painter->drawEllipse(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5));
    }
    painter->restore();
}

TClick_Label::TClick_Label(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
}

void TClick_Label::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}
