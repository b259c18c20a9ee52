// The serial port list of a Windows build without Qt Serial Port: the registry's serial devices.

#include "UGround.h"
#include "USerial_Ports.h"
#include "USerial_Ports_Registry.h"

#include <QCoreApplication>
#include <QTest>

#include <windows.h>

class Test_USerial_Ports_Registry : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void Com_values_become_ports_in_number_order();
    void A_missing_key_lists_nothing();
    void The_system_list_is_com_ports_ascending();

private:
    // A key of the test's own, filled the way Windows fills the serial device map.
    QString Sub_Key;
    void Set_Value(const QString &name, const QString &data);
};

void Test_USerial_Ports_Registry::init()
{
    Sub_Key = QStringLiteral(R"(Software\Quillon tests\SERIALCOMM %1)").arg(QCoreApplication::applicationPid());
}

void Test_USerial_Ports_Registry::cleanup()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t *>(Sub_Key.utf16()));
}

void Test_USerial_Ports_Registry::Set_Value(const QString &name, const QString &data)
{
    HKEY key = nullptr;
    QCOMPARE(RegCreateKeyExW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t *>(Sub_Key.utf16()), 0, nullptr, 0,
                             KEY_WRITE, nullptr, &key, nullptr),
             LONG(ERROR_SUCCESS));
    const auto bytes = DWORD((data.size() + 1) * sizeof(wchar_t));
    const LONG result = RegSetValueExW(key, reinterpret_cast<const wchar_t *>(name.utf16()), 0, REG_SZ,
                                       reinterpret_cast<const BYTE *>(data.utf16()), bytes);
    RegCloseKey(key);
    QCOMPARE(result, LONG(ERROR_SUCCESS));
}

void Test_USerial_Ports_Registry::Com_values_become_ports_in_number_order()
{
    // Value names are the drivers' device paths, with backslashes; the data is the port's name.
    Set_Value(QStringLiteral(R"(\Device\Serial0)"), QStringLiteral("COM12"));
    Set_Value(QStringLiteral(R"(\Device\Serial1)"), QStringLiteral("COM3"));
    Set_Value(QStringLiteral(R"(\Device\VCP0)"), QStringLiteral("com1"));
    // Not ports the updater can open as \\.\COMn: a virtual pair's own names, a number with a leading zero.
    Set_Value(QStringLiteral(R"(\Device\com0com10)"), QStringLiteral("CNCA0"));
    Set_Value(QStringLiteral(R"(\Device\Odd)"), QStringLiteral("COM07"));
    Set_Value(QStringLiteral("Plain"), QStringLiteral("COM4"));

    const QList<TSerial_Port> ports =
        Serial_Ports_In_Registry(QStringLiteral(R"(HKEY_CURRENT_USER\)") + Sub_Key);
    QStringList names;
    for (const TSerial_Port &port : ports) {
        names.append(port.Name);
        QCOMPARE(port.Location, QStringLiteral(R"(\\.\)") + port.Name);
        QVERIFY(port.Description.isEmpty() && port.Manufacturer.isEmpty() && port.Serial_Number.isEmpty());
    }
    Sort_Port_Names(names);
    QCOMPARE(names, (QStringList{"COM1", "COM3", "COM4", "COM12"}));
}

void Test_USerial_Ports_Registry::A_missing_key_lists_nothing()
{
    QVERIFY(Serial_Ports_In_Registry(QStringLiteral(R"(HKEY_CURRENT_USER\)") + Sub_Key).isEmpty());
}

void Test_USerial_Ports_Registry::The_system_list_is_com_ports_ascending()
{
    // Whatever ports this machine has (Wine maps its serial devices as COM1, COM2, ...).
    const QList<TSerial_Port> ports = List_COM_Ports();
    int last = 0;
    for (const TSerial_Port &port : ports) {
        QVERIFY2(port.Name.startsWith(QStringLiteral("COM")), qPrintable(port.Name));
        const int number = port.Name.mid(3).toInt();
        QVERIFY2(number > last, qPrintable(port.Name));
        last = number;
    }
    qInfo("ports listed: %lld", qlonglong(ports.size()));
}

QTEST_GUILESS_MAIN(Test_USerial_Ports_Registry)
#include "test_USerial_Ports_Registry.moc"
