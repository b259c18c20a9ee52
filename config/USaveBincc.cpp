#include "USaveBincc.h"

#include "UAtomic_File.h"
#include "UGround.h"
#include "UParGen_File.h"
#include "URegular_File.h"
#include "UXml_Document.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <optional>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

void Init_Bank(TConfig_Bank &bank)
{
    std::memset(&bank, 0, sizeof bank);
    bank.Reserved_000 = 250000;
    bank.Reserved_004 = 250000;
    bank.Reserved_00C = 9600;
    const uint8_t ip[4] = {192, 168, 2, 205};
    const uint8_t mask[4] = {255, 255, 255, 0};
    std::memcpy(bank.Eth_IP, ip, 4);
    std::memcpy(bank.Eth_Mask, mask, 4);
    std::memset(bank.Eth_Gateway, 255, 4);
    bank.Net_Port_0 = 10000;
    bank.Net_Port_1 = 10001;
    bank.Net_Port_2 = 10001;
    std::memset(bank.Ser_Data_Bits, 8, sizeof bank.Ser_Data_Bits);
}

namespace {

// The baud rate in bit/s of a list index; an index outside the list takes the default rate.
uint32_t Baud_Rate_Of(int index)
{
    return Baud_Rates[index >= 0 && index < int(std::size(Baud_Rates)) ? index : Default_Baud_Index];
}

void Load_Serial_Channel(TConfig_Bank &b, const TParGen_Reader &r, int channel, const QString &baudKey,
                         const QString &parityKey)
{
    b.Ser_Baud[channel] = Baud_Rate_Of(r.Number(baudKey, Default_Baud_Index));
    b.Ser_Parity[channel] = uint8_t(r.Number(parityKey, 0));
    b.Ser_Data_Bits[channel] = 8;
    b.Ser_Stop[channel] = 0;
}

void Load_Octets(const TParGen_Reader &r, const char *row, const int (&defaults)[4], uint8_t (&octets)[4])
{
    for (int i = 0; i < 4; ++i)
        octets[i] = uint8_t(r.Number(Octet_Key(row, i), defaults[i]));
}

void Load_Bank_From(TConfig_Bank &b, const TXml_Document &xml)
{
    const TParGen_Reader r(xml.Root());

    Load_Serial_Channel(b, r, Channel_Port_0, QStringLiteral("Port_0_Baud"), QStringLiteral("Port_0_Par"));
    b.Dev_ID_Port_0 = uint8_t(r.Number(QStringLiteral("Port_0_DevID"), 10));
    if (r.Flag(QStringLiteral("Port_0_BroadCast")))
        b.Port_Flags |= Flag_Broadcast_Port_0;

    if (r.Flag(QStringLiteral("Port_1_Port")))
        b.Port_Flags |= Flag_Port_1_RS485;
    const int channel = (b.Port_Flags & Flag_Port_1_RS485) ? Channel_Port_1_RS485 : Channel_Port_1_RS232;
    Load_Serial_Channel(b, r, channel, QStringLiteral("Port_1_Baud"), QStringLiteral("Port_1_Par"));
    b.Dev_ID_Port_1 = uint8_t(r.Number(QStringLiteral("Port_1_DevID"), 10));
    if (r.Flag(QStringLiteral("Port_1_BroadCast")))
        b.Port_Flags |= Flag_Broadcast_Port_1;

    b.Offset_Registers = uint16_t(r.Number(QStringLiteral("Opt_Off_Reg"), 0));
    b.Offset_Status = uint16_t(r.Number(QStringLiteral("Opt_Off_Status"), 0));

    Load_Octets(r, "IP", {192, 168, 0, 10}, b.Eth_IP);
    Load_Octets(r, "SM", {255, 255, 255, 0}, b.Eth_Mask);
    Load_Octets(r, "GAT", {192, 168, 0, 1}, b.Eth_Gateway);
    // Without the gateway enabled the device gets "no gateway".
    if (!r.Flag(QStringLiteral("Ethernet_EN_GAT")))
        std::memset(b.Eth_Gateway, 255, 4);
}

QByteArray Make_Param_Block_From(const TXml_Document *xml)
{
    QByteArray block;
    block.reserve(Param_Block_Size);
    const auto put = [&block](uint32_t value, int width) {
        for (int i = 0; i < width; ++i)
            block.append(char(uint8_t(value >> (8 * i))));
    };
    put(Param_Header_Size, 4);
    if (xml) {
        // Raw numbers in file order: list indices as they are, broadcast keys parsed as numbers.
        struct TParam_Field
        {
            const char *Key;
            int Width;
            int Default;
        };
        static const TParam_Field fields[] = {
            {"Port_0_Baud", 1, 7},    {"Port_0_Par", 1, 0},       {"Port_0_DevID", 1, 10},    {"Port_1_Port", 1, 1},
            {"Port_1_Baud", 1, 7},    {"Port_1_Par", 1, 0},       {"Port_1_DevID", 1, 10},    {"Opt_Off_Reg", 2, 0},
            {"Opt_Off_Status", 2, 0}, {"Port_0_BroadCast", 1, 0}, {"Port_1_BroadCast", 1, 0},
        };
        const TParGen_Reader r(xml->Root());
        for (const TParam_Field &field : fields)
            put(uint32_t(r.Number(QLatin1String(field.Key), field.Default)), field.Width);
    }
    return block;
}

} // namespace

void Load_Bank(TConfig_Bank &bank, const QString &parGenFile)
{
    TXml_Document xml;
    if (Load_ParGen_File(xml, parGenFile))
        Load_Bank_From(bank, xml);
}

void Load_Bank_Bytes(TConfig_Bank &bank, const QByteArray &parGenXml)
{
    TXml_Document xml;
    xml.Load_Bytes(parGenXml);
    Load_Bank_From(bank, xml);
}

uint32_t Bank_Checksum(const uint8_t *record)
{
    uint32_t sum = 0;
    for (int i = 0; i < int(offsetof(TConfig_Bank, Checksum)); ++i)
        sum += record[i];
    return sum;
}

int32_t Append_Bank(TConfig_Bank &bank, int32_t position, uint8_t *buffer)
{
    bank.Checksum = Bank_Checksum(reinterpret_cast<const uint8_t *>(&bank));
    std::memcpy(buffer + position, &bank, Config_Bank_Size);
    return position + Config_Bank_Size;
}

QByteArray Make_Param_Block(const QString &parGenFile)
{
    TXml_Document xml;
    return Make_Param_Block_From(Load_ParGen_File(xml, parGenFile) ? &xml : nullptr);
}

QByteArray Make_Param_Block_Bytes(const QByteArray &parGenXml)
{
    TXml_Document xml;
    xml.Load_Bytes(parGenXml);
    return Make_Param_Block_From(&xml);
}

namespace {

QByteArray Sealed_Image(TConfig_Bank &bank)
{
    QByteArray image(Config_Bank_Size, Qt::Uninitialized);
    Append_Bank(bank, 0, reinterpret_cast<uint8_t *>(image.data()));
    return image;
}

} // namespace

QByteArray Make_Bank_Image(const QString &parGenFile)
{
    TConfig_Bank bank;
    Init_Bank(bank);
    Load_Bank(bank, parGenFile);
    return Sealed_Image(bank);
}

namespace {

// 1 (the Ethernet form) exactly when Device_Type_Type is "1".
int Device_Type_Of(const TXml_Document &xml)
{
    return TParGen_Reader(xml.Root()).Flag(QStringLiteral("Device_Type_Type")) ? 1 : 0;
}

// Both images from one loaded document (null: no ParGen.xml).
TConfig_Images Make_Config_Data_From(const TXml_Document *xml, TText_Source texts)
{
    TConfig_Images images;
    images.Param_Block = Make_Param_Block_From(xml);
    Init_Bank(images.Bank);
    if (xml)
        Load_Bank_From(images.Bank, *xml);
    images.Bank_Image = Sealed_Image(images.Bank);
    images.Device_Type = xml ? Device_Type_Of(*xml) : 0;
    images.Verdict = Send_Verdict(xml, texts);
    return images;
}

} // namespace

TConfig_Images Make_Config_Data(const QString &parGenFile, TText_Source texts, QByteArray *parGenXml)
{
    TXml_Document xml;
    if (!QFileInfo::exists(parGenFile)) {
        if (parGenXml)
            *parGenXml = QByteArray();
        return Make_Config_Data_From(nullptr, texts);
    }
    // The bytes are read once: the images come from exactly the bytes the caller receives.
    const QByteArray bytes = Read_Regular_File(parGenFile, Xml_File_Limit);
    xml.Load_Bytes(bytes, QDir::toNativeSeparators(parGenFile));
    if (parGenXml)
        *parGenXml = bytes;
    return Make_Config_Data_From(&xml, texts);
}

TConfig_Images Make_Config_Data_Bytes(const QByteArray &parGenXml, TText_Source texts)
{
    if (parGenXml.isNull())
        return Make_Config_Data_From(nullptr, texts);
    TXml_Document xml;
    xml.Load_Bytes(parGenXml);
    return Make_Config_Data_From(&xml, texts);
}

QString Bank_File_Path(const QString &confDir)
{
    return Join_Path(confDir, QStringLiteral("bin"), QStringLiteral("bank.bin"));
}

QString BankK_File_Path(const QString &confDir)
{
    return Join_Path(confDir, QStringLiteral("bin"), QStringLiteral("bankK.bin"));
}

namespace {

const QString Bin_Name = QStringLiteral("bin");
const QString Bank_Name = QStringLiteral("bank.bin");
const QString BankK_Name = QStringLiteral("bankK.bin");
// The new bin/ is put together beside the old one under this name (six letters or digits appended).
const QString Staging_Name = QStringLiteral(".bin");

QString Cannot_Keep_Text(const QString &reason)
{
    return QStringLiteral("the present file cannot be kept for a rollback (%1); move it out of bin (rename or "
                          "remove it), then build again")
        .arg(reason);
}

// Creates bin under confDir when it is missing; the system's reason when it cannot be.
void Make_Bin_Dir(const QString &binDir)
{
    if (QFileInfo(binDir).isDir())
        return;
#ifdef Q_OS_UNIX
    if (::mkdir(QFile::encodeName(binDir).constData(), 0777) != 0)
        throw Write_Error(binDir, QStringLiteral("the directory cannot be created: ") + qt_error_string(errno));
#else
    if (!QDir().mkdir(binDir))
        throw Write_Error(binDir, QStringLiteral("the directory cannot be created"));
#endif
}

// Removes a directory the writer staged (only the files and links in it, then the directory if it is then
// empty: anything else found there is left alone).
void Remove_Staging_Dir(const QString &path)
{
    QDir dir(path);
    for (const QFileInfo &entry :
         dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (entry.isSymLink() || !entry.isDir())
            QFile::remove(entry.filePath());
    }
    QDir().rmdir(path);
}

// What a build killed part-way left behind: the writer's temporary files in bin/ and staged directories beside
// it. Nothing else is touched.
void Remove_Stale_Temporaries(const QString &confDir, const QString &binDir)
{
    const QDir bin(binDir);
    for (const QFileInfo &entry : bin.entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!entry.isSymLink() &&
            (Is_Staged_Name(entry.fileName(), Bank_Name) || Is_Staged_Name(entry.fileName(), BankK_Name)))
            QFile::remove(entry.filePath());
    }
    const QDir conf(confDir);
    for (const QFileInfo &entry : conf.entryInfoList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (!entry.isSymLink() && Is_Staged_Name(entry.fileName(), Staging_Name))
            Remove_Staging_Dir(entry.filePath());
    }
}

#ifdef Q_OS_LINUX
// The whole of bin/ changes in one step: both images and a hard link of every other entry of bin/ go into a
// new directory, synced, which then trades places with bin/ (renameat2 with RENAME_EXCHANGE); the old
// directory is removed after. A process killed at any moment leaves the old pair or the new pair, never one
// of each. False, with nothing changed, where that cannot be done (a file system without the exchange, bin/
// a link or holding a directory, an entry that cannot be linked): the caller then replaces the files one by
// one.
bool Exchange_Bin_Dir(const QString &confDir, const QString &binDir, const TConfig_Images &built)
{
    const QFileInfo binInfo(binDir);
    if (binInfo.isSymLink())
        return false;
    const QFileInfoList entries =
        QDir(binDir).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir() && !entry.isSymLink()) {
            if (entry.fileName() == Bank_Name || entry.fileName() == BankK_Name)
                throw Write_Error(entry.filePath(), QStringLiteral("a directory stands in its place; move it out "
                                                                   "of bin (rename or remove it), then build again"));
            return false;
        }
    }
    QByteArray staged = QFile::encodeName(Join_Path(confDir, Staging_Name)) + ".XXXXXX";
    if (!::mkdtemp(staged.data()))
        return false;
    const QString stagedDir = QFile::decodeName(staged);
    // The new bin/ keeps the old one's permissions (the staged directory is made private).
    struct stat old;
    if (::stat(QFile::encodeName(binDir).constData(), &old) == 0)
        ::chmod(staged.constData(), old.st_mode & 07777);
    const auto cleanUp = qScopeGuard([&] { Remove_Staging_Dir(stagedDir); });
    for (const QFileInfo &entry : entries) {
        if (entry.fileName() == Bank_Name || entry.fileName() == BankK_Name)
            continue;
        if (::linkat(AT_FDCWD, QFile::encodeName(entry.filePath()).constData(), AT_FDCWD,
                     QFile::encodeName(Join_Path(stagedDir, entry.fileName())).constData(), 0) != 0)
            return false;
    }
    const struct
    {
        QString Name;
        QByteArray Bytes;
    } images[] = {{Bank_Name, built.Param_Block}, {BankK_Name, built.Bank_Image}};
    for (const auto &image : images) {
        const QString reason = Write_New_File(Join_Path(stagedDir, image.Name), image.Bytes);
        if (!reason.isEmpty())
            throw Write_Error(Join_Path(binDir, image.Name), reason);
    }
    Sync_Directory(stagedDir);
    if (::renameat2(AT_FDCWD, staged.constData(), AT_FDCWD, QFile::encodeName(binDir).constData(), RENAME_EXCHANGE) !=
        0) {
        const int error = errno;
        if (error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EXDEV)
            return false;
        throw Write_Error(binDir, qt_error_string(error));
    }
    // The old bin/ now lies under the staged name and goes with the clean-up; the exchange itself is made
    // durable first.
    Sync_Directory(confDir);
    return true;
}
#endif

// Where bin/ cannot be exchanged: both new files complete on disk before either replaces its old version, and
// the two renames back to back.
void Replace_One_By_One(const QString &confDir, const TConfig_Images &built, const TConfig_Write_Seams &seams)
{
    const QString binDir = Join_Path(confDir, Bin_Name);
    const QString bankPath = Bank_File_Path(confDir);
    const QString bankKPath = BankK_File_Path(confDir);

    // The old parameter block, kept to put it back should bankK.bin fail after bank.bin was replaced. When it
    // cannot be read nothing is replaced: a rollback could not restore it.
    std::optional<QByteArray> oldBank;
    const QFileInfo oldBankInfo(bankPath);
    if (oldBankInfo.exists() || oldBankInfo.isSymLink()) {
        try {
            oldBank = Read_Regular_File(bankPath, Buffer_Capacity);
        } catch (const EQuillon_Error &error) {
            throw Write_Error(bankPath, Cannot_Keep_Text(error.Text()));
        }
    }

    TStaged_File bank(bankPath);
    TStaged_File bankK(bankKPath);
    bank.Write(built.Param_Block);
    bankK.Write(built.Bank_Image);
    bank.Replace();
    try {
        if (seams.Between_Replacements)
            seams.Between_Replacements();
        bankK.Replace();
    } catch (const EQuillon_Error &error) {
        // Put the parameter block back as it was. The old file is only ever written back, never removed.
        try {
            if (oldBank)
                Save_Bytes_Atomically(bankPath, *oldBank);
            else if (QFileInfo::exists(bankPath) && !QFile::remove(bankPath))
                throw Write_Error(bankPath, QStringLiteral("the new file cannot be removed"));
        } catch (const EQuillon_Error &rollback) {
            throw EQuillon_Error(QStringLiteral("%1\n%2 could not be put back as it was, so it no longer matches "
                                                "%3: %4")
                                     .arg(error.Text(), QDir::toNativeSeparators(bankPath),
                                          QDir::toNativeSeparators(bankKPath), rollback.Text()));
        }
        throw;
    }
    Sync_Directory(binDir);
}

} // namespace

void Write_Config_Files(const QString &confDir, const TConfig_Images &images, const TConfig_Write_Seams &seams)
{
    // A link in the configuration's place or in bin's would carry the images, and the clean-up of stale
    // temporaries, into whatever directory it leads to. Links above the configuration (a linked workspace) are
    // the user's choice of place and are followed.
    if (const QString link = Redirection_Of(confDir); !link.isEmpty())
        throw EQuillon_Error(QStringLiteral("The configuration directory %1 is %2; bank.bin and bankK.bin are never "
                                            "written through a link. Move the directory it leads to into its place, "
                                            "then build again.")
                                 .arg(QDir::toNativeSeparators(QDir::cleanPath(confDir)), link));
    // A configuration deleted while open: nothing is re-created in its place.
    if (!QFileInfo(confDir).isDir())
        throw EQuillon_Error(QStringLiteral("The configuration %1 no longer exists; bank.bin and bankK.bin were not "
                                            "written.")
                                 .arg(QDir::toNativeSeparators(confDir)));
    const QString binDir = Join_Path(confDir, Bin_Name);
    if (const QString link = Redirection_Of(binDir); !link.isEmpty())
        throw EQuillon_Error(QStringLiteral("%1 is %2; bank.bin and bankK.bin are never written through a link. "
                                            "Remove the link (what it leads to stays as it is), then build again: "
                                            "the configuration gets a bin directory of its own.")
                                 .arg(QDir::toNativeSeparators(QDir::cleanPath(binDir)), link));
    Make_Bin_Dir(binDir);
    Remove_Stale_Temporaries(confDir, binDir);
#ifdef Q_OS_LINUX
    if (seams.Exchange_Dir && Exchange_Bin_Dir(confDir, binDir, images))
        return;
#endif
    Replace_One_By_One(confDir, images, seams);
}

QStringList Config_File_Differences(const QString &confDir, const TConfig_Images &images)
{
    QStringList differences;
    const struct
    {
        QString Path;
        QByteArray Expected;
        bool Sealed; // carries the record's checksum
    } files[] = {
        {Bank_File_Path(confDir), images.Param_Block, false},
        {BankK_File_Path(confDir), images.Bank_Image, true},
    };
    for (const auto &file : files) {
        const QString name = QDir::toNativeSeparators(file.Path);
        const QFileInfo info(file.Path);
        if (!info.exists()) {
            differences << name + QStringLiteral(": missing");
            continue;
        }
        if (!info.isFile()) {
            differences << name + QStringLiteral(": not a regular file");
            continue;
        }
        if (info.size() != file.Expected.size()) {
            differences << QStringLiteral("%1: wrong size: %2 bytes, build writes %3")
                               .arg(name)
                               .arg(info.size())
                               .arg(file.Expected.size());
            continue;
        }
        QByteArray bytes;
        try {
            bytes = Read_Regular_File(file.Path, file.Expected.size());
        } catch (const EQuillon_Error &error) {
            differences << name + QStringLiteral(": ") + error.Text();
            continue;
        }
        if (file.Sealed) {
            const auto *record = reinterpret_cast<const uint8_t *>(bytes.constData());
            uint32_t stored = 0;
            std::memcpy(&stored, record + offsetof(TConfig_Bank, Checksum), sizeof stored);
            const uint32_t computed = Bank_Checksum(record);
            if (stored != computed) {
                differences
                    << QStringLiteral("%1: bad checksum: stored %2, computed %3").arg(name).arg(stored).arg(computed);
                continue;
            }
        }
        if (bytes != file.Expected) {
            qsizetype at = 0;
            while (bytes[at] == file.Expected[at])
                ++at;
            differences << QStringLiteral("%1: stale against ParGen.xml: differs from what build writes now, first at "
                                          "byte 0x%2")
                               .arg(name)
                               .arg(at, 3, 16, QLatin1Char('0'));
        }
    }
    return differences;
}

int Get_DevideType(const QString &parGenFile)
{
    TXml_Document xml;
    return Load_ParGen_File(xml, parGenFile) ? Device_Type_Of(xml) : 0;
}
