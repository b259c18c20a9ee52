#include "ULook.h"

#include "UComon.h"

#include <QAbstractButton>
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
#include <QScreen>
#include <QStyleOptionButton>
#include <QTextDocument>

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

void Set_Text_Role(QPalette &palette, QPalette::ColorRole role, const QColor &colour)
{
    // Only the enabled states: a disabled control keeps the lighter grey that shows it cannot be used.
    palette.setColor(QPalette::Active, role, colour);
    palette.setColor(QPalette::Inactive, role, colour);
    palette.setColor(QPalette::Disabled, role, Disabled_Text);
}

void Apply_Window_Look(QWidget *window)
{
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, Back_Colour);
    Set_Text_Role(palette, QPalette::WindowText, Grey_Text);
    palette.setColor(QPalette::Button, QColor(255, 255, 255));
    Set_Text_Role(palette, QPalette::ButtonText, Dark_Grey_Text);
    palette.setColor(QPalette::Disabled, QPalette::Text, Disabled_Text);
    window->setPalette(palette);
    window->setAutoFillBackground(true);
    window->setFont(Program_Font());
}

void Set_Text_Colour(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    Set_Text_Role(palette, QPalette::WindowText, colour);
    widget->setPalette(palette);
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

// What the look works out once for the program's lifetime: decoded pictures and fitted captions. The
// application object owns it, so that no picture outlives it.
class TLook_Cache : public QObject
{
public:
    using QObject::QObject;
    QHash<QString, QIcon> Icons;
    QHash<QString, TCaption_Fit> Fits;

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

QIcon Program_Icon(const QString &name, int size)
{
    Init_Program_Resources();
    const QString path = QStringLiteral(":/icons/%1.png").arg(name);
    if (size <= 0)
        return QIcon(path);
    const qreal ratio = qApp->devicePixelRatio();
    const int pixels = qRound(size * ratio);
    const QString key = name + u'@' + QString::number(pixels);
    QHash<QString, QIcon> &icons = TLook_Cache::Instance().Icons;
    const auto found = icons.constFind(key);
    if (found != icons.constEnd())
        return *found;
    // Drawn at this very size where the resource holds it (<name>_<pixels>.png), else scaled from the large one.
    const QString drawn = QStringLiteral(":/icons/%1_%2.png").arg(name).arg(pixels);
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
    button->setIconSize(QSize(iconSize, iconSize));
    button->setGeometry(left, top, width, height);
    button->setCursor(Qt::PointingHandCursor);
    button->setProperty(Caption_Left_Property, true);
    // Enter in an edit never presses a button of its own accord: the windows decide what Enter does.
    button->setAutoDefault(false);
    return button;
}

namespace {

// Dynamic properties of a label whose caption Set_Caption fitted.
constexpr char Caption_Room_Property[] = "captionRoom";
constexpr char Caption_Elide_Property[] = "captionElide";
constexpr char Caption_Base_Font_Property[] = "captionBaseFont";
constexpr char Caption_Fitted_Font_Property[] = "captionFittedFont";
// The whole text of a label whose caption was elided.
constexpr char Caption_Whole_Property[] = "captionWhole";
// A label without a room of its own keeps this distance to its parent's right edge; a room smaller than the
// smallest is no room at all (the label lies outside its parent) and leaves the caption as it is.
constexpr int Caption_Right_Margin = 8;
constexpr int Smallest_Caption_Room = 16;

bool Is_Link_Label(const QLabel *label)
{
    return label->objectName().startsWith(QLatin1String("LL_"));
}

int Text_Width(const QFont &font, const QString &text)
{
    return QFontMetrics(font).size(0, text).width();
}

int Pixel_Size(const QFont &font)
{
    return font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
}

int Caption_Room(const QLabel *label)
{
    const QVariant room = label->property(Caption_Room_Property);
    if (room.isValid())
        return room.toInt();
    // A parent that was not sized yet has no meaningful width.
    const QWidget *parent = label->parentWidget();
    if (!parent || !parent->testAttribute(Qt::WA_Resized))
        return 0;
    const int width = parent->width() - label->x() - Caption_Right_Margin;
    return width >= Smallest_Caption_Room ? width : 0;
}

} // namespace

namespace {

TCaption_Fit Work_Out_Caption_Fit(const QFont &font, const QString &text, int width, Qt::TextElideMode mode)
{
    const int whole = Text_Width(font, text);
    if (whole <= width)
        return {font, text, false};
    // The largest size below the font's own at which the text fits. Width grows with the size, so the search
    // starts where the proportion puts it and steps from there: a size or two measured, not every one.
    QFont smaller = font;
    const int size = Pixel_Size(font);
    const auto fits = [&](int pixels) {
        smaller.setPixelSize(pixels);
        return Text_Width(smaller, text) <= width;
    };
    if (size - 1 >= Caption_Floor_Pixel_Size) {
        int pixels = std::clamp(int(qint64(size) * width / whole), Caption_Floor_Pixel_Size, size - 1);
        if (fits(pixels)) {
            while (pixels + 1 < size && fits(pixels + 1))
                ++pixels;
            smaller.setPixelSize(pixels);
            return {smaller, text, false};
        }
        for (--pixels; pixels >= Caption_Floor_Pixel_Size; --pixels) {
            if (fits(pixels))
                return {smaller, text, false};
        }
    }
    // Still too wide at the floor (or the font was already below it): elided, each line on its own.
    QFont floor = font;
    if (size > Caption_Floor_Pixel_Size)
        floor.setPixelSize(Caption_Floor_Pixel_Size);
    const QFontMetrics metrics(floor);
    QStringList lines = text.split(u'\n');
    for (QString &line : lines) {
        if (metrics.size(0, line).width() > width)
            line = metrics.elidedText(line, mode, width);
    }
    return {floor, lines.join(u'\n'), true};
}

} // namespace

TCaption_Fit Fit_Caption(const QFont &font, const QString &text, int width, Qt::TextElideMode mode)
{
    if (width <= 0 || text.isEmpty())
        return {font, text, false};
    if (!QCoreApplication::instance())
        return Work_Out_Caption_Fit(font, text, width, mode);
    // Every paint of a button fits its caption again: measured once per font, text, room and mode.
    QHash<QString, TCaption_Fit> &fits = TLook_Cache::Instance().Fits;
    const QString key = font.key() + u'\x1F' + QString::number(width) + u'\x1F' + QString::number(int(mode)) +
                        u'\x1F' + text;
    const auto found = fits.constFind(key);
    if (found != fits.constEnd())
        return *found;
    if (fits.size() >= 4096)
        fits.clear();
    const TCaption_Fit fit = Work_Out_Caption_Fit(font, text, width, mode);
    fits.insert(key, fit);
    return fit;
}

QString Shown_Tooltip(const QWidget *widget)
{
    QString whole = widget->property(Caption_Whole_Property).toString();
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget);
        button && button->property(Caption_Elided_Property).toBool())
        whole = button->text();
    const QString own = widget->toolTip();
    if (whole.isEmpty())
        return own;
    return own.isEmpty() ? whole : whole + u'\n' + own;
}

// The text a label was given, whole: a buddy label's "&&" (a plain "&") is shown as one "&".
QString Whole_Caption(const QLabel *label)
{
    const QVariant whole = label->property(Caption_Whole_Property);
    if (whole.isValid())
        return whole.toString();
    QString text = label->text();
    if (label->buddy())
        text.replace(QStringLiteral("&&"), QStringLiteral("&"));
    return text;
}

QString Label_Name(const QLabel *label)
{
    QString text = Whole_Caption(label);
    if (label->textFormat() != Qt::PlainText && Qt::mightBeRichText(text)) {
        QTextDocument document;
        document.setHtml(text);
        text = document.toPlainText();
    }
    qsizetype end = text.size();
    while (end > 0 && (text[end - 1].isSpace() || text[end - 1] == u':'))
        --end;
    return text.left(end).trimmed();
}

void Name_By_Label(QWidget *control, QLabel *label)
{
    if (label->buddy() != control) {
        const QString caption = Whole_Caption(label);
        label->setBuddy(control);
        // Shown again, now with its "&" kept from becoming a shortcut.
        Set_Caption(label, caption);
    }
    control->setAccessibleName(Label_Name(label));
}

void Name_Octets(std::span<QLineEdit *const, 4> octets, const QString &field, const QString &pattern)
{
    for (size_t i = 0; i < octets.size(); ++i)
        octets[i]->setAccessibleName(pattern.arg(field, QString::number(i + 1)));
}

void Describe_Controls(QWidget *window)
{
    for (QWidget *control : window->findChildren<QWidget *>()) {
        // A dialog owned by this window describes its own controls.
        if (control->window() != window)
            continue;
        control->setAccessibleDescription(control->toolTip());
        if (auto *button = qobject_cast<QAbstractButton *>(control); button && button->text().isEmpty())
            button->setAccessibleName(button->toolTip());
    }
}

void Set_Caption_Room(QLabel *label, int width, Qt::TextElideMode mode)
{
    label->setProperty(Caption_Room_Property, width);
    label->setProperty(Caption_Elide_Property, int(mode));
}

void Set_Caption(QLabel *label, const QString &text)
{
    if (!Is_Link_Label(label))
        label->setTextFormat(Qt::PlainText);
    // Every caption is fitted from the label's own font, not from the one an earlier caption shrank it to
    // (unless the window has given the label another font since).
    const QVariant fitted = label->property(Caption_Fitted_Font_Property);
    if (fitted.isValid()) {
        if (fitted.value<QFont>() == label->font())
            label->setFont(label->property(Caption_Base_Font_Property).value<QFont>());
        label->setProperty(Caption_Fitted_Font_Property, QVariant());
        label->setProperty(Caption_Base_Font_Property, QVariant());
    }
    TCaption_Fit fit{label->font(), text, false};
    if (label->textFormat() == Qt::PlainText) {
        const QVariant mode = label->property(Caption_Elide_Property);
        fit = Fit_Caption(label->font(), text, Caption_Room(label),
                          mode.isValid() ? Qt::TextElideMode(mode.toInt()) : Qt::ElideRight);
    }
    if (fit.Font != label->font()) {
        label->setProperty(Caption_Base_Font_Property, label->font());
        label->setProperty(Caption_Fitted_Font_Property, fit.Font);
        label->setFont(fit.Font);
    }
    // A label with a buddy would take an "&" for the mark of a keyboard shortcut: it is shown as written.
    label->setText(label->buddy() ? QString(fit.Text).replace(u'&', QStringLiteral("&&")) : fit.Text);
    label->setProperty(Caption_Whole_Property, fit.Elided ? QVariant(text) : QVariant());
    label->adjustSize();
}

QLabel *Create_Label(QWidget *parent, const QString &objectName, int left, int top, bool bold, const QColor &colour)
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
    if (element == CE_PushButtonBevel) {
        QProxyStyle::drawControl(element, option, painter, widget);
        // The platform's focus outline is a pale hairline: a keyboard user must see at a glance which button the
        // focus is on.
        if ((option->state & State_HasFocus) && (option->state & State_KeyboardFocusChange)) {
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing);
            painter->setPen(QPen(Link_Blue, 2));
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
