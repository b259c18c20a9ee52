#include "Fuzz_Targets.h"

#include "UCli.h"
#include "UGround.h"
#include "USerial_Ports.h"
#include "UWorkspace.h"
#include "UCsv_Table.h"
#include "ULanguage.h"
#include "USaveBincc.h"
#include "USettings.h"
#include "UXml_Document.h"

#include <QBuffer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <cstring>

namespace {

void Expect(bool condition, const char *what)
{
    if (!condition)
        throw EFuzz_Finding(what);
}

QByteArray Bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Saves settings to bytes and reads them back: what the writer accepts must load and give the same values;
// what it refuses must hold a character XML cannot hold.
void Settings_Round_Trip(const TSettings &saved)
{
    TXml_Document xml;
    Build_Settings(xml, saved);
    QByteArray bytes;
    try {
        bytes = xml.To_Checked_Bytes(QStringLiteral("Quillon.xml"));
    } catch (const EQuillon_Error &) {
        Expect(!Is_Xml_Text(saved.Conf_Name) || !Is_Xml_Text(saved.Last_IP_Address) ||
                   !Is_Xml_Text(saved.Language_Name),
               "the settings writer refused values XML can hold");
        return;
    }
    TXml_Document reloaded;
    try {
        reloaded.Load_Bytes(bytes);
    } catch (const EQuillon_Error &) {
        Expect(false, "written settings do not load again");
    }
    Expect(Apply_Settings(reloaded) == saved, "settings read back differ from those written");
}

} // namespace

int Fuzz_Language(const uint8_t *data, size_t size)
{
    Load_Default_Language();
    QList<TLanguage_Line_Report> report;
    Apply_Language_Text(Decode_Language_Bytes(Bytes(data, size)), &report);
    Expect(Language_Texts().size() == Language_Table_Entries, "the language table changed size");
    for (const TLanguage_Line_Report &line : std::as_const(report)) {
        Expect(line.Index >= -1 && line.Index < Language_Table_Entries, "a line reported an entry outside the table");
        Expect((line.Index < 0) != line.Reason.isEmpty(), "an ignored line without a reason, or a set one with one");
    }
    return 0;
}

int Fuzz_Xml(const uint8_t *data, size_t size)
{
    TXml_Document xml;
    try {
        xml.Load_Bytes(Bytes(data, size));
    } catch (const EQuillon_Error &) {
        return 0;
    }
    // What was loaded can be written, and what is written loads again the same.
    QByteArray written;
    try {
        written = xml.To_Checked_Bytes(QStringLiteral("fuzz.xml"));
    } catch (const EQuillon_Error &) {
        Expect(false, "the writer refused a document the loader accepted");
    }
    TXml_Document again;
    try {
        again.Load_Bytes(written);
    } catch (const EQuillon_Error &) {
        Expect(false, "a written document does not load again");
    }
    Expect(again.To_Bytes() == written, "a document read back serialises differently");
    return 0;
}

int Fuzz_Config(const uint8_t *data, size_t size)
{
    TConfig_Images images;
    try {
        images = Make_Config_Data_Bytes(Bytes(data, size));
    } catch (const EQuillon_Error &) {
        return 0;
    }
    const auto *image = reinterpret_cast<const uint8_t *>(images.Bank_Image.constData());
    Expect(images.Param_Block.size() == Param_Block_Size, "the parameter block is not 17 bytes");
    Expect(images.Bank_Image.size() == Config_Bank_Size, "the image is not 2048 bytes");
    Expect(std::memcmp(image, &images.Bank, Config_Bank_Size) == 0, "the image is not the record");
    uint32_t stored = 0;
    std::memcpy(&stored, image + offsetof(TConfig_Bank, Checksum), sizeof stored);
    Expect(stored == Bank_Checksum(image), "the image's checksum does not match its bytes");
    return 0;
}

int Fuzz_Settings(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    TSettings settings;
    const uint8_t mode = data[0];
    ++data;
    --size;
    if (mode % 2 == 0) {
        // The rest is a Quillon.xml.
        TXml_Document xml;
        try {
            xml.Load_Bytes(Bytes(data, size));
        } catch (const EQuillon_Error &) {
            return 0;
        }
        settings = Apply_Settings(xml);
    } else {
        // The rest holds the three texts as UTF-16 code units, any of them (lone surrogates, controls), each
        // preceded by its length in code units; the mode's bits are the flags.
        QString *texts[] = {&settings.Conf_Name, &settings.Last_IP_Address, &settings.Language_Name};
        size_t at = 0;
        for (QString *text : texts) {
            if (at >= size)
                break;
            const size_t length = data[at++];
            const size_t units = std::min<size_t>(length, (size - at) / 2);
            QString value;
            for (size_t i = 0; i < units; ++i, at += 2)
                value.append(QChar(char16_t(data[at] | data[at + 1] << 8)));
            *text = value;
        }
        settings.Enable_Internet = mode & 0x02;
        settings.Enable_Update = mode & 0x04;
        settings.Enable_Jump_Field_Tables = mode & 0x08;
        settings.Enable_Double_Click_Auto_Size = mode & 0x10;
    }
    Settings_Round_Trip(settings);
    return 0;
}

int Fuzz_Inspect(const uint8_t *data, size_t size)
{
    // quillon-cli reads nothing larger than a bankK.bin.
    if (size > size_t(Config_Bank_Size))
        return 0;
    const QByteArray bytes = Bytes(data, size);
    for (const bool json : {false, true}) {
        QByteArray outBytes, errBytes;
        QTextStream out(&outBytes), err(&errBytes);
        const int code = Inspect_Bytes(bytes, QStringLiteral("input.bin"), json, out, err);
        out.flush();
        err.flush();
        Expect(code == 0 || code == 1, "inspect exited with a code other than 0 or 1");
        Expect((code == 1) == !errBytes.isEmpty(), "inspect failed without a reason, or gave one on success");
        if (json) {
            QJsonParseError error;
            const QJsonDocument document = QJsonDocument::fromJson(outBytes, &error);
            Expect(error.error == QJsonParseError::NoError && document.isObject(), "inspect --json is not one object");
            Expect(document.object().value(QStringLiteral("well_formed")).toBool() == (code == 0),
                   "inspect --json's well_formed disagrees with the exit code");
        }
    }
    return 0;
}

int Fuzz_Csv(const uint8_t *data, size_t size)
{
    TCsv_Table table;
    try {
        table = Parse_Csv_Table(Bytes(data, size));
    } catch (const EQuillon_Error &error) {
        // A refusal names the row, and quotes nothing of the table's text.
        Expect(error.Text().startsWith(QStringLiteral("row ")), "a table error that names no row");
        Expect(error.Text().size() < 200, "a table error longer than a line");
        return 0;
    }
    Expect(!table.Header.isEmpty(), "a table without header");
    Expect(table.Separator == u',' || table.Separator == u';', "a separator other than comma or semicolon");
    const QList<QStringList> rows = table.Rows();
    Expect(rows.size() == table.Row_Numbers().size(), "rows and row numbers disagree");
    int previous = 1;
    for (qsizetype r = 0; r < rows.size(); ++r) {
        Expect(table.Row_Number(r) > previous, "row numbers that do not grow past the header");
        previous = table.Row_Number(r);
        bool empty = true;
        for (const QString &cell : rows[r])
            empty = empty && cell.isEmpty();
        Expect(!empty, "a row whose cells are all empty");
    }
    // Written back with every cell quoted, the table reads as the same header and rows.
    const auto line = [&](const QStringList &cells) {
        QStringList quoted;
        for (const QString &cell : cells)
            quoted << u'"' + QString(cell).replace(u'"', QStringLiteral("\"\"")) + u'"';
        return quoted.join(table.Separator) + QStringLiteral("\r\n");
    };
    QString text = line(table.Header);
    for (const QStringList &row : rows)
        text += line(row);
    try {
        const TCsv_Table again = Parse_Csv_Table(text.toUtf8());
        Expect(again.Header == table.Header && again.Rows() == rows, "the table written back reads differently");
    } catch (const EQuillon_Error &) {
        throw EFuzz_Finding("the table written back is refused");
    }
    return 0;
}

const QList<TFuzz_Target> &Fuzz_Targets()
{
    static const QList<TFuzz_Target> targets = {
        {"language", Fuzz_Language}, {"xml", Fuzz_Xml},         {"config", Fuzz_Config},
        {"settings", Fuzz_Settings}, {"inspect", Fuzz_Inspect}, {"csv", Fuzz_Csv},
    };
    return targets;
}
