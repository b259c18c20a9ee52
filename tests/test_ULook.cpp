// The look every window shares: labels as written, captions fitted to their room, and the rules the
// application object applies to every window (Enter on a focused button, tooltips as written).

#include "UWindow_Test_Support.h"

#include "UAbout.h"
#include "UBoot.h"
#include "UHistory.h"
#include "ULook.h"
#include "UNew_Project.h"
#include "UOpenConf.h"
#include "UParGen.h"
#include "USoftOptions.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolTip>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString Long_Caption = QStringLiteral("Vorhandene Konfiguration öffnen und bearbeiten");

int Width_Of(const QFont &font, const QString &text)
{
    return QFontMetrics(font).size(0, text).width();
}

QFont At(int pixels)
{
    return Program_Font(pixels);
}

// The tooltip the widget shows when the pointer rests on it.
QString Tooltip_Shown(QWidget *widget)
{
    QToolTip::hideText();
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), widget->mapToGlobal(QPoint(2, 2)));
    QCoreApplication::sendEvent(widget, &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

// A window with one button and one edit, the button focused and counting its clicks.
struct TButton_Window
{
    explicit TButton_Window(bool dialog)
        : Window(dialog ? new QDialog : new QWidget), Edit(new QLineEdit(Window.get())),
          Button(new QPushButton(QStringLiteral("Go"), Window.get())), Clicks(Button, &QPushButton::clicked)
    {
        Button->move(0, 30);
        Window->show();
        if (!QTest::qWaitForWindowActive(Window.get()))
            qWarning("window not active");
        Button->setFocus();
    }
    std::unique_ptr<QWidget> Window;
    QLineEdit *Edit;
    QPushButton *Button;
    QSignalSpy Clicks;
};

// A dark palette as a desktop's dark theme gives it (a light one on a dark desktop is no better).
QPalette Foreign_Dark_Palette()
{
    QPalette palette(QColor(53, 53, 53));
    palette.setColor(QPalette::Window, QColor(53, 53, 53));
    palette.setColor(QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Base, QColor(42, 42, 42));
    palette.setColor(QPalette::AlternateBase, QColor(66, 66, 66));
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::Button, QColor(53, 53, 53));
    palette.setColor(QPalette::ButtonText, Qt::white);
    palette.setColor(QPalette::Highlight, QColor(42, 130, 218));
    palette.setColor(QPalette::ToolTipBase, QColor(20, 20, 20));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(90, 90, 90));
    return palette;
}

// Every role of every group a colour of its own that no look has: whatever a window took from it would show.
QPalette Foreign_Loud_Palette()
{
    QPalette palette;
    for (int group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            if (role != QPalette::NoRole)
                palette.setColor(QPalette::ColorGroup(group), QPalette::ColorRole(role),
                                 QColor::fromHsv((role * 23 + group * 97) % 360, 255, 40 + role * 9));
        }
    }
    return palette;
}

// Every window of the program as it is drawn in the look given for the run, by name.
QMap<QString, QImage> Rendered_Windows(const QString &look)
{
    TProgram_Fixture program;
    Set_Look_For_This_Run(look);
    DIRevevoriVezaDiva *main = program.Start(true);
    QMap<QString, QImage> images;
    images[u"main"_s] = main->grab().toImage();
    images[u"new configuration"_s] = main->FNew_Project->grab().toImage();
    images[u"open configuration"_s] = main->FOpenConf->grab().toImage();
    images[u"about"_s] = main->FAbout->grab().toImage();
    images[u"update"_s] = main->FBoot->grab().toImage();
    images[u"settings"_s] = main->FParGen->grab().toImage();
    images[u"history"_s] = main->FHistory->grab().toImage();
    // Check boxes ticked and not, side by side.
    for (QCheckBox *box : main->FParGen->findChildren<QCheckBox *>())
        box->setChecked(box->objectName().contains(u"Port0"_s));
    images[u"settings, boxes ticked"_s] = main->FParGen->grab().toImage();
    auto *pages = main->FSoftOptions->findChild<QTabWidget *>(u"PC_Options"_s);
    main->FSoftOptions->findChild<QCheckBox *>(u"CB_En_Con"_s)->setChecked(true);
    for (int page = 0; page < pages->count(); ++page) {
        pages->setCurrentIndex(page);
        images[u"options page %1"_s.arg(page + 1)] = main->FSoftOptions->grab().toImage();
    }
    std::unique_ptr<QMessageBox> box(Create_Message_Box(u"Do you want to save?"_s, TMessage_Kind::Confirmation,
                                                        QMessageBox::Yes | QMessageBox::No, main));
    images[u"message box"_s] = box->grab().toImage();
    Set_Look_For_This_Run(QString());
    return images;
}

int Differing_Pixels(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return a.width() * a.height();
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int column = 0; column < x.width(); ++column)
            count += x.pixel(column, row) != y.pixel(column, row);
    }
    return count;
}

} // namespace

class Test_ULook : public QObject
{
    Q_OBJECT

private slots:
    void A_caption_shrinks_to_its_room_then_is_elided_data()
    {
        QTest::addColumn<int>("roomAtPixels");  // the room is the caption's width at this size...
        QTest::addColumn<double>("roomFactor"); // ...times this
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("pixels");
        QTest::addColumn<bool>("elided");
        QTest::newRow("a caption that fits keeps its font") << 11 << 1.0 << int(Qt::ElideRight) << 11 << false;
        QTest::newRow("a wider one takes the largest size that fits") << 9 << 1.0 << int(Qt::ElideRight) << 9 << false;
        QTest::newRow("too wide at the floor it is elided at the end")
            << 8 << 0.5 << int(Qt::ElideRight) << Caption_Floor_Pixel_Size << true;
        QTest::newRow("or in the middle") << 8 << 0.5 << int(Qt::ElideMiddle) << Caption_Floor_Pixel_Size << true;
        QTest::newRow("no room means no limit") << 11 << 0.0 << int(Qt::ElideRight) << 11 << false;
    }

    void A_caption_shrinks_to_its_room_then_is_elided()
    {
        QFETCH(int, roomAtPixels);
        QFETCH(double, roomFactor);
        QFETCH(int, mode);
        QFETCH(int, pixels);
        QFETCH(bool, elided);
        const int room = int(Width_Of(At(roomAtPixels), Long_Caption) * roomFactor);
        const TCaption_Fit fit = Fit_Caption(At(11), Long_Caption, room, Qt::TextElideMode(mode));
        QCOMPARE(fit.Font.pixelSize(), pixels);
        QCOMPARE(fit.Elided, elided);
        if (room > 0)
            QVERIFY(Width_Of(fit.Font, fit.Text) <= room);
        if (!elided) {
            QCOMPARE(fit.Text, Long_Caption);
        } else if (mode == Qt::ElideMiddle) {
            QVERIFY2(fit.Text.startsWith(u'V') && fit.Text.endsWith(QStringLiteral("ten")), qPrintable(fit.Text));
            QVERIFY(fit.Text.contains(QChar(0x2026)));
        } else {
            QVERIFY2(fit.Text.startsWith(QStringLiteral("Vor")) && fit.Text.endsWith(QChar(0x2026)),
                     qPrintable(fit.Text));
        }
    }

    void Every_text_is_readable_on_its_background_data()
    {
        QTest::addColumn<int>("look");
        QTest::newRow("light") << int(TLook::Light);
        QTest::newRow("dark") << int(TLook::Dark);
    }

    // WCAG contrast: 4.5:1 for text, 3:1 for large headings (the product code), disabled captions, the focus
    // frame and the edge of a check box (not text, but what a user must find).
    void Every_text_is_readable_on_its_background()
    {
        QFETCH(int, look);
        const QPalette p = Look_Palette(TLook(look));
        const TLook_Colours &c = Look_Colours(TLook(look));
        struct TPair
        {
            QString What;
            QColor Text;
            QColor Back;
            double Least;
        };
        QList<TPair> pairs;
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            const QString g = group == QPalette::Active ? u"active "_s : u"inactive "_s;
            pairs +=
                {{g + u"window text"_s, p.color(group, QPalette::WindowText), p.color(group, QPalette::Window), 4.5},
                 {g + u"field text"_s, p.color(group, QPalette::Text), p.color(group, QPalette::Base), 4.5},
                 {g + u"placeholder"_s, p.color(group, QPalette::PlaceholderText), p.color(group, QPalette::Base), 4.5},
                 {g + u"button text"_s, p.color(group, QPalette::ButtonText), p.color(group, QPalette::Button), 4.5},
                 {g + u"selection"_s, p.color(group, QPalette::HighlightedText), p.color(group, QPalette::Highlight),
                  4.5},
                 {g + u"tooltip"_s, p.color(group, QPalette::ToolTipText), p.color(group, QPalette::ToolTipBase), 4.5},
                 {g + u"link"_s, p.color(group, QPalette::Link), p.color(group, QPalette::Window), 4.5},
                 {g + u"link in a field"_s, p.color(group, QPalette::Link), p.color(group, QPalette::Base), 4.5},
                 {g + u"alternate rows"_s, p.color(group, QPalette::Text), p.color(group, QPalette::AlternateBase),
                  4.5}};
        }
        const auto d = QPalette::Disabled;
        pairs += {{u"disabled window text"_s, p.color(d, QPalette::WindowText), p.color(d, QPalette::Window), 3},
                  {u"disabled field text"_s, p.color(d, QPalette::Text), p.color(d, QPalette::Base), 3},
                  {u"disabled button text"_s, p.color(d, QPalette::ButtonText), p.color(d, QPalette::Button), 3},
                  {u"text"_s, c.Text, c.Back, 4.5},
                  {u"strong text"_s, c.Strong_Text, c.Back, 4.5},
                  {u"settings captions"_s, c.Form_Text, c.Back, 4.5},
                  {u"link"_s, c.Link, c.Back, 4.5},
                  {u"warning"_s, c.Warning, c.Back, 4.5},
                  {u"settings headings"_s, c.Header_Text, c.Header, 4.5},
                  {u"product code (large)"_s, c.Code, c.Back, 3},
                  {u"disabled caption"_s, c.Disabled_Text, c.Back, 3},
                  {u"focus frame on the window"_s, c.Focus, c.Back, 3},
                  {u"focus frame on a button"_s, c.Focus, c.Button, 3},
                  {u"check box edge on the window"_s, c.Box_Edge, c.Back, 3},
                  {u"check box edge on a page"_s, c.Box_Edge, c.Button, 3},
                  {u"check box edge around its field"_s, c.Box_Edge, c.Field, 3}};
        QStringList failures;
        for (const TPair &pair : pairs) {
            const double ratio = Contrast_Ratio(pair.Text, pair.Back);
            if (ratio < pair.Least)
                failures.append(
                    u"%1 %2 on %3: %4:1"_s.arg(pair.What, pair.Text.name(), pair.Back.name()).arg(ratio, 0, 'f', 2));
        }
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u"; "_s)));
    }

    void Contrast_is_measured_as_wcag_does()
    {
        QCOMPARE(Contrast_Ratio(Qt::black, Qt::white), 21.0);
        QCOMPARE(Contrast_Ratio(Qt::white, Qt::black), 21.0);
        QCOMPARE(Contrast_Ratio(QColor(120, 30, 200), QColor(120, 30, 200)), 1.0);
        // #767676 is the lightest grey that reaches 4.5:1 on white.
        QVERIFY(Contrast_Ratio(QColor(0x76, 0x76, 0x76), Qt::white) >= 4.5);
        QVERIFY(Contrast_Ratio(QColor(0x77, 0x77, 0x77), Qt::white) < 4.5);
    }

    void A_foreign_palette_changes_no_pixel_of_any_window_data()
    {
        QTest::addColumn<QString>("look");
        QTest::newRow("light") << u"light"_s;
        QTest::newRow("dark") << u"dark"_s;
    }

    // The application's palette as a desktop theme sets it, before the look is applied: every window is drawn
    // as it is without one.
    void A_foreign_palette_changes_no_pixel_of_any_window()
    {
        QFETCH(QString, look);
        const QPalette before = QApplication::palette();
        QApplication::setPalette(QApplication::style()->standardPalette());
        const QMap<QString, QImage> plain = Rendered_Windows(look);
        for (const QPalette &foreign : {Foreign_Dark_Palette(), Foreign_Loud_Palette()}) {
            QApplication::setPalette(foreign);
            const QMap<QString, QImage> seen = Rendered_Windows(look);
            QCOMPARE(seen.keys(), plain.keys());
            for (auto it = plain.cbegin(); it != plain.cend(); ++it)
                QVERIFY2(Differing_Pixels(it.value(), seen[it.key()]) == 0, qPrintable(it.key()));
        }
        QApplication::setPalette(before);
        // The two looks are two looks.
        if (look == u"dark"_s)
            QVERIFY(Differing_Pixels(plain[u"main"_s], Rendered_Windows(u"light"_s)[u"main"_s]) > 0);
    }

    void An_unchecked_box_never_looks_ticked_data()
    {
        QTest::addColumn<int>("look");
        QTest::newRow("light") << int(TLook::Light);
        QTest::newRow("dark") << int(TLook::Dark);
    }

    // Under a dark desktop theme: the box of an unchecked check box is the field colour throughout, a checked
    // one carries a tick that stands out from it.
    void An_unchecked_box_never_looks_ticked()
    {
        QFETCH(int, look);
        const QPalette before = QApplication::palette();
        QApplication::setPalette(Foreign_Dark_Palette());
        Apply_Look(TLook(look));
        QDialog window;
        Apply_Window_Look(&window);
        window.resize(200, 60);
        auto *off = new QCheckBox(u"Enable Broadcast"_s, &window);
        auto *on = new QCheckBox(u"Enable Broadcast"_s, &window);
        off->setGeometry(8, 8, 160, 17);
        on->setGeometry(8, 32, 160, 17);
        on->setChecked(true);
        const QColor field = Look_Colours(TLook(look)).Field;
        const auto marks = [&field](QCheckBox *box) {
            QStyleOptionButton option;
            option.initFrom(box);
            const QRect indicator =
                box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box).adjusted(3, 3, -3, -3);
            const QImage image = box->grab().toImage();
            int count = 0;
            for (int y = indicator.top(); y <= indicator.bottom(); ++y) {
                for (int x = indicator.left(); x <= indicator.right(); ++x)
                    count += Contrast_Ratio(image.pixelColor(x, y), field) >= 3;
            }
            return count;
        };
        QCOMPARE(marks(off), 0);
        QVERIFY(marks(on) > 4);
        Apply_Look(TLook::Light);
        QApplication::setPalette(before);
    }

    void The_look_for_the_run_and_the_saved_choice()
    {
        const QString saved = Look_Choice;
        Look_Choice = u"dark"_s;
        QCOMPARE(Wanted_Look(), TLook::Dark);
        Set_Look_For_This_Run(u"light"_s);
        QCOMPARE(Wanted_Look(), TLook::Light);
        Set_Look_For_This_Run(QString());
        QCOMPARE(Resolve_Look(u"system"_s), System_Look());
        QCOMPARE(Resolve_Look(u"light"_s), TLook::Light);
        Look_Choice = saved;
    }

    void A_disabled_control_is_drawn_in_another_colour()
    {
        // A check box caption and a picture button's caption, drawn enabled and disabled: the text must differ.
        QDialog window;
        Apply_Window_Look(&window);
        auto *box = new QCheckBox(QStringLiteral("Check Available Update"), &window);
        box->setGeometry(0, 0, 240, 20);
        QPushButton *button = Create_Picture_Button(&window, QStringLiteral("Btn_Update"),
                                                    QStringLiteral("boot_update"), 0, 30, 200, 28, 18);
        button->setText(QStringLiteral("Execute Update Firmware"));
        window.resize(260, 70);
        const auto darkest = [](QWidget *widget) {
            const QImage image = widget->grab().toImage();
            int darkest = 255;
            // The caption lies right of the box or the picture.
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 30; x < image.width(); ++x)
                    darkest = std::min(darkest, qGray(image.pixel(x, y)));
            }
            return darkest;
        };
        for (QWidget *widget : std::initializer_list<QWidget *>{box, button}) {
            widget->setEnabled(true);
            const int enabled = darkest(widget);
            widget->setEnabled(false);
            const int disabled = darkest(widget);
            // As far apart as a disabled caption that stays readable (3:1 on the background) allows.
            QVERIFY2(disabled - enabled >= 40, qPrintable(QStringLiteral("%1: %2 enabled, %3 disabled")
                                                              .arg(widget->metaObject()->className())
                                                              .arg(enabled)
                                                              .arg(disabled)));
        }
    }

    void Labels_show_their_text_as_written_link_labels_excepted()
    {
        QWidget window;
        window.resize(400, 100);
        const QString marked = QStringLiteral("<b>Bold</b><br>next line &amp;");
        QLabel *plain = Create_Label(&window, QStringLiteral("L_Name"), 16, 8);
        Set_Caption(plain, marked);
        QCOMPARE(plain->textFormat(), Qt::PlainText);
        QCOMPARE(plain->text(), marked);
        // A label made outside Create_Label is plain as soon as it is captioned.
        auto *made = new QLabel(&window);
        Set_Caption(made, marked);
        QCOMPARE(made->textFormat(), Qt::PlainText);
        TClick_Label link(&window);
        QCOMPARE(link.textFormat(), Qt::PlainText);

        QLabel *linkLabel = Create_Label(&window, QStringLiteral("LL_Update"), 16, 40);
        linkLabel->setTextFormat(Qt::RichText);
        Set_Caption(linkLabel, QStringLiteral("<a href=\"http://127.0.0.1/\">New</a>"));
        QCOMPARE(linkLabel->textFormat(), Qt::RichText);
    }

    void A_label_too_wide_for_its_room_is_fitted_and_shown_whole_again_when_it_fits()
    {
        QWidget window;
        window.resize(200, 100);
        QLabel *label = Create_Label(&window, QStringLiteral("Label1"), 16, 8, true);
        label->setToolTip(QStringLiteral("hint"));
        Set_Caption(label, Long_Caption);
        // Inside the window, less the margin: shrunk to the floor and elided, the whole text in the tooltip.
        QVERIFY2(label->geometry().right() < 200 - 8 + 1, qPrintable(QString::number(label->geometry().right())));
        QCOMPARE(label->font().pixelSize(), Caption_Floor_Pixel_Size);
        QVERIFY(label->font().bold());
        QVERIFY(label->text().endsWith(QChar(0x2026)));
        QCOMPARE(Shown_Tooltip(label), Long_Caption + QStringLiteral("\nhint"));

        // The next caption (a change of language) starts again from the label's own font.
        Set_Caption(label, QStringLiteral("Name"));
        QCOMPARE(label->text(), QStringLiteral("Name"));
        QCOMPARE(label->font().pixelSize(), Text_Pixel_Size);
        QCOMPARE(Shown_Tooltip(label), QStringLiteral("hint"));

        // A room of its own, elided in the middle.
        Set_Caption_Room(label, 60, Qt::ElideMiddle);
        Set_Caption(label, Long_Caption);
        QVERIFY(label->width() <= 60);
        QVERIFY(label->text().startsWith(u'V'));
        QVERIFY(label->text().endsWith(u'n'));
    }

    void A_button_caption_too_wide_is_fitted_and_its_tooltip_shows_it_whole()
    {
        QWidget window;
        window.resize(400, 100);
        QPushButton *button =
            Create_Picture_Button(&window, QStringLiteral("Btn_Open"), QStringLiteral("open"), 8, 8, 170, 36, 24);
        button->setToolTip(QStringLiteral("Open an exists configuration"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        button->setText(QStringLiteral("Open Configuration"));
        button->grab();
        QCOMPARE(Tooltip_Shown(button), QStringLiteral("Open an exists configuration"));
        // Drawn at the floor size and elided (the picture and the margins leave about 120 pixels).
        button->setText(Long_Caption);
        button->grab();
        QCOMPARE(Tooltip_Shown(button), Long_Caption + QStringLiteral("\nOpen an exists configuration"));
        // A plain button (no picture beside its caption) is fitted the same way.
        QPushButton plain(Long_Caption, &window);
        plain.setGeometry(8, 50, 60, 24);
        plain.show();
        plain.grab();
        QCOMPARE(Shown_Tooltip(&plain), Long_Caption);
    }

    void A_check_box_caption_too_wide_is_fitted_and_its_tooltip_shows_it_whole()
    {
        QDialog window;
        Apply_Window_Look(&window);
        window.resize(300, 60);
        auto *box = new QCheckBox(QStringLiteral("Enable Broadcast"), &window);
        box->setGeometry(8, 8, 160, 17);
        box->setToolTip(QStringLiteral("Enable the broadcast"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        box->grab();
        QCOMPARE(Tooltip_Shown(box), QStringLiteral("Enable the broadcast"));
        // A caption the box cannot hold even at the floor size: elided, and the tooltip shows it whole.
        box->setText(Long_Caption);
        const QImage drawn = box->grab().toImage();
        QCOMPARE(Tooltip_Shown(box), Long_Caption + QStringLiteral("\nEnable the broadcast"));
        // Nothing is drawn past the box's own width: the caption stays inside its room.
        QCOMPARE(drawn.width(), 160);
    }

    void A_tooltip_with_markup_is_shown_as_written()
    {
        QWidget window;
        window.resize(100, 40);
        auto *edit = new QLineEdit(&window);
        edit->setToolTip(QStringLiteral("<b>Bold</b> & more"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // What the tooltip renders, read back as the user sees it.
        QTextDocument rendered;
        rendered.setHtml(Tooltip_Shown(edit));
        QCOMPARE(rendered.toPlainText(), edit->toolTip());
        QToolTip::hideText();
    }

    void A_focused_button_is_pressed_once_by_Enter_as_by_Space_data()
    {
        QTest::addColumn<bool>("dialog");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        for (bool dialog : {false, true}) {
            const char *window = dialog ? "in a dialog" : "in a window";
            QTest::addRow("Return %s", window) << dialog << int(Qt::Key_Return) << int(Qt::NoModifier);
            QTest::addRow("Enter of the keypad %s", window) << dialog << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
            QTest::addRow("Space %s", window) << dialog << int(Qt::Key_Space) << int(Qt::NoModifier);
        }
    }

    void A_focused_button_is_pressed_once_by_Enter_as_by_Space()
    {
        QFETCH(bool, dialog);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        TButton_Window window(dialog);
        QVERIFY(window.Button->hasFocus());
        // Not a default button, whatever its window made of it.
        QVERIFY(!window.Button->autoDefault());
        QVERIFY(!window.Button->isDefault());
        QTest::keyClick(window.Button, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(window.Clicks.count(), 1);
        // Held down: one click, at the release.
        QTest::sendKeyEvent(QTest::KeyAction::Press, window.Button, Qt::Key(key), QString(),
                            Qt::KeyboardModifiers(modifiers));
        for (int i = 0; i < 3; ++i) {
            QKeyEvent repeat(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), QString(), true);
            QCoreApplication::sendEvent(window.Button, &repeat);
        }
        QCOMPARE(window.Clicks.count(), 1);
        QVERIFY(window.Button->isDown());
        QTest::sendKeyEvent(QTest::KeyAction::Release, window.Button, Qt::Key(key), QString(),
                            Qt::KeyboardModifiers(modifiers));
        QCOMPARE(window.Clicks.count(), 2);
        if (dialog)
            QVERIFY(window.Window->isVisible());
    }

    void Enter_in_an_edit_or_with_a_modifier_presses_no_button()
    {
        TButton_Window window(true);
        int returns = 0;
        QObject::connect(window.Edit, &QLineEdit::returnPressed, [&] { ++returns; });
        window.Edit->setFocus();
        QTest::keyClick(window.Edit, Qt::Key_Return);
        QCOMPARE(returns, 1);
        window.Button->setFocus();
        QTest::keyClick(window.Button, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(window.Clicks.count(), 0);
        QVERIFY(window.Window->isVisible());
    }

    void A_message_box_keeps_its_default_answer_pressed_once_by_Enter_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("asked"); // the default button asked for
        QTest::addColumn<int>("pressed");
        QTest::newRow("OK") << int(TMessage_Kind::Information) << int(QMessageBox::Ok) << int(QMessageBox::NoButton)
                            << int(QMessageBox::Ok);
        QTest::newRow("OK before Cancel") << int(TMessage_Kind::Warning) << int(QMessageBox::Ok | QMessageBox::Cancel)
                                          << int(QMessageBox::NoButton) << int(QMessageBox::Ok);
        QTest::newRow("a question: Yes") << int(TMessage_Kind::Confirmation) << int(QMessageBox::Yes | QMessageBox::No)
                                         << int(QMessageBox::NoButton) << int(QMessageBox::Yes);
        QTest::newRow("a question asking for No")
            << int(TMessage_Kind::Confirmation) << int(QMessageBox::Yes | QMessageBox::No) << int(QMessageBox::No)
            << int(QMessageBox::No);
        QTest::newRow("a button the box lacks is ignored")
            << int(TMessage_Kind::Confirmation) << int(QMessageBox::Yes | QMessageBox::No) << int(QMessageBox::Cancel)
            << int(QMessageBox::Yes);
    }

    void A_message_box_keeps_its_default_answer_pressed_once_by_Enter()
    {
        QFETCH(int, kind);
        QFETCH(int, buttons);
        QFETCH(int, asked);
        QFETCH(int, pressed);
        std::unique_ptr<QMessageBox> box(Create_Message_Box(QStringLiteral("Done"), TMessage_Kind(kind),
                                                            QMessageBox::StandardButtons(buttons), nullptr, {},
                                                            QMessageBox::StandardButton(asked)));
        QAbstractButton *expected = box->button(QMessageBox::StandardButton(pressed));
        QVERIFY(expected);
        QSignalSpy clicks(box.get(), &QMessageBox::buttonClicked);
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        QCOMPARE(box->windowTitle(), QStringLiteral("Quillon"));
        QVERIFY(box->defaultButton() == expected);
        // Where the user's Enter goes.
        QVERIFY(box->focusWidget());
        QTest::keyClick(box->focusWidget(), Qt::Key_Return);
        QCOMPARE(clicks.count(), 1);
        QVERIFY(clicks[0][0].value<QAbstractButton *>() == expected);
        QVERIFY(!box->isVisible());
    }
};

QUILLON_WINDOW_TEST_MAIN(Test_ULook)
#include "test_ULook.moc"
