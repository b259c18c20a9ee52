// The software options dialog driven offscreen in a program directory of its own: the language page and
// the change of language of every window, the connection page with its enabling rule and the immediate
// version check, and the periodic check on the main window's timer against a server on 127.0.0.1.

#include "UHttp_Test_Server.h"
#include "UWindow_Test_Support.h"

#include "UAbout.h"
#include "UBoot.h"
#include "ULanguage.h"
#include "ULook.h"
#include "UNew_Project.h"
#include "UOpenConf.h"
#include "UParGen.h"
#include "USoftOptions.h"
#include "UVersion_Check.h"

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

const QByteArray Italiano = "STR15 = Nuova configurazione\n"
                            "STR100 = Crea nuova configurazione\n"
                            "STR200 = Apri configurazione\n"
                            "STR300 = Opzioni Software\n"
                            "STR304 = \xC2\xB6Lingua selezionata : \xC2\xB6\n"
                            "STR305 = \xC2\xB6Pagina \xC2\xB6\n"
                            "STR309 = Abilita la connessione Internet\n"
                            "STR400 = Imposta comunicazione\n"
                            "STR454 = Tipo di dispositivo\n"
                            "STR1000 = Aggiorna dispositivo via seriale\n";

const QStringList Seven{QStringLiteral("Deutsch"),  QStringLiteral("English"),  QStringLiteral("Espanol"),
                        QStringLiteral("Francais"), QStringLiteral("Italiano"), QStringLiteral("Nederlands"),
                        QStringLiteral("Portugues")};

// The names of the slots shown, in slot order; a hidden slot must come after every shown one.
QStringList Shown_Slots(TFSoftOptions *dialog)
{
    QStringList names;
    for (int k = 0; k < TFSoftOptions::Slots; ++k) {
        if (!dialog->L_L[k]->isHidden())
            names.append(dialog->L_L[k]->text());
    }
    return names;
}

// A plain picture of one colour, written as a BMP file.
bool Write_Flag(const TProgram_Fixture &program, const QString &name, const QColor &colour)
{
    QImage image(48, 32, QImage::Format_RGB32);
    image.fill(colour);
    return image.save(program.Path(QStringLiteral("LANGUAGE/") + name), "BMP");
}

QColor Centre_Colour(const QLabel *picture)
{
    const QImage image = picture->pixmap().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

void Click(QWidget *widget)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(4, widget->height() / 2));
}

// A program with the version check pointed at server.
struct TChecked_Program
{
    TChecked_Program(bool internet, bool update)
    {
        Set_Version_Check_Site(Server.Site());
        const QByteArray flags = QByteArray("<Conf_Settings><lastinternet><enable_internet>") + (internet ? "1" : "0") +
                                 "</enable_internet><enable_update>" + (update ? "1" : "0") +
                                 "</enable_update></lastinternet></Conf_Settings>";
        Program.Write(QStringLiteral("Quillon.xml"), flags);
        Main = Program.Start();
    }
    ~TChecked_Program() { Set_Version_Check_Site(QUrl()); }

    THttp_Test_Server Server;
    TProgram_Fixture Program;
    DIRevevoriVezaDiva *Main;
};

} // namespace

class Test_USoftOptions : public QObject
{
    Q_OBJECT

private slots:
    void The_dialog_is_captioned_and_laid_out()
    {
        TProgram_Fixture program;
        TFSoftOptions *dialog = program.Start()->FSoftOptions;
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Software Options"));
        QCOMPARE(dialog->size(), QSize(509, 373));
        QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
        QCOMPARE(dialog->PC_Options->count(), 3);
        QCOMPARE(dialog->PC_Options->tabText(0), QStringLiteral("Language"));
        QCOMPARE(dialog->PC_Options->tabText(1), QStringLiteral("Connection Options"));
        QCOMPARE(dialog->PC_Options->tabText(2), QStringLiteral("Software Settings"));
        QCOMPARE(dialog->L_Sel_Lang->text(), QStringLiteral("Selected Language : "));
        QCOMPARE(dialog->L_Page_Lang->text(), QStringLiteral("Page 1 / 1"));
        QCOMPARE(dialog->CB_Update->text(), QStringLiteral("Check Software Update at Start of Program"));
        QCOMPARE(dialog->Btn_Check_Update->geometry(), QRect(36, 78, 204, 28));
        QCOMPARE(dialog->Btn_Next->geometry(), QRect(379, 205, 110, 28));
        QCOMPARE(dialog->Btn_OK->mapTo(dialog, QPoint()), QPoint(16, 373 - 40 + 6));
        // No button takes Enter of its own accord.
        for (QPushButton *button : dialog->findChildren<QPushButton *>())
            QVERIFY2(!button->autoDefault() && !button->isDefault(), qPrintable(button->objectName()));
    }

    // A long page text of a translation ends before the next-page button, never under it.
    void The_page_text_ends_before_the_next_page_button()
    {
        TProgram_Fixture program;
        TFSoftOptions *dialog = program.Start()->FSoftOptions;
        const auto english = qScopeGuard([] { Load_Default_Language(); });
        Set_Language_Text(305, u"Seite der verfügbaren Sprachen in der Liste "_s);
        dialog->Set_Lang();
        QVERIFY(dialog->L_Page_Lang->text().endsWith(u"1"_s) || dialog->L_Page_Lang->text().contains(u'…'));
        QVERIFY2(dialog->L_Page_Lang->geometry().right() < dialog->Btn_Next->x(),
                 qPrintable(
                     u"%1 reaches %2"_s.arg(dialog->L_Page_Lang->text()).arg(dialog->L_Page_Lang->geometry().right())));
    }

    void The_language_page_lists_the_language_files_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("page");
        QTest::addColumn<bool>("next");
        QTest::newRow("no language file: English alone, built in")
            << QStringList() << QStringList{QStringLiteral("English")} << QStringLiteral("Page 1 / 1") << false;
        QTest::newRow("three languages on one page, sorted")
            << QStringList{QStringLiteral("English.lng"), QStringLiteral("Italiano.lng"), QStringLiteral("Deutsch.lng")}
            << QStringList{QStringLiteral("Deutsch"), QStringLiteral("English"), QStringLiteral("Italiano")}
            << QStringLiteral("Page 1 / 1") << false;
        QStringList seven;
        for (const QString &name : Seven)
            seven.append(name + QStringLiteral(".lng"));
        QTest::newRow("seven languages: six on the first of two pages")
            << seven << Seven.mid(0, 6) << QStringLiteral("Page 1 / 2") << true;
        QTest::newRow("sorted without regard to case, English offered without its file")
            << QStringList{QStringLiteral("beta.lng"), QStringLiteral("Alpha.lng"), QStringLiteral("alpha2.lng")}
            << QStringList{QStringLiteral("Alpha"), QStringLiteral("alpha2"), QStringLiteral("beta"),
                           QStringLiteral("English")}
            << QStringLiteral("Page 1 / 1") << false;
        QTest::newRow("a name with an accented letter among its plain letter")
            << QStringList{u"zulu.lng"_s, u"Česky.lng"_s, u"Deutsch.lng"_s, u"Français.lng"_s, u"Espanol.lng"_s}
            << QStringList{u"Česky"_s, u"Deutsch"_s, u"English"_s, u"Espanol"_s, u"Français"_s, u"zulu"_s}
            << QStringLiteral("Page 1 / 1") << false;
        QTest::newRow("only regular files ending in .lng whose names the settings file can hold")
            << QStringList{QStringLiteral("Italiano.lng"), QStringLiteral("notes.txt"),
                           QStringLiteral("dir:Folder.lng"), QStringLiteral("English.lng.bak"),
                           QStringLiteral("Deutsch.bmp")}
            << QStringList{QStringLiteral("English"), QStringLiteral("Italiano")} << QStringLiteral("Page 1 / 1")
            << false;
    }

    void The_language_page_lists_the_language_files()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, names);
        QFETCH(QString, page);
        QFETCH(bool, next);
        TProgram_Fixture program;
        TFSoftOptions *dialog = program.Start()->FSoftOptions;
        // The directory is read at each showing, not when the dialog is created.
        for (const QString &file : files) {
            if (file.startsWith(QStringLiteral("dir:")))
                QVERIFY(program.Make_Dir(QStringLiteral("LANGUAGE/") + file.mid(4)));
            else
                QVERIFY(program.Write(QStringLiteral("LANGUAGE/") + file, "STR1 = x\n"));
        }
        dialog->show();
        QCOMPARE(dialog->PC_Options->currentWidget(), dialog->TS_Language);
        QCOMPARE(Shown_Slots(dialog), names);
        for (int k = int(names.size()); k < TFSoftOptions::Slots; ++k)
            QVERIFY(dialog->I_L[k]->isHidden());
        QCOMPARE(dialog->L_Page_Lang->text(), page);
        QCOMPARE(dialog->L_Sel_Lang->text(), QStringLiteral("Selected Language : English"));
        QVERIFY(dialog->Btn_Prev->isHidden());
        QCOMPARE(!dialog->Btn_Next->isHidden(), next);
        dialog->reject();
    }

    void Pages_are_turned_and_each_slot_shows_its_flag()
    {
        TProgram_Fixture program;
        for (const QString &name : Seven)
            QVERIFY(program.Write(QStringLiteral("LANGUAGE/") + name + QStringLiteral(".lng"), "STR1 = x\n"));
        QVERIFY(Write_Flag(program, QStringLiteral("Deutsch.bmp"), Qt::red));
        QVERIFY(Write_Flag(program, QStringLiteral("DefaultFlag.bmp"), Qt::blue));
        TFSoftOptions *dialog = program.Start()->FSoftOptions;
        dialog->show();
        QCOMPARE(Centre_Colour(dialog->I_L[0]), QColor(Qt::red));
        for (int k = 1; k < TFSoftOptions::Slots; ++k) {
            QVERIFY(!dialog->I_L[k]->isHidden());
            QCOMPARE(Centre_Colour(dialog->I_L[k]), QColor(Qt::blue));
        }

        QTest::mouseClick(dialog->Btn_Next, Qt::LeftButton);
        QCOMPARE(dialog->L_Page_Lang->text(), QStringLiteral("Page 2 / 2"));
        QCOMPARE(Shown_Slots(dialog), QStringList{QStringLiteral("Portugues")});
        QVERIFY(!dialog->Btn_Prev->isHidden());
        QVERIFY(dialog->Btn_Next->isHidden());
        dialog->Btn_NextClick(dialog->Btn_Next);
        QCOMPARE(dialog->Show_Page, 2);
        QTest::mouseClick(dialog->Btn_Prev, Qt::LeftButton);
        QCOMPARE(dialog->L_Page_Lang->text(), QStringLiteral("Page 1 / 2"));
        QCOMPARE(Shown_Slots(dialog), Seven.mid(0, 6));
        dialog->reject();

        // Without a default flag a language without its own shows only its name; every showing starts on page 1.
        QVERIFY(QFile::remove(program.Path(QStringLiteral("LANGUAGE/DefaultFlag.bmp"))));
        QVERIFY(program.Write(QStringLiteral("LANGUAGE/English.bmp"), "not a picture"));
        dialog->Show_Page = 2;
        dialog->show();
        QCOMPARE(dialog->Show_Page, 1);
        QVERIFY(!dialog->I_L[0]->isHidden());
        for (int k = 1; k < TFSoftOptions::Slots; ++k) {
            QVERIFY(dialog->I_L[k]->isHidden());
            QVERIFY(!dialog->L_L[k]->isHidden());
        }
        dialog->reject();
    }

    void A_new_workspace_offers_the_shipped_languages_and_every_switch_has_its_way_back()
    {
        TProgram_Fixture program;
        DIRevevoriVezaDiva *main = program.Start(true);
        TFSoftOptions *dialog = main->FSoftOptions;
        dialog->show();
        const QStringList languages{QStringLiteral("Deutsch"), QStringLiteral("English"),
                                    QStringLiteral("Espa\u00f1ol"), QStringLiteral("Fran\u00e7ais"),
                                    QStringLiteral("Italiano")};
        QCOMPARE(Shown_Slots(dialog), languages);
        for (int k = 0; k < int(languages.size()); ++k)
            QVERIFY2(!dialog->I_L[k]->isHidden() && !dialog->I_L[k]->pixmap().isNull(), qPrintable(languages[k]));

        // One caption of every window re-captioned, the settings dialog's headings included.
        const auto captions = [&] {
            return QStringList{main->Btn_New->text(),
                               main->findChild<QLabel *>(QStringLiteral("L_Name_Conf"))->text(),
                               main->FNew_Project->windowTitle(),
                               main->FOpenConf->windowTitle(),
                               dialog->windowTitle(),
                               dialog->L_Sel_Lang->text(),
                               main->FBoot->windowTitle(),
                               main->FBoot->L_COM_Port->text(),
                               main->FParGen->windowTitle(),
                               main->FParGen->CP_Device_Type->Header->Heading};
        };
        const QStringList english = captions();
        for (int k : {0, 2, 3, 4}) {
            Set_Next_Message_Answer(QMessageBox::Yes);
            Click(dialog->L_L[k]);
            const QStringList translated = captions();
            for (qsizetype i = 0; i < english.size(); ++i)
                QVERIFY2(translated[i] != english[i], qPrintable(languages[k] + QStringLiteral(": ") + translated[i]));
            QCOMPARE(translated.last(), QStringLiteral("1. ") + Lang(454));
            Set_Next_Message_Answer(QMessageBox::Yes);
            Click(dialog->L_L[1]);
            QCOMPARE(captions(), english);
        }
        QCOMPARE(Shown_Texts().size(), 8);
        dialog->reject();
    }

    void Answering_No_changes_nothing()
    {
        // English, built in, comes first; Italiano second.
        TProgram_Fixture program;
        QVERIFY(program.Write(QStringLiteral("LANGUAGE/Italiano.lng"), Italiano));
        DIRevevoriVezaDiva *main = program.Start();
        TFSoftOptions *dialog = main->FSoftOptions;
        dialog->show();
        Set_Next_Message_Answer(QMessageBox::No);
        Click(dialog->L_L[1]);
        QCOMPARE(Shown_Texts(),
                 QStringList{QStringLiteral("question: Do you want to change the Language from English to Italiano?")});
        QCOMPARE(dialog->Language_In_Use, QStringLiteral("English"));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Software Options"));
        QCOMPARE(main->Btn_New->text(), QStringLiteral("New Configuration"));
        QCOMPARE(Lang(15), QStringLiteral("New Configuration"));
        dialog->reject();
    }

    void Yes_recaptions_every_window_at_once_and_OK_keeps_the_language_data()
    {
        QTest::addColumn<bool>("ok");
        QTest::newRow("then OK: the language is kept") << true;
        QTest::newRow("then Cancel: the windows stay, the setting does not") << false;
    }

    void Yes_recaptions_every_window_at_once_and_OK_keeps_the_language()
    {
        QFETCH(bool, ok);
        TProgram_Fixture program;
        QVERIFY(program.Write(QStringLiteral("LANGUAGE/Italiano.lng"), Italiano));
        QVERIFY(program.Write(QStringLiteral("LANGUAGE/English.lng"), "STR19 = New Version\n"));
        DIRevevoriVezaDiva *main = program.Start();
        QVERIFY(main->Save_Settings_At_Exit().isEmpty());
        const QByteArray before = program.Read(QStringLiteral("Quillon.xml"));
        TFSoftOptions *dialog = main->FSoftOptions;
        QString selected;
        QString page;
        When_Shown(dialog, [&] {
            // Italiano is the second slot: English comes first.
            QCOMPARE(dialog->L_L[1]->text(), QStringLiteral("Italiano"));
            Set_Next_Message_Answer(QMessageBox::Yes);
            Click(dialog->I_L[1]->isHidden() ? dialog->L_L[1] : dialog->I_L[1]);
            selected = dialog->L_Sel_Lang->text();
            page = dialog->L_Page_Lang->text();
            QTest::mouseClick(ok ? dialog->Btn_OK : dialog->Btn_Cancel, Qt::LeftButton);
        });
        QTest::mouseClick(main->Btn_Opz, Qt::LeftButton);
        QCOMPARE(Shown_Texts(),
                 QStringList{QStringLiteral("question: Do you want to change the Language from English to Italiano?")});
        QCOMPARE(selected, QStringLiteral("Lingua selezionata : Italiano"));
        QCOMPARE(page, QStringLiteral("Pagina 1 / 1"));

        // Every window in the new language, whatever closed the dialog; the about box keeps its fixed texts.
        QCOMPARE(main->Btn_New->text(), QStringLiteral("Nuova configurazione"));
        QCOMPARE(main->FNew_Project->windowTitle(), QStringLiteral("Crea nuova configurazione"));
        QCOMPARE(main->FOpenConf->windowTitle(), QStringLiteral("Apri configurazione"));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Opzioni Software"));
        QCOMPARE(dialog->CB_En_Con->text(), QStringLiteral("Abilita la connessione Internet"));
        QCOMPARE(main->FBoot->windowTitle(), QStringLiteral("Aggiorna dispositivo via seriale"));
        QCOMPARE(main->FParGen->windowTitle(), QStringLiteral("Imposta comunicazione"));
        // The settings dialog's headings follow the language too.
        QCOMPARE(main->FParGen->CP_Device_Type->Header->Heading, QStringLiteral("1. Tipo di dispositivo"));
        QCOMPARE(main->FAbout->findChild<QLabel *>(QStringLiteral("Label6"))->text(),
                 QStringLiteral("Software Code : "));
        // Entries the language file lacks are English again, not English.lng's (the link, when shown).
        main->Show_Update_Link(true);
        QVERIFY(main->LL_Update->text().contains(QStringLiteral("New Version Available")));
        main->Show_Update_Link(false);

        if (ok) {
            QCOMPARE(Language_Name, QStringLiteral("Italiano"));
            QCOMPARE(Settings_Lines(program.Read(QStringLiteral("Quillon.xml"))),
                     Default_Settings_Lines(QString(), QStringLiteral("Italiano")));
        } else {
            QCOMPARE(Language_Name, QStringLiteral("English"));
            QCOMPARE(program.Read(QStringLiteral("Quillon.xml")), before);
        }

        // The next showing starts from the shared setting.
        dialog->show();
        QCOMPARE(dialog->Language_In_Use, ok ? QStringLiteral("Italiano") : QStringLiteral("English"));
        dialog->reject();
    }

    void A_language_file_removed_after_listing_gives_English_under_the_chosen_name()
    {
        TProgram_Fixture program;
        QVERIFY(program.Write(QStringLiteral("LANGUAGE/Italiano.lng"), Italiano));
        DIRevevoriVezaDiva *main = program.Start();
        TFSoftOptions *dialog = main->FSoftOptions;
        dialog->show();
        QVERIFY(QFile::remove(program.Path(QStringLiteral("LANGUAGE/Italiano.lng"))));
        Set_Next_Message_Answer(QMessageBox::Yes);
        Click(dialog->L_L[1]);
        QCOMPARE(dialog->Language_In_Use, QStringLiteral("Italiano"));
        QCOMPARE(Language_Name, QStringLiteral("English"));
        QCOMPARE(dialog->L_Sel_Lang->text(), QStringLiteral("Selected Language : Italiano"));
        QCOMPARE(main->Btn_New->text(), QStringLiteral("New Configuration"));
        QTest::mouseClick(dialog->Btn_OK, Qt::LeftButton);
        QCOMPARE(Language_Name, QStringLiteral("Italiano"));
    }

    void A_language_file_that_cannot_be_read_is_reported_and_the_windows_keep_their_language()
    {
#ifndef Q_OS_LINUX
        QSKIP("needs a file whose reading fails");
#endif
        TProgram_Fixture program;
        QVERIFY(program.Write(QStringLiteral("LANGUAGE/Italiano.lng"), Italiano));
        QVERIFY(QFile::link(QStringLiteral("/proc/self/mem"), program.Path(QStringLiteral("LANGUAGE/Broken.lng"))));
        QVERIFY(program.Write(QStringLiteral("Quillon.xml"),
                              "<Conf_Settings><lastlang><language>Italiano</language></lastlang></Conf_Settings>"));
        DIRevevoriVezaDiva *main = program.Start();
        TFSoftOptions *dialog = main->FSoftOptions;
        dialog->show();
        QCOMPARE(dialog->L_L[0]->text(), QStringLiteral("Broken"));
        Set_Next_Message_Answer(QMessageBox::Yes);
        Click(dialog->L_L[0]);
        const QStringList shown = Shown_Texts();
        QCOMPARE(shown.size(), 2);
        QVERIFY2(shown[1].startsWith(QStringLiteral("error: ")) && shown[1].contains(QStringLiteral("Broken.lng")),
                 qPrintable(shown[1]));
        QCOMPARE(Language_Name, QStringLiteral("Italiano"));
        QCOMPARE(dialog->Language_In_Use, QStringLiteral("Italiano"));
        QCOMPARE(Lang(15), QStringLiteral("Nuova configurazione"));
        QCOMPARE(main->Btn_New->text(), QStringLiteral("Nuova configurazione"));
        dialog->reject();
    }

    void The_slots_are_reached_by_keyboard()
    {
        TProgram_Fixture program;
        QVERIFY(program.Write(QStringLiteral("LANGUAGE/Italiano.lng"), Italiano));
        TFSoftOptions *dialog = program.Start()->FSoftOptions;
        dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QVERIFY(dialog->L_L[1]->focusPolicy() & Qt::TabFocus);
        dialog->L_L[1]->setFocus();
        QTest::keyClick(dialog->L_L[1], Qt::Key_Return);
        QCOMPARE(Shown_Texts(),
                 QStringList{QStringLiteral("question: Do you want to change the Language from English to Italiano?")});
        QTest::keyClick(dialog->L_L[1], Qt::Key_Space);
        QCOMPARE(Shown_Texts().size(), 1);
        dialog->reject();
    }

    void The_connection_boxes_follow_the_enabling_rule_data()
    {
        QTest::addColumn<bool>("internet");
        QTest::addColumn<bool>("update");
        QTest::addColumn<bool>("updateEnabled");
        QTest::addColumn<bool>("checkEnabled");
        QTest::newRow("both off") << false << false << false << false;
        QTest::newRow("update on without internet: greyed, still ticked") << false << true << false << false;
        QTest::newRow("internet on, update off") << true << false << true << false;
        QTest::newRow("both on") << true << true << true << true;
    }

    void The_connection_boxes_follow_the_enabling_rule()
    {
        QFETCH(bool, internet);
        QFETCH(bool, update);
        QFETCH(bool, updateEnabled);
        QFETCH(bool, checkEnabled);
        TProgram_Fixture program;
        TFSoftOptions *dialog = program.Start()->FSoftOptions;
        Enable_Internet = internet;
        Enable_Update = update;
        dialog->show();
        QCOMPARE(dialog->CB_En_Con->isChecked(), internet);
        QCOMPARE(dialog->CB_Update->isChecked(), update);
        QCOMPARE(dialog->CB_Update->isEnabled(), updateEnabled);
        QCOMPARE(dialog->Btn_Check_Update->isEnabled(), checkEnabled);
        QVERIFY(dialog->LL_Check_Update->isHidden());
        dialog->reject();
    }

    void OK_stores_the_boxes_and_sets_the_timer_while_Cancel_touches_nothing()
    {
        TProgram_Fixture program;
        DIRevevoriVezaDiva *main = program.Start();
        TFSoftOptions *dialog = main->FSoftOptions;
        auto drive = [&](const std::function<void()> &steps, QPushButton *TFSoftOptions::*close) {
            When_Shown(dialog, [&] {
                dialog->PC_Options->setCurrentWidget(dialog->TS_Con_Options);
                steps();
                QTest::mouseClick(dialog->*close, Qt::LeftButton);
            });
            QTest::mouseClick(main->Btn_Opz, Qt::LeftButton);
        };

        // Both ticked, the two table settings too: the timer runs at its first interval.
        drive(
            [&] {
                QTest::mouseClick(dialog->CB_En_Con, Qt::LeftButton);
                QTest::mouseClick(dialog->CB_Update, Qt::LeftButton);
                QVERIFY(dialog->Btn_Check_Update->isEnabled());
                dialog->CB_Soft_Set_Jump_Table->setChecked(true);
                dialog->CB_DoubleClick_Auto_Size->setChecked(true);
            },
            &TFSoftOptions::Btn_OK);
        QVERIFY(Enable_Internet && Enable_Update && Enable_Jump_Field_Tables && Enable_Double_Click_Auto_Size);
        QVERIFY(main->Timer_Update->isActive());
        QCOMPARE(main->Timer_Update->interval(), 60000);
        QVERIFY(program.Read(QStringLiteral("Quillon.xml")).contains("<enable_update>1</enable_update>"));

        // Internet cleared while the update box stays ticked: greyed, stored on, and the timer stops.
        drive(
            [&] {
                QTest::mouseClick(dialog->CB_En_Con, Qt::LeftButton);
                QVERIFY(!dialog->CB_Update->isEnabled());
                QVERIFY(dialog->CB_Update->isChecked());
                QVERIFY(!dialog->Btn_Check_Update->isEnabled());
            },
            &TFSoftOptions::Btn_OK);
        QVERIFY(!Enable_Internet);
        QVERIFY(Enable_Update);
        QVERIFY(!main->Timer_Update->isActive());
        const QByteArray written = program.Read(QStringLiteral("Quillon.xml"));
        QVERIFY(written.contains("<enable_internet>0</enable_internet><enable_update>1</enable_update>"));

        // Cancel: neither the shared state nor the file changes.
        drive(
            [&] {
                QTest::mouseClick(dialog->CB_En_Con, Qt::LeftButton);
                dialog->CB_Soft_Set_Jump_Table->setChecked(false);
            },
            &TFSoftOptions::Btn_Cancel);
        QVERIFY(!Enable_Internet);
        QVERIFY(Enable_Jump_Field_Tables);
        QVERIFY(!main->Timer_Update->isActive());
        QCOMPARE(program.Read(QStringLiteral("Quillon.xml")), written);
    }

    // The look chosen on the software page: shown in every window at OK, saved, and in force at the next start;
    // it replaces a look given for the run alone. Cancel keeps the look in force.
    void The_chosen_look_is_shown_at_once_and_kept()
    {
        TProgram_Fixture program;
        Set_Look_For_This_Run(u"dark"_s);
        DIRevevoriVezaDiva *main = program.Start();
        QCOMPARE(Current_Look(), TLook::Dark);
        TFSoftOptions *dialog = main->FSoftOptions;
        const auto choose = [&](const QString &look, QPushButton *TFSoftOptions::*close) {
            When_Shown(dialog, [&] {
                dialog->PC_Options->setCurrentWidget(dialog->TS_Soft_Settings);
                // The saved choice is shown, not the one for the run.
                QCOMPARE(dialog->CB_Look->currentData().toString(), Look_Choice);
                dialog->CB_Look->setCurrentIndex(dialog->CB_Look->findData(look));
                QTest::mouseClick(dialog->*close, Qt::LeftButton);
            });
            QTest::mouseClick(main->Btn_Opz, Qt::LeftButton);
        };
        choose(u"dark"_s, &TFSoftOptions::Btn_Cancel);
        QCOMPARE(Look_Choice, u"light"_s);
        QCOMPARE(Current_Look(), TLook::Dark);
        choose(u"dark"_s, &TFSoftOptions::Btn_OK);
        QCOMPARE(Look_Choice, u"dark"_s);
        QCOMPARE(Look_For_This_Run(), QString());
        QCOMPARE(main->palette().color(QPalette::Window), Look_Colours(TLook::Dark).Back);
        QVERIFY(program.Read(u"Quillon.xml"_s).contains("<lastlook><look>dark</look></lastlook>"));
        choose(u"light"_s, &TFSoftOptions::Btn_OK);
        QCOMPARE(Current_Look(), TLook::Light);
        // Every window follows, the dialogs and their labels too.
        QCOMPARE(main->FParGen->palette().color(QPalette::Window), Look_Colours(TLook::Light).Back);
        QCOMPARE(dialog->L_SW_Code->palette().color(QPalette::WindowText), Look_Colours(TLook::Light).Code);
        QVERIFY(!program.Read(u"Quillon.xml"_s).contains("lastlook"));
    }

    void The_immediate_check_shows_its_result_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("newer");
        QTest::newRow("a newer version: the link") << QByteArray("VER. 2.010") << true;
        QTest::newRow("the same version: no update") << QByteArray("VER. 2.002") << false;
        QTest::newRow("no version for the name: no update") << QByteArray("VER. 0.000") << false;
    }

    void The_immediate_check_shows_its_result()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, newer);
        TChecked_Program checked(false, false);
        checked.Server.Answer = THttp_Test_Server::Ok(reply);
        TFSoftOptions *dialog = checked.Main->FSoftOptions;
        bool disabledWhileAsking = false;
        bool enabledAfter = false;
        QString text;
        When_Shown(dialog, [&] {
            dialog->PC_Options->setCurrentWidget(dialog->TS_Con_Options);
            // The stored flags are off: the two boxes of the dialog decide.
            QTest::mouseClick(dialog->CB_En_Con, Qt::LeftButton);
            QTest::mouseClick(dialog->CB_Update, Qt::LeftButton);
            QTest::mouseClick(dialog->Btn_Check_Update, Qt::LeftButton);
            disabledWhileAsking = !dialog->Btn_Check_Update->isEnabled() && dialog->LL_Check_Update->isHidden();
            // The box clicked meanwhile does not enable the button before the answer.
            QTest::mouseClick(dialog->CB_Update, Qt::LeftButton);
            QTest::mouseClick(dialog->CB_Update, Qt::LeftButton);
            disabledWhileAsking = disabledWhileAsking && !dialog->Btn_Check_Update->isEnabled();
            QTRY_VERIFY(!dialog->LL_Check_Update->isHidden());
            enabledAfter = dialog->Btn_Check_Update->isEnabled();
            text = dialog->LL_Check_Update->text();
            if (newer)
                Click(dialog->LL_Check_Update);
        });
        QCOMPARE(dialog->exec(), int(QDialog::Rejected));
        QVERIFY(disabledWhileAsking);
        QVERIFY(enabledAfter);
        QCOMPARE(checked.Server.Requests.size(), 1);
        if (newer) {
            QCOMPARE(text, QStringLiteral("<a href=\"%1\">New Version Available. Click Here for more Details</a>")
                               .arg(Download_Page_Url().toString()));
            QCOMPARE(checked.Program.Opened_Pages, QList<QUrl>{Download_Page_Url()});
        } else {
            QCOMPARE(text, QStringLiteral("No Update Available"));
            QCOMPARE(dialog->LL_Check_Update->textFormat(), Qt::PlainText);
        }
        // Cancel kept the stored flags, and the next showing hides the result.
        QVERIFY(!Enable_Internet && !Enable_Update);
        dialog->show();
        QVERIFY(dialog->LL_Check_Update->isHidden());
        dialog->reject();
    }

    void A_new_check_hides_the_last_answer_while_it_waits()
    {
        TChecked_Program checked(true, true);
        checked.Server.Answer = THttp_Test_Server::Ok("VER. 2.010");
        TFSoftOptions *dialog = checked.Main->FSoftOptions;
        bool hiddenWhileAsking = false;
        When_Shown(dialog, [&] {
            dialog->PC_Options->setCurrentWidget(dialog->TS_Con_Options);
            QTest::mouseClick(dialog->Btn_Check_Update, Qt::LeftButton);
            QTRY_VERIFY(!dialog->LL_Check_Update->isHidden());
            checked.Server.Answer = THttp_Test_Server::Ok("VER. 2.002");
            QTest::mouseClick(dialog->Btn_Check_Update, Qt::LeftButton);
            hiddenWhileAsking = dialog->LL_Check_Update->isHidden();
            QTRY_VERIFY(!dialog->LL_Check_Update->isHidden());
            QCOMPARE(dialog->LL_Check_Update->text(), QStringLiteral("No Update Available"));
            dialog->reject();
        });
        dialog->exec();
        QVERIFY(hiddenWhileAsking);
        QCOMPARE(checked.Server.Requests.size(), 2);
    }

    void The_periodic_check_shows_then_hides_the_link_and_runs_every_two_hours()
    {
        TChecked_Program checked(true, true);
        DIRevevoriVezaDiva *main = checked.Main;
        QTimer *timer = main->Timer_Update;
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 60000);
        QVERIFY(main->LL_Update->isHidden());

        // A newer version: the link, and two hours to the next check.
        checked.Server.Answer = THttp_Test_Server::Ok("VER. 2.010");
        main->Timer_UpdateTimer();
        QVERIFY(!timer->isActive());
        QTRY_VERIFY(!main->LL_Update->isHidden());
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 7200000);
        QCOMPARE(checked.Server.Requests.size(), 1);
        Click(main->LL_Update);
        QCOMPARE(checked.Program.Opened_Pages, QList<QUrl>{Download_Page_Url()});

        // The next check fails: the link goes, the timer runs again.
        checked.Server.Answer = THttp_Test_Server::Response("404 Not Found", "VER. 2.010");
        main->Timer_UpdateTimer();
        QVERIFY(!timer->isActive());
        QTRY_COMPARE(checked.Server.Requests.size(), 2);
        QTRY_VERIFY(main->LL_Update->isHidden());
        QTRY_VERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 7200000);
    }

    void The_timer_itself_starts_the_check()
    {
        TChecked_Program checked(true, true);
        checked.Server.Answer = THttp_Test_Server::Ok("VER. 2.010");
        QTimer *timer = checked.Main->Timer_Update;
        timer->start(1);
        QTRY_VERIFY(!checked.Main->LL_Update->isHidden());
        QCOMPARE(checked.Server.Requests.size(), 1);
        QCOMPARE(timer->interval(), 7200000);
    }

    void A_periodic_answer_reaches_the_main_window_while_a_dialog_is_open()
    {
        TChecked_Program checked(true, true);
        checked.Server.Answer = THttp_Test_Server::Ok("VER. 2.010");
        DIRevevoriVezaDiva *main = checked.Main;
        bool shownDuringDialog = false;
        When_Shown(main->FOpenConf, [&] {
            main->Timer_UpdateTimer();
            QTRY_VERIFY(!main->LL_Update->isHidden());
            shownDuringDialog = true;
        });
        main->FOpenConf->exec();
        QVERIFY(shownDuringDialog);
    }

    void Switching_the_check_off_stops_the_timer_and_keeps_the_link_and_on_again_keeps_two_hours()
    {
        TChecked_Program checked(true, true);
        checked.Server.Answer = THttp_Test_Server::Ok("VER. 2.010");
        DIRevevoriVezaDiva *main = checked.Main;
        TFSoftOptions *dialog = main->FSoftOptions;
        main->Timer_UpdateTimer();
        QTRY_VERIFY(!main->LL_Update->isHidden());

        auto toggle_update_and_ok = [&] {
            When_Shown(dialog, [&] {
                dialog->PC_Options->setCurrentWidget(dialog->TS_Con_Options);
                QTest::mouseClick(dialog->CB_Update, Qt::LeftButton);
                QTest::mouseClick(dialog->Btn_OK, Qt::LeftButton);
            });
            QTest::mouseClick(main->Btn_Opz, Qt::LeftButton);
        };
        toggle_update_and_ok();
        QVERIFY(!Enable_Update);
        QVERIFY(!main->Timer_Update->isActive());
        QVERIFY(!main->LL_Update->isHidden());
        toggle_update_and_ok();
        QVERIFY(Enable_Update);
        QVERIFY(main->Timer_Update->isActive());
        QCOMPARE(main->Timer_Update->interval(), 7200000);
    }

    void A_check_switched_off_while_its_answer_is_awaited_does_not_start_the_timer_again()
    {
        TChecked_Program checked(true, true);
        checked.Server.Answer = THttp_Test_Server::Ok("VER. 2.010");
        DIRevevoriVezaDiva *main = checked.Main;
        main->Timer_UpdateTimer();
        Enable_Update = false;
        main->Set_Timer_Update();
        QTRY_VERIFY(!main->LL_Update->isHidden());
        QVERIFY(!main->Timer_Update->isActive());
    }
};

QUILLON_WINDOW_TEST_MAIN(Test_USoftOptions)
#include "test_USoftOptions.moc"
