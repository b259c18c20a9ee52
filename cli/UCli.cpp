// quillon-cli's command line: one table of the commands (their arguments, options, handler and help) and the
// rules of which options go with which command, checked as data.

#include "UCli.h"
#include "UCli_Command.h"

#include "UGround.h"
#include "UWorkspace.h"
#include "ULanguage.h"
#include "UParGen_File.h"
#include "UProvision_Journal.h"
#include "UWorkspace.h"
#include "UXml_Document.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>

namespace {

// The options update takes; provision takes them beside --update.
constexpr TOptions Update_Options = Opt_Port | Opt_Ip | Opt_Option | Opt_No_Read_Back | Opt_Force_Target;

const char *Update_Check(TOptions given)
{
    if ((given & Opt_Port) && (given & Opt_Ip))
        return "update needs either --port or --ip";
    if ((given & (Opt_Port | Opt_Ip)) && (given & (Opt_Pending | Opt_Targets)))
        return "--port and --ip name one device: with --pending or --targets each configuration has its own";
    return nullptr;
}

const char *Provision_Check(TOptions given)
{
    return (given & Opt_Update) && (given & (Opt_Port | Opt_Ip))
               ? "provision --update takes each address from the table's port or ip column"
               : nullptr;
}

// The commands, in the order the help shows them.
const TCli_Command Commands[] = {
    {"new", 1, 26, "NAME [KEY=VALUE ...]", 0, 0, nullptr, Cli_New,
     "  new NAME [KEY=VALUE ...]\n"
     "                       Make the configuration NAME (a path as for import; with --workspace DIR a name in\n"
     "                       DIR/PROJECTS) as steps 1 and 2 of the window make it with OK: the name rules of a\n"
     "                       new configuration, ParGen.xml with the values of a new one and each KEY=VALUE in\n"
     "                       place (a list's value as the settings dialog lists it, 9600, EVEN, RS485, With\n"
     "                       Ethernet Port, in any case, or its index), checked as OK checks it, and the two\n"
     "                       images built from it. An existing NAME is refused; nothing is made on a refusal.\n"},
    {"build", 1, 1, "CONFIG_DIR", 0, 0, nullptr, Cli_Build,
     "  build CONFIG_DIR     Build CONFIG_DIR/bin/bank.bin and bankK.bin from CONFIG_DIR/ParGen.xml,\n"
     "                       exactly as the update step does, and print their sizes and the image's checksum.\n"},
    {"inspect", 1, 1, "FILE", Opt_Json, 0, nullptr, Cli_Inspect,
     "  inspect FILE         Decode a bank.bin (4 or 17 bytes) or bankK.bin (2048 bytes) into named fields;\n"
     "                       --json prints the same as one JSON object. Exit 1 when the file is not well formed.\n"},
    {"check", 1, 1, "CONFIG_DIR", 0, 0, nullptr, Cli_Check,
     "  check CONFIG_DIR     Whether the configuration may be sent to a device, as update decides it: prints OK,\n"
     "                       or the first reason it may not and exits 1 (no ParGen.xml, a file that cannot be\n"
     "                       read or is not well formed, a list index outside its list, a flag other than 0\n"
     "                       or 1, or the first range rule of the settings dialog that fails).\n"},
    {"verify", 1, 1, "CONFIG_DIR", 0, 0, nullptr, Cli_Verify,
     "  verify CONFIG_DIR    Exit 0 when CONFIG_DIR/bin/bank.bin and bankK.bin are exactly what build would\n"
     "                       write now from ParGen.xml and check accepts the configuration; else exit 1 naming\n"
     "                       each file that differs and how (missing, wrong size, bad checksum, stale against\n"
     "                       ParGen.xml) and the reason check gives.\n"},
    {"texts", 0, 1, "FILE.lng", Opt_Report, 0, nullptr, Cli_Texts,
     "  texts [FILE.lng]     Print the 1200 texts of the language table (INDEX<TAB>TEXT), built-in English\n"
     "                       with FILE.lng applied; --report prints what the loader did with each line instead.\n"},
    {"ports", 0, 0, "", 0, 0, nullptr, Cli_Ports,
     "  ports                List the serial ports the update dialog offers, one per line.\n"},
    {"update", 0, 10000, "CONFIG_DIR", Update_Options | Opt_Pending | Opt_Targets | Opt_Keep_Going | Opt_Json, 0,
     Update_Check,
     Cli_Update,
     "  update CONFIG_DIR (--port PORT | --ip ADDRESS) [--option 0|1|2] [--no-read-back]\n"
     "  update CONFIG_DIR... | --pending [--targets FILE.csv] [--keep-going] [--option 0|1|2] [--no-read-back]\n"
     "                       Update a device as the update dialog does: build the two files, then run the\n"
     "                       serial updater on PORT, or check with ICMP echo that ADDRESS answers, write\n"
     "                       Ethernet_Update.xml and run the Ethernet updater. CONFIG_DIR lies under a\n"
     "                       workspace's PROJECTS (--workspace DIR: the one of DIR/PROJECTS); the updaters are\n"
     "                       looked for in the workspace, then beside quillon-cli. --option: 0 firmware\n"
     "                       and configuration (default), 1 firmware, 2 configuration. Refused, with nothing\n"
     "                       written or started, when options 0 and 2 meet a configuration check refuses,\n"
     "                       when the firmware file the option needs is not in MASTER, or when the port does\n"
     "                       not exist. Waits for the updater (at most 150 s), records the run in\n"
     "                       CONFIG_DIR/update.log and exits with the updater's exit code.\n"},
    {"import", 2, 3, "BANKK_FILE [BANK_FILE] CONFIG_DIR", Opt_Force, 0, nullptr, Cli_Import,
     "  import BANKK_FILE [BANK_FILE] CONFIG_DIR [--force]\n"
     "                       Recover a configuration from its images: check bankK.bin's checksum, then write\n"
     "                       CONFIG_DIR/ParGen.xml (created with bin/ when missing, under the naming rules of a\n"
     "                       new configuration) such that build gives the given files back byte for byte. Says\n"
     "                       on stderr which keys neither image holds and what was used; exit 1 when build\n"
     "                       would not give the same bytes back. --force replaces an existing ParGen.xml.\n"},
    {"diff", 1, 2, "A B, or CONFIG_DIR with --sent", Opt_Json | Opt_Raw | Opt_Sent, 0, nullptr, Cli_Diff,
     "  diff A B [--raw] [--json]\n"
     "  diff CONFIG_DIR --sent [--json]\n"
     "                       Compare two configuration directories, two images (bank.bin or bankK.bin) or a\n"
     "                       configuration with an image (through the image it builds): one line per differing\n"
     "                       field, \"KEY: A -> B\". A configuration counts by the values build uses; --raw\n"
     "                       compares the texts of ParGen.xml as written; --json prints an array. Exit 0 equal,\n"
     "                       1 different, 2 wrong command line or an input that cannot be read. --sent compares\n"
     "                       what the configuration's last successful update sent with it as it stands; exit 2\n"
     "                       when it was never sent.\n"},
    {"history", 1, 1, "CONFIG_DIR", Opt_Json, 0, nullptr, Cli_History,
     "  history CONFIG_DIR [--json]\n"
     "                       The runs kept in CONFIG_DIR/sent/, newest first: time, kind, target, option, read\n"
     "                       back, ending and duration; --json the run.json objects, each with its \"id\".\n"
     "                       A damaged record is named on stderr and passed over.\n"},
    {"status", 0, 10000, "[CONFIG_DIR ...]", Opt_Json, 0, nullptr, Cli_Status,
     "  status [CONFIG_DIR ...] [--json]\n"
     "                       The state of each configuration (every one of the workspace when none is named):\n"
     "                       never-sent, in-sync, changed (the keys changed since its last successful update)\n"
     "                       or failed (its newest update did not succeed). Exit 0 when all are in sync.\n"},
    {"where", 1, 1, "ADDRESS", Opt_Json, 0, nullptr, Cli_Where,
     "  where ADDRESS [--json]\n"
     "                       The configuration of the workspace last sent successfully to the device at\n"
     "                       ADDRESS (reached there, or given that address by its image), when, and its state\n"
     "                       now. Exit 1 when none was.\n"},
    {"provision", 2, 2, "TEMPLATE_DIR TABLE.csv", Opt_Update, Opt_Keep_Going | Update_Options, Provision_Check,
     Cli_Provision,
     "  provision TEMPLATE_DIR TABLE.csv [--update [--keep-going] [--option 0|1|2] [--no-read-back]]\n"
     "                       Make one configuration per row of TABLE.csv beside TEMPLATE_DIR: the header is\n"
     "                       \"name\" then ParGen.xml keys (and \"port\" or \"ip\" for --update); each row is the\n"
     "                       template's ParGen.xml with the row's non-empty cells, checked as update checks it,\n"
     "                       and built. Every row is checked first: any failure names row, column and reason\n"
     "                       and creates nothing. --update then updates each one in table order as update\n"
     "                       does, stopping at the first that does not end with exit code 0 (--keep-going goes\n"
     "                       on).\n"},
};

// The options of the command line, in the order the help shows them.
struct TCli_Option
{
    TOption Bit;
    const char *Names[2];
    const char *Description;
    const char *Value_Name;
    const char *Default_Value;
};

const TCli_Option Options[] = {
    {Opt_Help, {"h", "help"}, "Show this help.", nullptr, nullptr},
    {Opt_Version, {"version"}, "Print the program's version and the workspace in use.", nullptr, nullptr},
    {Opt_Json, {"json"},
     "inspect, where: print one JSON object; diff, history, status, update of several: print a JSON array.", nullptr,
     nullptr},
    {Opt_Report, {"report"}, "texts: tell what the loader did with each line of FILE.lng.", nullptr, nullptr},
    {Opt_Port, {"port"}, "update: the serial port.", "PORT", nullptr},
    {Opt_Ip, {"ip"}, "update: the device's IPv4 address.", "ADDRESS", nullptr},
    {Opt_Option, {"option"}, "update: 0 firmware and configuration, 1 firmware, 2 configuration.", "0|1|2", "0"},
    {Opt_No_Read_Back, {"no-read-back"}, "update: do not read firmware and configuration back.", nullptr, nullptr},
    {Opt_Workspace,
     {"workspace"},
     "The workspace (MASTER, PROJECTS, the updaters): update takes CONFIG_DIR from its PROJECTS, by path or by "
     "name. Without it, update uses the workspace that holds CONFIG_DIR. new, import and provision write only "
     "directly inside its PROJECTS.",
     "DIR",
     nullptr},
    {Opt_Force, {"force"}, "import: replace an existing ParGen.xml.", nullptr, nullptr},
    {Opt_Raw, {"raw"}, "diff: compare ParGen.xml texts as written.", nullptr, nullptr},
    {Opt_Update, {"update"}, "provision: update each new configuration.", nullptr, nullptr},
    {Opt_Keep_Going, {"keep-going"}, "provision --update: go on after a failed update.", nullptr, nullptr},
    {Opt_Sent, {"sent"}, "diff: compare with what the last successful update sent.", nullptr, nullptr},
    {Opt_Pending, {"pending"}, "update: every configuration of the workspace that is not in sync.", nullptr, nullptr},
    {Opt_Targets, {"targets"}, "update: where each configuration goes, a table of name,port or name,ip.",
     "FILE.csv", nullptr},
    {Opt_Force_Target, {"force-target"}, "update: send even to an address that last received another configuration.",
     nullptr, nullptr},
};

// Which options may go with which command, checked in this order: the first rule broken is the message.
enum class TTaken
{
    // By the command at all.
    By_Command,
    // By the command with the options given (beside --update or not).
    Now,
    // By the command with the options given, and only with the command's argument.
    Now_With_Argument,
};

struct TOption_Rule
{
    TOptions Options;
    TTaken Taken;
    const char *Message;
};

const TOption_Rule Option_Rules[] = {
    {Opt_Json, TTaken::By_Command, "--json goes with inspect, diff, history, status, where and update of several"},
    {Opt_Sent, TTaken::By_Command, "--sent goes with diff"},
    {Opt_Force, TTaken::By_Command, "--force goes with import"},
    {Opt_Raw, TTaken::By_Command, "--raw goes with diff"},
    {Opt_Update, TTaken::By_Command, "--update goes with provision"},
    {Opt_Keep_Going, TTaken::Now, "--keep-going goes with provision --update and update"},
    {Opt_Pending | Opt_Targets, TTaken::By_Command, "--pending and --targets go with update"},
    {Opt_Report, TTaken::Now_With_Argument, "--report goes with texts FILE.lng"},
    {Update_Options, TTaken::Now, "--port, --ip, --option, --no-read-back and --force-target go with update"},
};

// The first rule the options given break with this command, or nullptr.
const char *Option_Rule_Broken(const TCli_Command &command, TOptions given, bool withArgument)
{
    const TOptions taken = command.Options | ((given & Opt_Update) ? command.Only_With_Update : 0);
    for (const TOption_Rule &rule : Option_Rules) {
        const TOptions used = given & rule.Options;
        if (!used)
            continue;
        const bool broken = rule.Taken == TTaken::By_Command
                                ? (used & ~(command.Options | command.Only_With_Update)) != 0
                                : (used & ~taken) != 0 || (rule.Taken == TTaken::Now_With_Argument && !withArgument);
        if (broken)
            return rule.Message;
    }
    return command.Check ? command.Check(given) : nullptr;
}

// The program, then each command's lines of help.
QString Description()
{
    QString text = QStringLiteral("Quillon %1, the configurator's companion for scripts and translators.\n\n"
                                  "Commands:\n")
                       .arg(Program_Version);
    for (const TCli_Command &command : Commands)
        text += QLatin1String(command.Help);
    return text + QStringLiteral("\nExit codes: 0 success, 1 failure (reason on stderr), 2 wrong command line.");
}

// "build, inspect, ... or provision."
QString Command_Names()
{
    QStringList names;
    for (const TCli_Command &command : Commands)
        names << QLatin1String(command.Name);
    return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" or ") + names.last() + u'.';
}

// The PROJECTS directories a command touches: its workspace's, and the one each argument lies in (a
// configuration, or a file of one up to PROJECTS/NAME/bin/FILE).
QStringList Touched_Projects(const QStringList &arguments, const QString &workspace)
{
    QStringList dirs;
    if (!workspace.isEmpty())
        dirs << Join_Path(workspace, QStringLiteral("PROJECTS"));
    for (const QString &argument : arguments) {
        QFileInfo info(QFileInfo(argument).absolutePath());
        for (int up = 0; up < 3 && !info.isRoot(); ++up, info = QFileInfo(info.absolutePath())) {
            if (info.fileName() == u"PROJECTS" && info.isDir()) {
                dirs << info.absoluteFilePath();
                break;
            }
        }
    }
    dirs.removeDuplicates();
    return dirs;
}

} // namespace

QString Cli_Text(int index)
{
    switch (index) {
    case 1124:
        return QStringLiteral("No serial port is given: connect the converter's port and name it with --port "
                              "(quillon-cli ports lists them).");
    case 1125:
        return QStringLiteral("The serial port %1 is not there (any more): connect it and list the ports with "
                              "quillon-cli ports.");
    case 1127:
        return QStringLiteral("This configuration was never saved: it has no ParGen.xml. quillon-cli new makes a "
                              "configuration with one, quillon-cli import one from a device's images.");
    case 1128:
        return QStringLiteral("%1: the key %2 is missing from ParGen.xml; add it, or make the configuration again "
                              "with quillon-cli new.");
    default:
        return English_Text(index);
    }
}

QString Valid_Keys_Text()
{
    return QStringLiteral("the keys are ") + ParGen_Keys.join(QStringLiteral(", "));
}

QString Stored_Value(const QString &key, const QString &value, QString &problem)
{
    const TSettings_List *list = Settings_List_Of(key);
    if (!list)
        return value;
    const int index = List_Value_Index(*list, value);
    if (index >= 0)
        return QString::number(index);
    problem = QStringLiteral("%1 is not one of %2").arg(Shown_Cut(value), List_Choices(*list));
    return QString();
}

void Set_Key_Text(TXml_Document &xml, const QString &key, const QString &text)
{
    QDomElement root = xml.Root();
    QDomElement element = Find_Child(root, key);
    if (element.isNull()) {
        Add_Child(root, key, text);
        return;
    }
    while (element.hasChildNodes())
        element.removeChild(element.firstChild());
    if (!text.isEmpty())
        element.appendChild(root.ownerDocument().createTextNode(text));
}

QString New_Name_Problem(const QString &parentDir, const QString &name)
{
    return New_Name_Problem(Names_There(parentDir), name);
}

QString New_Name_Problem(const TNames_There &there, const QString &name)
{
    QString why;
    const int refusal = New_Configuration_Refusal(there, name, &why);
    if (refusal == 107)
        return Cli_Text(107);
    if (refusal != 0)
        return why.isEmpty() ? QStringLiteral("%1: %2").arg(Quoted(name), Cli_Text(refusal))
                             : QStringLiteral("%1: %2: %3").arg(Quoted(name), Cli_Text(refusal), why);
    // A file or a link of that name: the directory cannot be made.
    const QFileInfo entry(Join_Path(there.Dir, name));
    if (entry.exists() || entry.isSymLink())
        return QStringLiteral("%1 is already there and is not a directory").arg(Quoted(name));
    return QString();
}

QString Shown_Cut(const QString &text)
{
    constexpr qsizetype Limit = 80;
    qsizetype cut = std::min(text.size(), Limit);
    if (cut < text.size() && text.at(cut - 1).isHighSurrogate())
        --cut;
    QString shown;
    for (const QChar c : QStringView(text).first(cut)) {
        if (c.category() == QChar::Other_Format)
            shown += QStringLiteral("\\u") + QString::number(c.unicode(), 16).rightJustified(4, u'0').toUpper();
        else
            shown += c;
    }
    return Escaped_Controls(shown) + (cut < text.size() ? QStringLiteral("…") : QString());
}

QString Quoted(const QString &text)
{
    return u'"' + Shown_Cut(text) + u'"';
}

void Write_Capped(QTextStream &err, const QString &prefix, const QStringList &lines, qsizetype count)
{
    if (count < 0)
        count = lines.size();
    for (qsizetype i = 0; i < std::min(lines.size(), Shown_Lines); ++i)
        err << "quillon-cli: " << prefix << lines[i] << '\n';
    if (count > Shown_Lines)
        err << "quillon-cli: " << prefix << "and " << count - Shown_Lines << " more\n";
}

bool Resolve_In_Workspace(const TCli_Call &call, QString &dir)
{
    if (call.Workspace.isEmpty())
        return true;
    QString problem;
    dir = Workspace_Config_Dir(call.Workspace, dir, problem);
    if (!dir.isEmpty())
        return true;
    Fail(call.Err, problem);
    return false;
}

QString Workspace_Config_Dir(const QString &workspace, const QString &dir, QString &problem)
{
    const QString projects = QFileInfo(Join_Path(workspace, QStringLiteral("PROJECTS"))).canonicalFilePath();
    if (projects.isEmpty()) {
        problem = QStringLiteral("the workspace %1 has no PROJECTS directory").arg(Native(workspace));
        return {};
    }
    const bool plain = !dir.contains(u'/') && !dir.contains(QDir::separator());
    const QFileInfo given(plain ? Join_Path(projects, dir) : QDir::cleanPath(QFileInfo(dir).absoluteFilePath()));
    // An existing directory (or link) is resolved whole; a new one through its existing parent.
    const QString parent = QFileInfo(given.absolutePath()).canonicalFilePath();
    QString resolved = given.exists() ? given.canonicalFilePath() : Join_Path(parent, given.fileName());
    if (parent.isEmpty() || QFileInfo(resolved).absolutePath() != projects || given.fileName().isEmpty() ||
        (given.isSymLink() && !given.exists())) {
        problem =
            QStringLiteral("%1 is not in the workspace's PROJECTS (%2)%3")
                .arg(Native(dir), Native(projects),
                     resolved.isEmpty() || resolved == dir ? QString()
                                                           : QStringLiteral(": it leads to %1").arg(Native(resolved)));
        return {};
    }
    return resolved;
}

void Recover_Provisions_Of(const QString &projectsDir, QTextStream &err)
{
    const QString done = Recover_Provisions(projectsDir);
    if (done.isEmpty())
        return;
    for (const QString &line : done.split(u'\n'))
        err << "quillon-cli: " << line << '\n';
    err.flush();
}

int Run_Cli(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(Description());
    QList<QCommandLineOption> options;
    for (const TCli_Option &option : Options) {
        QStringList names;
        for (const char *name : option.Names) {
            if (name)
                names << QLatin1String(name);
        }
        options.append(QCommandLineOption(names, QLatin1String(option.Description),
                                          option.Value_Name ? QLatin1String(option.Value_Name) : QString(),
                                          option.Default_Value ? QLatin1String(option.Default_Value) : QString()));
    }
    parser.addOptions(options);
    parser.addPositionalArgument(QStringLiteral("command"), Command_Names());
    parser.addPositionalArgument(QStringLiteral("argument"), QStringLiteral("The command's file or directory."),
                                 QStringLiteral("[argument]"));
    const auto option = [&options](TOption bit) -> const QCommandLineOption & {
        for (qsizetype i = 0; i < options.size(); ++i) {
            if (Options[i].Bit == bit)
                return options[i];
        }
        Q_UNREACHABLE();
    };

    if (!parser.parse(arguments))
        return Usage(err, parser.errorText());
    TOptions given = 0;
    for (qsizetype i = 0; i < options.size(); ++i) {
        if (parser.isSet(options[i]))
            given |= Options[i].Bit;
    }
    if (given & Opt_Help) {
        out << parser.helpText();
        return Exit_Ok;
    }
    const QString workspace = parser.value(option(Opt_Workspace));
    if ((given & Opt_Workspace) && workspace.isEmpty())
        return Usage(err, QStringLiteral("--workspace needs a directory"));
    if (given & Opt_Version) {
        // The workspace the program would use, as its about box names it; control characters in a name given on
        // the command line are shown escaped, never sent raw to the terminal.
        out << Program_Version << '\n';
        out << "workspace: "
            << Escaped_Controls(Locate_Workspace(workspace, QCoreApplication::applicationDirPath()).Dir) << '\n';
        return Exit_Ok;
    }
    const QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return Usage(err, QStringLiteral("a command is missing"));
    const QString name = args.first();
    const QStringList rest = args.mid(1);

    const TCli_Command *command = nullptr;
    for (const TCli_Command &one : Commands) {
        if (name == QLatin1String(one.Name))
            command = &one;
    }
    if (!command)
        return Usage(err, QStringLiteral("unknown command '%1'").arg(name));
    if (rest.size() < command->Min_Arguments)
        return Usage(err, QStringLiteral("%1 needs %2").arg(name, QLatin1String(command->Arguments)));
    if (rest.size() > command->Max_Arguments)
        return Usage(err, QStringLiteral("too many arguments for %1").arg(name));
    if (const char *broken = Option_Rule_Broken(*command, given, !rest.isEmpty()))
        return Usage(err, QLatin1String(broken));
    const QString optionText = parser.value(option(Opt_Option));
    if (optionText != u"0" && optionText != u"1" && optionText != u"2")
        return Usage(err, QStringLiteral("--option is 0, 1 or 2"));

    const TCli_Call call{rest,
                         given,
                         parser.value(option(Opt_Port)),
                         parser.value(option(Opt_Ip)),
                         optionText,
                         (given & Opt_Workspace) ? Locate_Workspace(workspace, QString()).Dir : QString(),
                         out,
                         err,
                         parser.value(option(Opt_Targets))};
    // A provision a killed run left is finished or undone before anything reads or writes there.
    for (const QString &projects : Touched_Projects(rest, call.Workspace))
        Recover_Provisions_Of(projects, err);
    return command->Run(call);
}

int First_Non_Utf8_Argument(int argc, const char *const argv[])
{
    for (int i = 1; i < argc; ++i) {
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        // The decoder works when its result is taken.
        const QString decoded = utf8.decode(QByteArrayView(argv[i]));
        if (utf8.hasError())
            return i;
    }
    return -1;
}
