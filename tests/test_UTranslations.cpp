// No English left in a translation: every window, in every state a person sees, is rendered in English and in
// each shipped translation, and each text one of its controls shows (caption, list item, heading, title, hint,
// name for a screen reader) must differ from the same control's English text, unless it is made only of the
// words that language shares with English.

#include "UWindow_Test_Support.h"

#include "UAbout.h"
#include "UBoot.h"
#include "UHistory.h"
#include "UKept_Run.h"
#include "ULanguage.h"
#include "ULook.h"
#include "UMessage.h"
#include "UNew_Project.h"
#include "UOpenConf.h"
#include "UParGen.h"
#include "UParGen_Fixture.h"
#include "USoftOptions.h"
#include "UWait.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QTextDocument>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace {

// Controls that show the user's data or an address, the same in every language: the workspace's path, the
// configurations' and ports' names, the language names, the maker's web address.
const QStringList Data_Controls = {u"Label14"_s,   u"L_Name_Conf_L2"_s, u"ListBox1"_s,  u"CB_COM_Port"_s, u"Label4"_s,
                                   u"L_Velmora"_s, u"L_L1"_s,           u"L_L2"_s,      u"L_L3"_s,        u"L_L4"_s,
                                   u"L_L5"_s,      u"M_Output"_s,       u"L_Program"_s, u"I_L1"_s,        u"I_L2"_s,
                                   u"I_L3"_s,      u"I_L4"_s,           u"I_L5"_s};

// The words each language shares with English. Tokens with a digit (SW40926, RS485, Port 0) and names of the
// product and its maker are the same everywhere.
const QStringList Common_Words = {u"Quillon"_s, u"Velmora"_s, u"Modbus"_s, u"OK"_s, u"Ethernet"_s, u"IP"_s};
const QMap<QString, QStringList> Same_Words = {
    {u"Deutsch"_s, {u"Baudrate"_s, u"Gateway"_s, u"Firmware"_s, u"Software"_s, u"Version"_s, u"Broadcast"_s}},
    {u"Italiano"_s, {u"Gateway"_s, u"Firmware"_s, u"Software"_s, u"Slave"_s, u"No"_s}},
    {u"Fran\u00e7ais"_s,
     {u"Gateway"_s, u"Firmware"_s, u"Version"_s, u"Options"_s, u"Configuration"_s, u"Page"_s, u"Port"_s}},
    {u"Espa\u00f1ol"_s, {u"Gateway"_s, u"Firmware"_s, u"Software"_s, u"No"_s}},
};

// Whether text is left with a letter once the shared words, the tokens with a digit and the file names are taken out.
bool Has_Own_Words(const QString &text, const QStringList &same)
{
    static const QRegularExpression token(u"[\\p{L}\\p{N}_.]+"_s);
    for (const QRegularExpressionMatch &match : token.globalMatch(text)) {
        QString word = match.captured();
        while (word.endsWith(u'.'))
            word.chop(1);
        if (word.isEmpty() || word.contains(QRegularExpression(u"[0-9]"_s)) || word.contains(u'.'))
            continue;
        if (!word.contains(QRegularExpression(u"\\p{L}"_s)))
            continue;
        if (!same.contains(word, Qt::CaseInsensitive) && !Common_Words.contains(word, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QString Plain(const QString &text)
{
    if (!Qt::mightBeRichText(text))
        return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}

// A control's place in its window: the object names (or class names) from the window down.
QString Path_Of(const QWidget *widget, const QWidget *window)
{
    QStringList parts;
    for (const QObject *o = widget; o && o != window; o = o->parent()) {
        QString name = o->objectName();
        if (name.isEmpty()) {
            name = QString::fromLatin1(o->metaObject()->className());
            if (o->parent())
                name += u'#' + QString::number(o->parent()->children().indexOf(const_cast<QObject *>(o)));
        }
        parts.prepend(name);
    }
    return parts.join(u'/');
}

bool Is_Data_Control(const QWidget *widget, const QWidget *window)
{
    for (const QWidget *w = widget; w && w != window; w = w->parentWidget()) {
        if (Data_Controls.contains(w->objectName()))
            return true;
    }
    return false;
}

// What a window shows in one state: "<state>/<control path>/<what>" -> text.
using TShown = QMap<QString, QString>;

void Collect(const QString &state, QWidget *window, TShown &shown)
{
    const auto add = [&](const QString &key, const QString &text) {
        const QString plain = Plain(text).trimmed();
        if (!plain.isEmpty())
            shown.insert(state + u'/' + key, plain);
    };
    add(u"title"_s, window->windowTitle());
    QList<QWidget *> widgets = window->findChildren<QWidget *>();
    widgets.prepend(window);
    for (QWidget *w : widgets) {
        if (w->window() != window || (w != window && !w->isVisibleTo(window)) || Is_Data_Control(w, window))
            continue;
        const QString at = Path_Of(w, window) + u'/';
        add(at + u"hint"_s, Shown_Tooltip(w));
        add(at + u"name"_s, w->accessibleName());
        add(at + u"description"_s, w->accessibleDescription());
        if (auto *label = qobject_cast<QLabel *>(w))
            add(at + u"caption"_s, label->property("captionWhole").isValid()
                                       ? label->property("captionWhole").toString()
                                       : QString(label->text()).replace(u"&&"_s, u"&"_s));
        if (auto *button = qobject_cast<QAbstractButton *>(w))
            add(at + u"caption"_s, button->text());
        if (auto *list = qobject_cast<QComboBox *>(w)) {
            for (int i = 0; i < list->count(); ++i)
                add(at + u"item%1"_s.arg(i), list->itemText(i));
        }
        if (auto *list = qobject_cast<QListWidget *>(w)) {
            for (int i = 0; i < list->count(); ++i)
                add(at + u"item%1"_s.arg(i), list->item(i)->text());
        }
        if (auto *table = qobject_cast<QTreeWidget *>(w)) {
            for (int column = 0; column < table->columnCount(); ++column) {
                add(at + u"header%1"_s.arg(column), table->headerItem()->text(column));
                for (int row = 0; row < table->topLevelItemCount(); ++row)
                    add(at + u"row%1/%2"_s.arg(row).arg(column), table->topLevelItem(row)->text(column));
            }
        }
        if (auto *tabs = qobject_cast<QTabBar *>(w)) {
            for (int i = 0; i < tabs->count(); ++i) {
                add(at + u"tab%1"_s.arg(i), tabs->tabText(i));
                add(at + u"tab%1hint"_s.arg(i), tabs->tabToolTip(i));
            }
        }
        if (auto *edit = qobject_cast<QLineEdit *>(w))
            add(at + u"placeholder"_s, edit->placeholderText());
        if (auto *header = qobject_cast<TCategory_Header *>(w))
            add(at + u"heading"_s, header->Heading);
    }
}

void Show(QWidget *window)
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

// Every window of the program in each state that shows other texts, in the language now loaded.
TShown Render_Every_Window(DIRevevoriVezaDiva *main)
{
    TShown shown;
    Collect(u"main"_s, main, shown);
    main->Show_Update_Link(true);
    Collect(u"main, new version"_s, main, shown);
    main->Show_Update_Link(false);

    Show(main->FNew_Project);
    Collect(u"new"_s, main->FNew_Project, shown);
    main->FNew_Project->hide();

    Show(main->FOpenConf);
    Collect(u"open"_s, main->FOpenConf, shown);
    main->FOpenConf->hide();

    Show(main->FAbout);
    Collect(u"about"_s, main->FAbout, shown);
    main->FAbout->hide();

    TFSoftOptions *options = main->FSoftOptions;
    Show(options);
    for (int page = 0; page < options->PC_Options->count(); ++page) {
        options->PC_Options->setCurrentIndex(page);
        Collect(u"options page %1"_s.arg(page), options, shown);
    }
    options->Show_Check_Result(true);
    Collect(u"options, newer version"_s, options, shown);
    options->Show_Check_Result(false);
    Collect(u"options, no newer version"_s, options, shown);
    options->hide();

    TFParGen *settings = main->FParGen;
    Show(settings);
    for (int type = 0; type < 2; ++type) {
        settings->CB_Device_Type_Type->setCurrentIndex(type);
        Collect(u"settings, device type %1"_s.arg(type), settings, shown);
    }
    settings->hide();

    TFBoot *update = main->FBoot;
    for (int form = 0; form < 2; ++form) {
        update->Form_Type = form;
        Show(update);
        Collect(u"update form %1"_s.arg(form), update, shown);
        update->hide();
    }
    update->FWait->Show_Still(u"Serial_Update"_s, 12);
    Show(update->FWait);
    Collect(u"wait"_s, update->FWait, shown);
    update->FWait->hide();

    // The History window, each of its runs selected in turn.
    TFHistory *history = main->FHistory;
    Show(history);
    for (int row = 0; row < history->LB_Runs->topLevelItemCount(); ++row) {
        history->LB_Runs->setCurrentItem(history->LB_Runs->topLevelItem(row));
        Collect(u"history, run %1"_s.arg(row), history, shown);
    }
    history->hide();

    // The message boxes, each set of buttons the program uses; the settings dialog's question before it writes
    // over another program's ParGen.xml.
    const struct
    {
        QMessageBox::StandardButtons Buttons;
        TMessage_Kind Kind;
        QString Text;
    } boxes[] = {
        {QMessageBox::Ok, TMessage_Kind::Error, Lang(1146)},
        {QMessageBox::Yes | QMessageBox::No, TMessage_Kind::Confirmation, Lang(1146)},
        {QMessageBox::Ok | QMessageBox::Cancel, TMessage_Kind::Warning, Lang(1146)},
        {QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, TMessage_Kind::Confirmation,
         Lang(1178).arg(Conf_Name)},
    };
    for (const auto &[buttons, kind, text] : boxes) {
        QMessageBox *box = Create_Message_Box(text, kind, buttons, main);
        Show(box);
        Collect(u"message box %1"_s.arg(int(buttons)), box, shown);
        delete box;
    }
    return shown;
}

void Load(DIRevevoriVezaDiva *main, const QString &language)
{
    Language_Name = language;
    Load_Language();
    main->Change_Language();
}

} // namespace

class Test_UTranslations : public QObject
{
    Q_OBJECT

private slots:
    void No_window_shows_English_in_a_translation_data()
    {
        QTest::addColumn<QString>("language");
        for (auto it = Same_Words.cbegin(); it != Same_Words.cend(); ++it)
            QTest::newRow(qPrintable(it.key())) << it.key();
    }

    void No_window_shows_English_in_a_translation()
    {
        QFETCH(QString, language);
        TProgram_Fixture program;
        DIRevevoriVezaDiva *main = program.Start(true);
        // A configuration open, so that the windows show what they show for one: sent, changed since, and a
        // damaged record among its runs.
        QVERIFY(program.Write(u"PROJECTS/Line2/ParGen.xml"_s, Saved_ParGen(0)));
        Conf_Name = u"Line2"_s;
        Conf_Dir = Join_Path(Projects_Dir, Conf_Name);
        Set_Files();
        Keep_Run(Conf_Dir, u"serial"_s, u"ttyUSB0"_s, TRun_Ending::Success, 0, 0);
        QVERIFY(program.Write(u"PROJECTS/Line2/sent/20990101T000000Z-1/run.json"_s, "{"));
        QVERIFY(program.Write(u"PROJECTS/Line2/ParGen.xml"_s, Saved_ParGen(0, {{u"Port_0_Baud"_s, u"3"_s}})));
        main->Show_Send_State();

        Load(main, u"English"_s);
        const TShown english = Render_Every_Window(main);
        QVERIFY(!QTest::currentTestFailed());
        QVERIFY2(english.size() > 200, qPrintable(QString::number(english.size())));
        Load(main, language);
        const TShown translated = Render_Every_Window(main);
        QVERIFY(!QTest::currentTestFailed());
        // The same controls are shown in both.
        QCOMPARE(QStringList(translated.keys()), QStringList(english.keys()));

        QStringList left;
        for (auto it = translated.cbegin(); it != translated.cend(); ++it) {
            if (it.value() == english.value(it.key()) && Has_Own_Words(it.value(), Same_Words[language]))
                left.append(it.key() + u": \""_s + it.value() + u'"');
        }
        for (const QString &text : left)
            qWarning("%s", qPrintable(text));
        QVERIFY2(left.isEmpty(), qPrintable(u"%1 texts left in English"_s.arg(left.size())));
    }
};

QUILLON_WINDOW_TEST_MAIN(Test_UTranslations)
#include "test_UTranslations.moc"
