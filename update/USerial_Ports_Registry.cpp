#include "USerial_Ports.h"
#include "USerial_Ports_Registry.h"

#include <QRegularExpression>

#include <iterator>

#include <windows.h>

namespace {

// The names of the serial devices, from the data of every value of the key. Read with the registry calls
// themselves: QSettings takes a backslash in a value's name for a subkey, and every name Windows writes
// here holds backslashes (\Device\Serial0, \Device\VCP0), so not one of them could be read through it.
QStringList Value_Texts(const QString &key)
{
    static const QStringList roots{QStringLiteral("HKEY_LOCAL_MACHINE\\"), QStringLiteral("HKEY_CURRENT_USER\\")};
    const HKEY root_handles[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
    QStringList texts;
    for (int r = 0; r < roots.size(); ++r) {
        if (!key.startsWith(roots[r]))
            continue;
        const QString sub_key = key.mid(roots[r].size());
        HKEY handle = nullptr;
        if (RegOpenKeyExW(root_handles[r], reinterpret_cast<const wchar_t *>(sub_key.utf16()), 0, KEY_QUERY_VALUE,
                          &handle) != ERROR_SUCCESS)
            return texts;
        for (DWORD index = 0;; ++index) {
            wchar_t name[512];
            DWORD name_size = DWORD(std::size(name));
            wchar_t data[256] = {};
            DWORD data_size = sizeof(data) - sizeof(wchar_t); // room for an ending the value may lack
            DWORD type = 0;
            const LONG result = RegEnumValueW(handle, index, name, &name_size, nullptr, &type,
                                              reinterpret_cast<BYTE *>(data), &data_size);
            if (result == ERROR_NO_MORE_ITEMS)
                break;
            // A value too long for a port's name is no port; the others go on.
            if (result != ERROR_SUCCESS || type != REG_SZ)
                continue;
            const auto length = qsizetype(data_size / sizeof(wchar_t));
            texts.append(QString::fromWCharArray(data, length).section(QChar(0), 0, 0));
        }
        RegCloseKey(handle);
    }
    return texts;
}

} // namespace

QList<TSerial_Port> Serial_Ports_In_Registry(const QString &key)
{
    static const QRegularExpression com(QStringLiteral(R"(^COM([1-9][0-9]*)$)"),
                                        QRegularExpression::CaseInsensitiveOption);
    QList<TSerial_Port> ports;
    for (const QString &text : Value_Texts(key)) {
        const QRegularExpressionMatch match = com.match(text.trimmed());
        if (!match.hasMatch())
            continue;
        const QString name = QStringLiteral("COM") + match.captured(1);
        // The registry knows no description, maker or serial number: the hint shows the location only.
        ports.append(TSerial_Port{name, QStringLiteral("\\\\.\\") + name, QString(), QString(), QString()});
    }
    return ports;
}

QList<TSerial_Port> System_Serial_Ports()
{
    return Serial_Ports_In_Registry(Serial_Comm_Key);
}
