#include "UCaption.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTextDocument>

#include <algorithm>

namespace {

// Captions fitted once for the program's lifetime; the application object owns them.
class TFit_Cache : public QObject
{
public:
    using QObject::QObject;
    QHash<QString, TCaption_Fit> Fits;

    static TFit_Cache &Instance()
    {
        static QPointer<TFit_Cache> cache;
        if (!cache)
            cache = new TFit_Cache(QCoreApplication::instance());
        return *cache;
    }
};

} // namespace

bool Is_Link_Label(const QLabel *label)
{
    return label->objectName().startsWith(QLatin1String("LL_"));
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
    QHash<QString, TCaption_Fit> &fits = TFit_Cache::Instance().Fits;
    const QString key =
        font.key() + u'\x1F' + QString::number(width) + u'\x1F' + QString::number(int(mode)) + u'\x1F' + text;
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
