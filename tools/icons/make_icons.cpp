// Draws the program's own pictures: the button glyphs and the logo, as PNG files.
// Usage: make_icons <output directory> [<icon theme directory> [<flag directory>]]
// With the second directory, the logo is also drawn as the desktop's application icon at the icon theme's
// usual sizes (<dir>/<N>x<N>/apps/org.quillon.Quillon.png); packaging/icons/scalable holds it as SVG.
// With the third, the flags of the shipped languages are drawn there too, as BMP files.

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <cstdio>
#include <functional>

namespace {

// The ink of the pictures: dark strokes for the light look; main() draws the "_dark" pictures with the
// lighter ink, which stays visible on the dark look's buttons and headers.
QColor Teal(31, 111, 139);
const QColor Teal_Light(214, 233, 239);
const QColor Orange(226, 124, 44);
const QColor Amber(236, 176, 58);
const QColor Amber_Dark(204, 140, 30);
const QColor Green(58, 140, 70);
const QColor Red(192, 62, 52);
QColor Grey(96, 96, 96);
const QColor Light_Teal_Ink(31, 111, 139);
const QColor Light_Grey_Ink(96, 96, 96);
const QColor Dark_Teal_Ink(92, 176, 206);
const QColor Dark_Grey_Ink(200, 200, 194);
const QColor Paper(255, 255, 255);

// Every glyph is drawn on a 64 x 64 design grid.
constexpr int Grid = 64;

QPen Stroke(const QColor &colour, qreal width)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Info(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Teal);
    p.drawEllipse(QRectF(4, 4, 56, 56));
    p.setBrush(Paper);
    p.drawEllipse(QRectF(28, 14, 8, 8));
    p.drawRoundedRect(QRectF(28, 26, 8, 24), 3, 3);
}

void Options(QPainter &p)
{
    QPainterPath gear;
    const QPointF c(32, 32);
    const int teeth = 8;
    for (int i = 0; i < teeth * 4; ++i) {
        const qreal angle = (i - 0.5) * M_PI / (teeth * 2);
        const qreal r = (i % 4 == 0 || i % 4 == 1) ? 28 : 21;
        const QPointF pt(c.x() + r * qCos(angle), c.y() + r * qSin(angle));
        if (i == 0)
            gear.moveTo(pt);
        else
            gear.lineTo(pt);
    }
    gear.closeSubpath();
    gear.addEllipse(c, 9, 9);
    gear.setFillRule(Qt::OddEvenFill);
    p.setPen(Stroke(Teal, 2));
    p.setBrush(Teal);
    p.drawPath(gear);
}

void Close(QPainter &p)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(Stroke(Red, 7));
    // A power switch: an open ring with a bar through its gap.
    p.drawArc(QRectF(10, 12, 44, 44), 55 * 16, -290 * 16);
    p.drawLine(QPointF(32, 6), QPointF(32, 32));
}

void Document(QPainter &p)
{
    QPainterPath page;
    page.moveTo(12, 4);
    page.lineTo(38, 4);
    page.lineTo(52, 18);
    page.lineTo(52, 60);
    page.lineTo(12, 60);
    page.closeSubpath();
    p.setPen(Stroke(Grey, 3));
    p.setBrush(Paper);
    p.drawPath(page);
    QPainterPath fold;
    fold.moveTo(38, 4);
    fold.lineTo(38, 18);
    fold.lineTo(52, 18);
    p.setBrush(Qt::NoBrush);
    p.drawPath(fold);
    p.setPen(Stroke(Teal_Light.darker(130), 3));
    for (int y : {28, 37, 46})
        p.drawLine(QPointF(20, y), QPointF(36, y));
}

void New(QPainter &p)
{
    Document(p);
    p.setPen(Qt::NoPen);
    p.setBrush(Orange);
    p.drawEllipse(QRectF(34, 34, 28, 28));
    p.setPen(Stroke(Paper, 4.5));
    p.drawLine(QPointF(48, 41), QPointF(48, 55));
    p.drawLine(QPointF(41, 48), QPointF(55, 48));
}

void Open(QPainter &p)
{
    QPainterPath back;
    back.moveTo(4, 12);
    back.lineTo(24, 12);
    back.lineTo(29, 18);
    back.lineTo(54, 18);
    back.lineTo(54, 54);
    back.lineTo(4, 54);
    back.closeSubpath();
    p.setPen(Stroke(Amber_Dark, 3));
    p.setBrush(Amber_Dark.lighter(115));
    p.drawPath(back);
    QPainterPath front;
    front.moveTo(4, 54);
    front.lineTo(13, 28);
    front.lineTo(62, 28);
    front.lineTo(54, 54);
    front.closeSubpath();
    p.setBrush(Amber);
    p.drawPath(front);
}

void Settings(QPainter &p)
{
    // Three sliders.
    const qreal rows[] = {14, 32, 50};
    const qreal knobs[] = {40, 20, 46};
    for (int i = 0; i < 3; ++i) {
        p.setPen(Stroke(Grey, 4));
        p.drawLine(QPointF(6, rows[i]), QPointF(58, rows[i]));
        p.setPen(Stroke(Teal, 3));
        p.setBrush(Paper);
        p.drawEllipse(QPointF(knobs[i], rows[i]), 7, 7);
    }
}

void Update(QPainter &p)
{
    // A device with an arrow going into it.
    p.setPen(Stroke(Grey, 3));
    p.setBrush(Teal_Light);
    p.drawRoundedRect(QRectF(6, 36, 52, 22), 4, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(Green);
    p.drawEllipse(QRectF(45, 44, 6, 6));
    p.setBrush(Teal);
    for (int x : {13, 21, 29})
        p.drawRect(QRectF(x, 45, 5, 4));
    p.setBrush(Orange);
    QPainterPath arrow;
    arrow.moveTo(26, 4);
    arrow.lineTo(38, 4);
    arrow.lineTo(38, 20);
    arrow.lineTo(47, 20);
    arrow.lineTo(32, 34);
    arrow.lineTo(17, 20);
    arrow.lineTo(26, 20);
    arrow.closeSubpath();
    p.drawPath(arrow);
}

void Ok(QPainter &p)
{
    p.setPen(Stroke(Green, 9));
    p.setBrush(Qt::NoBrush);
    QPainterPath tick;
    tick.moveTo(10, 34);
    tick.lineTo(26, 49);
    tick.lineTo(54, 16);
    p.drawPath(tick);
}

void Cancel(QPainter &p)
{
    p.setPen(Stroke(Red, 9));
    p.drawLine(QPointF(14, 14), QPointF(50, 50));
    p.drawLine(QPointF(50, 14), QPointF(14, 50));
}

// The headers of the settings dialog's categories: a chevron pointing up while the category is open (a click
// folds it), down while it is folded.
void Chevron(QPainter &p, bool up)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(Stroke(Grey, 9));
    const qreal tip = up ? 20 : 44;
    const qreal ends = up ? 44 : 20;
    p.drawPolyline(QPolygonF({QPointF(12, ends), QPointF(32, tip), QPointF(52, ends)}));
}

void Category_Expanded(QPainter &p)
{
    Chevron(p, true);
}

void Category_Collapsed(QPainter &p)
{
    Chevron(p, false);
}

// The options dialog's pictures: page arrows and the version check.
void Arrow(QPainter &p, bool right)
{
    QPainterPath arrow;
    const qreal tip = right ? 58 : 6;
    const qreal base = right ? 30 : 34;
    const qreal tail = right ? 8 : 56;
    arrow.moveTo(tip, 32);
    arrow.lineTo(base, 8);
    arrow.lineTo(base, 22);
    arrow.lineTo(tail, 22);
    arrow.lineTo(tail, 42);
    arrow.lineTo(base, 42);
    arrow.lineTo(base, 56);
    arrow.closeSubpath();
    p.setPen(Stroke(Teal.darker(115), 2.5));
    p.setBrush(Teal);
    p.drawPath(arrow);
}

void Opt_Prev(QPainter &p)
{
    Arrow(p, false);
}

void Opt_Next(QPainter &p)
{
    Arrow(p, true);
}

void Opt_Check(QPainter &p)
{
    // A globe with a circling arrow: ask the web site.
    p.setPen(Stroke(Teal, 3));
    p.setBrush(Teal_Light);
    p.drawEllipse(QRectF(8, 8, 40, 40));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(19, 8, 18, 40));
    p.drawLine(QPointF(8, 28), QPointF(48, 28));
    p.drawLine(QPointF(12, 18), QPointF(44, 18));
    p.drawLine(QPointF(12, 38), QPointF(44, 38));
    p.setPen(Stroke(Orange, 5));
    p.drawArc(QRectF(30, 30, 28, 28), 100 * 16, 250 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(Orange);
    QPainterPath head;
    head.moveTo(38, 24);
    head.lineTo(50, 31);
    head.lineTo(38, 38);
    head.closeSubpath();
    p.drawPath(head);
}

void Logo(QPainter &p)
{
    // Two ports joined through the converter.
    p.setPen(Qt::NoPen);
    p.setBrush(Teal);
    p.drawRoundedRect(QRectF(1, 1, 62, 62), 12, 12);
    p.setBrush(Paper);
    p.drawRoundedRect(QRectF(8, 20, 14, 24), 3, 3);
    p.drawRoundedRect(QRectF(42, 20, 14, 24), 3, 3);
    p.setBrush(Teal);
    for (qreal y : {25.0, 31.0, 37.0}) {
        p.drawEllipse(QPointF(15, y + 1), 2.2, 2.2);
        p.drawEllipse(QPointF(49, y + 1), 2.2, 2.2);
    }
    p.setPen(Stroke(Amber, 3.5));
    p.drawLine(QPointF(26, 27), QPointF(38, 27));
    p.drawLine(QPointF(26, 37), QPointF(38, 37));
    p.setPen(Stroke(Amber, 3.5));
    p.drawLine(QPointF(34, 23), QPointF(38, 27));
    p.drawLine(QPointF(34, 31), QPointF(38, 27));
    p.drawLine(QPointF(30, 33), QPointF(26, 37));
    p.drawLine(QPointF(30, 41), QPointF(26, 37));
    p.setPen(Stroke(Paper, 2.5));
    p.drawLine(QPointF(12, 52), QPointF(52, 52));
    p.drawLine(QPointF(12, 12), QPointF(52, 12));
}

void Boot_Update(QPainter &p)
{
    // A chip on the left taking a bolt of new firmware.
    p.setPen(Stroke(Grey, 3));
    p.setBrush(Teal_Light);
    p.drawRoundedRect(QRectF(6, 18, 30, 30), 3, 3);
    for (int y : {24, 33, 42}) {
        p.drawLine(QPointF(1, y), QPointF(6, y));
        p.drawLine(QPointF(36, y), QPointF(40, y));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(Teal);
    p.drawRect(QRectF(14, 26, 14, 14));
    QPainterPath bolt;
    bolt.moveTo(50, 2);
    bolt.lineTo(38, 32);
    bolt.lineTo(48, 32);
    bolt.lineTo(42, 62);
    bolt.lineTo(62, 24);
    bolt.lineTo(52, 24);
    bolt.lineTo(60, 2);
    bolt.closeSubpath();
    p.setPen(Stroke(Amber_Dark, 2));
    p.setBrush(Orange);
    p.drawPath(bolt);
}

void Boot_Cancel(QPainter &p)
{
    // A grey disc with a white cross: leave without updating.
    p.setPen(Qt::NoPen);
    p.setBrush(Grey);
    p.drawEllipse(QRectF(4, 4, 56, 56));
    p.setPen(Stroke(Paper, 7));
    p.drawLine(QPointF(22, 22), QPointF(42, 42));
    p.drawLine(QPointF(42, 22), QPointF(22, 42));
}

void Boot_Refresh(QPainter &p)
{
    // Two arrows chasing each other round: list the ports again.
    p.setBrush(Qt::NoBrush);
    p.setPen(Stroke(Teal, 7));
    p.drawArc(QRectF(10, 10, 44, 44), 30 * 16, 140 * 16);
    p.drawArc(QRectF(10, 10, 44, 44), 210 * 16, 140 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(Teal);
    QPainterPath head1;
    head1.moveTo(50, 6);
    head1.lineTo(58, 26);
    head1.lineTo(38, 24);
    head1.closeSubpath();
    p.drawPath(head1);
    QPainterPath head2;
    head2.moveTo(14, 58);
    head2.lineTo(6, 38);
    head2.lineTo(26, 40);
    head2.closeSubpath();
    p.drawPath(head2);
}

void History(QPainter &p)
{
    // A clock with an arrow turning back round it: the updates sent before.
    p.setPen(Stroke(Teal, 3));
    p.setBrush(Teal_Light);
    p.drawEllipse(QRectF(14, 14, 42, 42));
    p.setPen(Stroke(Grey, 4));
    p.drawLine(QPointF(35, 35), QPointF(35, 21));
    p.drawLine(QPointF(35, 35), QPointF(45, 41));
    p.setBrush(Qt::NoBrush);
    p.setPen(Stroke(Orange, 5));
    const QPointF centre(35, 35);
    const qreal radius = 28;
    p.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), 95 * 16, 125 * 16);
    // The head at the arc's end, pointing on round against the clock.
    const qreal end = qDegreesToRadians(220.0);
    const QPointF at(centre.x() + radius * qCos(end), centre.y() - radius * qSin(end));
    const QPointF along(-qSin(end), -qCos(end));
    const QPointF across(-along.y(), along.x());
    QPainterPath head;
    head.moveTo(at + along * 9);
    head.lineTo(at + across * 7);
    head.lineTo(at - across * 7);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Orange);
    p.drawPath(head);
}

bool Draw(const QString &dir, const QString &name, int size, const std::function<void(QPainter &)> &glyph)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(qreal(size) / Grid, qreal(size) / Grid);
    glyph(painter);
    painter.end();
    const QString path = QDir(dir).filePath(name + QStringLiteral(".png"));
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// ---- Flags of the shipped languages (LANGUAGE/<language>.bmp), 48 x 32, drawn on a 48 x 32 grid ----

constexpr int Flag_Width = 48;
constexpr int Flag_Height = 32;

void Stripes(QPainter &p, const QList<QColor> &colours, const QList<int> &shares, bool vertical)
{
    int total = 0;
    for (int share : shares)
        total += share;
    qreal at = 0;
    for (qsizetype i = 0; i < colours.size(); ++i) {
        const qreal size = (vertical ? Flag_Width : Flag_Height) * qreal(shares[i]) / total;
        p.fillRect(vertical ? QRectF(at, 0, size, Flag_Height) : QRectF(0, at, Flag_Width, size), colours[i]);
        at += size;
    }
}

void Flag_Deutsch(QPainter &p)
{
    Stripes(p, {QColor(0, 0, 0), QColor(221, 0, 0), QColor(255, 206, 0)}, {1, 1, 1}, false);
}

void Flag_Italiano(QPainter &p)
{
    Stripes(p, {QColor(0, 146, 70), QColor(255, 255, 255), QColor(206, 43, 55)}, {1, 1, 1}, true);
}

void Flag_Francais(QPainter &p)
{
    Stripes(p, {QColor(0, 85, 164), QColor(255, 255, 255), QColor(239, 65, 53)}, {1, 1, 1}, true);
}

void Flag_Espanol(QPainter &p)
{
    Stripes(p, {QColor(170, 21, 27), QColor(241, 191, 0), QColor(170, 21, 27)}, {1, 2, 1}, false);
}

void Flag_English(QPainter &p)
{
    const QColor blue(1, 33, 105);
    const QColor red(200, 16, 46);
    p.fillRect(QRectF(0, 0, Flag_Width, Flag_Height), blue);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 6.4, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(0, 0), QPointF(Flag_Width, Flag_Height));
    p.drawLine(QPointF(Flag_Width, 0), QPointF(0, Flag_Height));
    p.setPen(QPen(red, 2.2, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(0, 0), QPointF(Flag_Width, Flag_Height));
    p.drawLine(QPointF(Flag_Width, 0), QPointF(0, Flag_Height));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRectF(0, 11, Flag_Width, 10), Qt::white);
    p.fillRect(QRectF(19, 0, 10, Flag_Height), Qt::white);
    p.fillRect(QRectF(0, 13, Flag_Width, 6), red);
    p.fillRect(QRectF(21, 0, 6, Flag_Height), red);
}

// A language without a flag of its own: a globe on a plain field.
void Flag_Default(QPainter &p)
{
    p.fillRect(QRectF(0, 0, Flag_Width, Flag_Height), Teal_Light);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    p.setPen(Stroke(Teal, 2));
    const QRectF globe(13, 5, 22, 22);
    p.drawEllipse(globe);
    p.drawEllipse(QRectF(19.5, 5, 9, 22));
    p.drawLine(QPointF(24, 5), QPointF(24, 27));
    p.drawLine(QPointF(13, 16), QPointF(35, 16));
    p.drawLine(QPointF(15.5, 10.5), QPointF(32.5, 10.5));
    p.drawLine(QPointF(15.5, 21.5), QPointF(32.5, 21.5));
}

bool Draw_Flag(const QString &dir, const QString &name, void (*flag)(QPainter &))
{
    QImage image(Flag_Width, Flag_Height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    flag(painter);
    // A thin frame keeps white and pale fields apart from the page.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QColor(120, 120, 120));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(0, 0, Flag_Width - 1, Flag_Height - 1);
    painter.end();
    const QString path = QDir(dir).filePath(name + QStringLiteral(".bmp"));
    if (!image.convertToFormat(QImage::Format_RGB888).save(path, "BMP")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: make_icons <output directory> [<icon theme directory> [<flag directory>]]\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    // 64 pixels: the windows show them at 18 to 32 pixels, and at twice that on high-density screens.
    const struct
    {
        const char *Name;
        int Size;
        void (*Glyph)(QPainter &);
    } pictures[] = {
        {"info", 64, Info},
        {"options", 64, Options},
        {"close", 64, Close},
        {"new", 64, New},
        {"open", 64, Open},
        {"settings", 64, Settings},
        {"update", 64, Update},
        {"ok", 64, Ok},
        {"cancel", 64, Cancel},
        {"logo", 162, Logo},
        {"opt_prev", 64, Opt_Prev},
        {"opt_next", 64, Opt_Next},
        {"opt_check", 64, Opt_Check},
        {"boot_update", 64, Boot_Update},
        {"boot_cancel", 64, Boot_Cancel},
        {"boot_refresh", 64, Boot_Refresh},
        {"history", 64, History},
        // Drawn at their size of use, 16 x 16.
        {"category_expanded", 16, Category_Expanded},
        {"category_collapsed", 16, Category_Collapsed},
    };
    bool ok = true;
    for (const auto &picture : pictures)
        ok = Draw(dir, QString::fromLatin1(picture.Name), picture.Size, picture.Glyph) && ok;
    // The main window's pictures also at the pixel sizes it shows them (<name>_<pixels>.png), once and twice
    // the size: the program reads these as they are, without decoding and scaling the large ones at start.
    const struct
    {
        const char *Name;
        int Size;
        void (*Glyph)(QPainter &);
    } shown[] = {{"info", 32, Info}, {"options", 32, Options},   {"close", 32, Close},   {"new", 24, New},
                 {"open", 24, Open}, {"settings", 24, Settings}, {"update", 24, Update}, {"history", 24, History}};
    for (const auto &picture : shown) {
        for (int pixels : {picture.Size, 2 * picture.Size})
            ok = Draw(dir, QStringLiteral("%1_%2").arg(QLatin1String(picture.Name)).arg(pixels), pixels,
                      picture.Glyph) &&
                 ok;
    }
    // The settings' category headers (drawn at 16 pixels) also at the sizes a scale factor of 1.5 and 2 asks
    // for, so that they are drawn, not enlarged (both looks).
    const auto categories = [&ok, &dir](const QString &suffix) {
        for (int pixels : {24, 32}) {
            ok = Draw(dir, QStringLiteral("category_expanded%1_%2").arg(suffix).arg(pixels), pixels,
                      Category_Expanded) &&
                 ok;
            ok = Draw(dir, QStringLiteral("category_collapsed%1_%2").arg(suffix).arg(pixels), pixels,
                      Category_Collapsed) &&
                 ok;
        }
    };
    categories(QString());
    // The pictures drawn again for the dark look, whose strokes would vanish on its dark buttons and headers:
    // <name>_dark.png, and the main window's also at the sizes it shows them.
    Teal = Dark_Teal_Ink;
    Grey = Dark_Grey_Ink;
    for (const auto &picture : pictures) {
        if (QByteArray(picture.Name) == "logo" || QByteArray(picture.Name) == "ok" ||
            QByteArray(picture.Name) == "cancel" || QByteArray(picture.Name) == "close" ||
            QByteArray(picture.Name) == "open")
            continue; // coloured strokes that show on both looks
        ok = Draw(dir, QString::fromLatin1(picture.Name) + QStringLiteral("_dark"), picture.Size, picture.Glyph) && ok;
    }
    for (const auto &picture : shown) {
        if (QByteArray(picture.Name) == "close" || QByteArray(picture.Name) == "open")
            continue;
        for (int pixels : {picture.Size, 2 * picture.Size})
            ok = Draw(dir, QStringLiteral("%1_dark_%2").arg(QLatin1String(picture.Name)).arg(pixels), pixels,
                      picture.Glyph) &&
                 ok;
    }
    categories(QStringLiteral("_dark"));
    Teal = Light_Teal_Ink;
    Grey = Light_Grey_Ink;
    if (argc >= 3) {
        const QString theme = QString::fromLocal8Bit(argv[2]);
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
            const QString apps = QDir(theme).filePath(QStringLiteral("%1x%1/apps").arg(size));
            QDir().mkpath(apps);
            ok = Draw(apps, QStringLiteral("org.quillon.Quillon"), size, Logo) && ok;
        }
    }
    if (argc == 4) {
        // The shipped languages' flags, named as the resource files that carry them.
        const QString flagDir = QString::fromLocal8Bit(argv[3]);
        QDir().mkpath(flagDir);
        const struct
        {
            const char *Name;
            void (*Flag)(QPainter &);
        } flags[] = {{"English", Flag_English},   {"Deutsch", Flag_Deutsch}, {"Italiano", Flag_Italiano},
                     {"Francais", Flag_Francais}, {"Espanol", Flag_Espanol}, {"DefaultFlag", Flag_Default}};
        for (const auto &flag : flags)
            ok = Draw_Flag(flagDir, QString::fromLatin1(flag.Name), flag.Flag) && ok;
    }
    return ok ? 0 : 1;
}
