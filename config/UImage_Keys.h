#pragma once

// The two device images read back: what a bank.bin (the parameter block) and a bankK.bin (the configuration
// image) hold of the ParGen.xml keys, and their fields by name as quillon-cli inspect shows them. One reading
// of each image's fields serves both.

#include "USaveBincc.h"

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>

// One ParGen.xml key and the value an image holds for it, as the key's text would be.
struct TKey_Value
{
    QString Key;
    QString Value;
    // Where a bank.bin and a bankK.bin disagree on the key: bank.bin's (Value is bankK.bin's); else null.
    QString Bank_Value = QString();
};

// What a parameter block (17 bytes, or empty) and a configuration image (2048 bytes, or empty) hold of the
// ParGen.xml keys, in key order. A bankK.bin's rate that is no entry of the list is "rate N", not an index;
// the gateway octets are there only while the image has a gateway. Where both are given and disagree on a key,
// Value is bankK.bin's and Bank_Value bank.bin's.
QList<TKey_Value> Image_Key_Values(const QByteArray &bank, const QByteArray &bankK);

// The record whose bytes a 2048-byte bankK.bin holds.
TConfig_Bank Config_Bank_Of(const QByteArray &bankK);

// Four octets of an image as a dotted address ("192.168.0.10").
QString Dotted(const uint8_t *octets);
// The Ethernet address an image gives a device with an Ethernet port; empty for a serial-only device.
QString Device_Ethernet_Address(const TConfig_Images &images);

// Whether an image has a gateway: the builder writes 255.255.255.255 for "no gateway".
bool Has_Gateway(const TConfig_Bank &bank);

// Empty when a 2048-byte bankK.bin's stored checksum is the byte sum of the rest, else "bad checksum: stored
// S, computed C".
QString Checksum_Problem(const QByteArray &bankK);

// The bytes of two 2048-byte images that differ and that no ParGen.xml key sets (nor the checksum, which
// follows from the rest), each as a field "bankK.bin byte 0xNNN" with a's byte; b's go to bValues. Port 1's
// serial channel counts as set by a key where either image uses it.
QList<TKey_Value> Uncovered_Differences(const QByteArray &a, const QByteArray &b, QList<TKey_Value> *bValues);

// A named field of an image, in the order inspect prints them: its JSON value and its text.
struct TImage_Field
{
    QString Name;
    QJsonValue Value;
    QString Shown;
};

// The fields of a 2048-byte bankK.bin; problem receives what makes it not well formed (a checksum mismatch).
QList<TImage_Field> Bank_Image_Fields(const QByteArray &bankK, QString &problem);
// The fields of a 4- or 17-byte bank.bin; problem receives what makes it not well formed (its header).
QList<TImage_Field> Param_Block_Fields(const QByteArray &bank, QString &problem);
