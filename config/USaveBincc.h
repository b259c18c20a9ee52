#pragma once

// The configuration-data module: the device's 2048-byte configuration record, the 17-byte parameter block,
// and the two files bin/bank.bin and bin/bankK.bin built from a configuration's ParGen.xml.

#include "ULanguage.h"
#include "UParGen_File.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>

static_assert(std::endian::native == std::endian::little, "the record's bytes are the file's bytes: little-endian");

// The device's configuration record; its bytes in memory are the contents of bankK.bin.
struct TConfig_Bank
{
    uint32_t Reserved_000; // fixed default 250000
    uint32_t Reserved_004; // fixed default 250000
    uint16_t Reserved_008[2];
    uint32_t Reserved_00C; // fixed default 9600
    uint8_t Reserved_010[0x028 - 0x010];
    uint8_t Eth_IP[4];
    uint8_t Eth_Mask[4];
    uint8_t Eth_Gateway[4];
    uint16_t Net_Port_0;
    uint16_t Net_Port_1;
    uint16_t Net_Port_2;
    uint8_t Reserved_03A[0x190 - 0x03A];
    uint32_t Ser_Baud[6];
    uint8_t Ser_Parity[6];
    uint8_t Ser_Stop[6];
    uint8_t Ser_Data_Bits[8];
    uint8_t Reserved_1BC[0x53B - 0x1BC];
    uint8_t Port_Flags;
    uint8_t Reserved_53C[0x6E4 - 0x53C];
    uint8_t Dev_ID_Port_0;
    uint8_t Dev_ID_Port_1;
    uint8_t Reserved_6E6[0x6EC - 0x6E6];
    uint16_t Offset_Registers;
    uint16_t Offset_Status;
    uint8_t Reserved_6F0[0x7FC - 0x6F0];
    uint32_t Checksum;
};

inline constexpr int Config_Bank_Size = 2048;
static_assert(sizeof(TConfig_Bank) == Config_Bank_Size);
static_assert(offsetof(TConfig_Bank, Reserved_00C) == 0x00C);
static_assert(offsetof(TConfig_Bank, Eth_IP) == 0x028);
static_assert(offsetof(TConfig_Bank, Eth_Mask) == 0x02C);
static_assert(offsetof(TConfig_Bank, Eth_Gateway) == 0x030);
static_assert(offsetof(TConfig_Bank, Net_Port_0) == 0x034);
static_assert(offsetof(TConfig_Bank, Net_Port_1) == 0x036);
static_assert(offsetof(TConfig_Bank, Net_Port_2) == 0x038);
static_assert(offsetof(TConfig_Bank, Ser_Baud) == 0x190);
static_assert(offsetof(TConfig_Bank, Ser_Parity) == 0x1A8);
static_assert(offsetof(TConfig_Bank, Ser_Stop) == 0x1AE);
static_assert(offsetof(TConfig_Bank, Ser_Data_Bits) == 0x1B4);
static_assert(offsetof(TConfig_Bank, Port_Flags) == 0x53B);
static_assert(offsetof(TConfig_Bank, Dev_ID_Port_0) == 0x6E4);
static_assert(offsetof(TConfig_Bank, Dev_ID_Port_1) == 0x6E5);
static_assert(offsetof(TConfig_Bank, Offset_Registers) == 0x6EC);
static_assert(offsetof(TConfig_Bank, Offset_Status) == 0x6EE);
static_assert(offsetof(TConfig_Bank, Checksum) == 0x7FC);

// Serial channels: Port 0 is channel 0; Port 1 is channel 2 on RS485 and channel 3 on RS232.
inline constexpr int Channel_Port_0 = 0;
inline constexpr int Channel_Port_1_RS485 = 2;
inline constexpr int Channel_Port_1_RS232 = 3;

// Port_Flags bits.
inline constexpr uint8_t Flag_Port_1_RS485 = 0x01;
inline constexpr uint8_t Flag_Broadcast_Port_0 = 0x02;
inline constexpr uint8_t Flag_Broadcast_Port_1 = 0x04;

// Baud-rate list shared by both ports, the dialog, the parameter file and the image.
inline constexpr uint32_t Baud_Rates[8] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
inline constexpr int Default_Baud_Index = 7;

inline constexpr int Buffer_Capacity = 131072;
inline constexpr int Param_Block_Size = 17;
inline constexpr int Param_Header_Size = 4;

// The two images built from one reading of a ParGen.xml, as a value: what build writes, verify compares and
// an update sends.
struct TConfig_Images
{
    TConfig_Bank Bank{}; // sealed with its checksum
    QByteArray Param_Block; // bank.bin: 17 bytes, or the 4-byte header when there is no ParGen.xml
    QByteArray Bank_Image;  // bankK.bin: 2048 bytes, the record's bytes
    // The device type of that same reading (Get_DevideType's rule): the update's form never disagrees with the
    // images.
    int Device_Type = 0;
    // Whether the configuration may be sent, on that same reading.
    TSend_Verdict Verdict;
};

// Sets every byte of the record to its default.
void Init_Bank(TConfig_Bank &bank);
// Fills the record from the ParGen.xml at path (nothing when the file does not exist). Needs Init_Bank first.
// Throws EQuillon_Error when the file is not well formed.
void Load_Bank(TConfig_Bank &bank, const QString &parGenFile);
// The same from the bytes of a ParGen.xml.
void Load_Bank_Bytes(TConfig_Bank &bank, const QByteArray &parGenXml);
// Seals the record with its checksum and copies it into buffer at position; returns position + 2048.
int32_t Append_Bank(TConfig_Bank &bank, int32_t position, uint8_t *buffer);
// The byte sum of offsets 0x000 to 0x7FB of a record.
uint32_t Bank_Checksum(const uint8_t *record);

// The parameter block of the ParGen.xml at path: 17 bytes, or the 4-byte header when there is no file.
QByteArray Make_Param_Block(const QString &parGenFile);
QByteArray Make_Param_Block_Bytes(const QByteArray &parGenXml);
// Init_Bank, Load_Bank, Append_Bank: the 2048-byte image.
QByteArray Make_Bank_Image(const QString &parGenFile);
// Both images, the device type and the send verdict from one reading of the file; parGenXml, when given,
// receives the bytes read (null when there is no file). Throws EQuillon_Error when the file cannot be read or is
// not well formed.
TConfig_Images Make_Config_Data(const QString &parGenFile, TText_Source texts = English_Text,
                                QByteArray *parGenXml = nullptr);
// The same from the bytes of a ParGen.xml; a null array stands for a configuration without the file.
TConfig_Images Make_Config_Data_Bytes(const QByteArray &parGenXml, TText_Source texts = English_Text);

// The two paths under a configuration directory.
QString Bank_File_Path(const QString &confDir);
QString BankK_File_Path(const QString &confDir);

// Test seams of the writer: Between_Replacements runs, where the files are replaced one by one, after bank.bin
// has been replaced and before bankK.bin is (a test throws EQuillon_Error from it to stand for a failed second
// replacement); Exchange_Dir false makes the writer replace them one by one, as where the system cannot
// exchange two directories.
struct TConfig_Write_Seams
{
    std::function<void()> Between_Replacements;
    bool Exchange_Dir = true;
};

// Writes images as bin/bank.bin and bin/bankK.bin under confDir, creating bin when missing (nothing
// else is ever created). Where the system can, the pair changes in one step: a new bin/ holding both images and
// everything else the old one held trades places with it. Elsewhere both new files are complete on disk before
// either replaces its old version, and the two renames follow each other. When either file cannot be written,
// neither is changed and EQuillon_Error is thrown. A link in either file's place is replaced, never written
// through; a confDir or a bin that is a link (on Windows also a junction) is refused with EQuillon_Error naming
// it and what to do, and nothing is written or removed. Temporary files a killed build left are removed first.
// A confDir that does not exist is reported as a configuration that no longer exists.
void Write_Config_Files(const QString &confDir, const TConfig_Images &images, const TConfig_Write_Seams &seams = {});

// How the files under confDir differ from images: one text per differing file ("bin/bank.bin: missing",
// "...: wrong size ...", "...: bad checksum ...", "...: stale against ParGen.xml ..."); empty when both are
// exactly images.
QStringList Config_File_Differences(const QString &confDir, const TConfig_Images &images);

// 1 when the ParGen.xml at path exists and Device_Type_Type is exactly "1"; 0 otherwise.
// Throws EQuillon_Error when the file is not well formed.
int Get_DevideType(const QString &parGenFile);
