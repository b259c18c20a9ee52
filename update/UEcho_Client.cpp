#include "UEcho_Client.h"

#include "UNetwork.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>

#ifdef Q_OS_WIN
#include <QWinEventNotifier>
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>
// clang-format on
#else
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

constexpr quint8 Icmp_Echo_Request = 8;
constexpr quint8 Icmp_Echo_Reply = 0;
constexpr int Icmp_Header_Size = 8;
// The check gives a client this much beyond its own time-out before it counts the attempt as unanswered.
constexpr int Attempt_Grace_Ms = 200;

[[maybe_unused]] quint16 Internet_Checksum(const QByteArray &bytes)
{
    quint32 sum = 0;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        sum += quint32(quint8(bytes[i])) << 8 | quint8(bytes[i + 1]);
    if (bytes.size() % 2)
        sum += quint32(quint8(bytes.back())) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return quint16(~sum);
}

[[maybe_unused]] QString Ipv4_Text(quint32 address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg(address >> 16 & 0xFF)
        .arg(address >> 8 & 0xFF)
        .arg(address & 0xFF);
}

} // namespace

bool Is_Numeric_Host_Text(const QString &text)
{
    for (const QChar c : text) {
        if (!c.isDigit() && c != u'.')
            return false;
    }
    return true;
}

// ---- TIcmp_Echo_Client ----

#ifdef Q_OS_WIN

struct TIcmp_Echo_Client::TPlatform
{
    HANDLE Icmp = INVALID_HANDLE_VALUE;
    HANDLE Event = nullptr;
    QWinEventNotifier *Notifier = nullptr;
    QByteArray Reply_Buffer;
    // A request the system has not completed yet: it may still write into Reply_Buffer and signal Event.
    bool Request_Pending = false;
};

bool TIcmp_Echo_Client::Open_Socket(QString &reason)
{
    if (Platform->Icmp != INVALID_HANDLE_VALUE)
        return true;
    Platform->Icmp = IcmpCreateFile();
    if (Platform->Icmp == INVALID_HANDLE_VALUE) {
        reason = QStringLiteral("the ICMP service cannot be opened (error %1)").arg(GetLastError());
        return false;
    }
    Platform->Event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!Platform->Event) {
        reason = QStringLiteral("the echo request cannot be awaited (error %1)").arg(GetLastError());
        IcmpCloseHandle(Platform->Icmp);
        Platform->Icmp = INVALID_HANDLE_VALUE;
        return false;
    }
    Platform->Notifier = new QWinEventNotifier(Platform->Event, this);
    connect(Platform->Notifier, &QWinEventNotifier::activated, this, &TIcmp_Echo_Client::Read_Replies);
    Kind = QStringLiteral("IcmpSendEcho2");
    return true;
}

void TIcmp_Echo_Client::Close_Socket()
{
    delete Platform->Notifier;
    Platform->Notifier = nullptr;
    if (Platform->Icmp != INVALID_HANDLE_VALUE)
        IcmpCloseHandle(Platform->Icmp);
    if (Platform->Request_Pending) {
        // The system may still complete the request: its buffer and event are left to it, never freed under it.
        new QByteArray(std::move(Platform->Reply_Buffer));
        Platform->Event = nullptr;
        Platform->Request_Pending = false;
    }
    if (Platform->Event)
        CloseHandle(Platform->Event);
    Platform->Icmp = INVALID_HANDLE_VALUE;
    Platform->Event = nullptr;
}

void TIcmp_Echo_Client::Send_Echo(const QByteArray &payload, int timeoutMs)
{
    QString reason;
    if (!Open_Socket(reason)) {
        Fail_Later(reason);
        return;
    }
    Waiting = true;
    if (Platform->Request_Pending) {
        // The last request is still out and writes into the reply buffer when it completes: this attempt
        // waits for that completion instead of sending another.
        Timeout.start(timeoutMs + 50);
        return;
    }
    Platform->Reply_Buffer = QByteArray(int(sizeof(ICMP_ECHO_REPLY)) + payload.size() + 8 + 64, '\0');
    ResetEvent(Platform->Event);
    const DWORD sent =
        IcmpSendEcho2(Platform->Icmp, Platform->Event, nullptr, nullptr, htonl(Address),
                      const_cast<char *>(payload.constData()), WORD(payload.size()), nullptr,
                      Platform->Reply_Buffer.data(), DWORD(Platform->Reply_Buffer.size()), DWORD(timeoutMs));
    const DWORD error = sent == 0 ? GetLastError() : ERROR_SUCCESS;
    Platform->Request_Pending = sent == 0 && error == ERROR_IO_PENDING;
    if (sent == 0 && error != ERROR_IO_PENDING) {
        Waiting = false;
        Fail_Later(QStringLiteral("the echo request cannot be sent (error %1)").arg(error));
        return;
    }
    Timeout.start(timeoutMs + 50);
}

void TIcmp_Echo_Client::Read_Replies()
{
    Platform->Request_Pending = false;
    if (!Waiting)
        return;
    const DWORD count = IcmpParseReplies(Platform->Reply_Buffer.data(), DWORD(Platform->Reply_Buffer.size()));
    int bytes = 0;
    if (count > 0) {
        const auto *reply = reinterpret_cast<const ICMP_ECHO_REPLY *>(Platform->Reply_Buffer.constData());
        if (reply->Status == IP_SUCCESS)
            bytes = int(reply->DataSize) + Icmp_Header_Size;
    }
    Finish(bytes);
}

#else

struct TIcmp_Echo_Client::TPlatform
{
    int Socket = -1;
    bool Raw = false;
    QSocketNotifier *Notifier = nullptr;
};

bool TIcmp_Echo_Client::Open_Socket(QString &reason)
{
    if (Platform->Socket >= 0)
        return true;
    // The unprivileged kind where the system admits this user, else the raw kind (root or CAP_NET_RAW).
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    const int datagramError = errno;
    bool raw = false;
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        raw = true;
    }
    if (fd < 0) {
        reason = QStringLiteral("no ICMP socket can be opened (datagram: %1; raw: %2); allow the user's group in "
                                "net.ipv4.ping_group_range or give the program CAP_NET_RAW")
                     .arg(QString::fromLocal8Bit(std::strerror(datagramError)),
                          QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    Platform->Socket = fd;
    Platform->Raw = raw;
    Platform->Notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(Platform->Notifier, &QSocketNotifier::activated, this, &TIcmp_Echo_Client::Read_Replies);
    Kind = raw ? QStringLiteral("raw") : QStringLiteral("datagram");
    return true;
}

void TIcmp_Echo_Client::Close_Socket()
{
    delete Platform->Notifier;
    Platform->Notifier = nullptr;
    if (Platform->Socket >= 0)
        ::close(Platform->Socket);
    Platform->Socket = -1;
}

void TIcmp_Echo_Client::Send_Echo(const QByteArray &payload, int timeoutMs)
{
    QString reason;
    if (!Open_Socket(reason)) {
        Fail_Later(reason);
        return;
    }
    ++Sequence;
    QByteArray packet(Icmp_Header_Size, '\0');
    packet[0] = char(Icmp_Echo_Request);
    packet[4] = char(Identifier >> 8);
    packet[5] = char(Identifier & 0xFF);
    packet[6] = char(Sequence >> 8);
    packet[7] = char(Sequence & 0xFF);
    packet += payload;
    const quint16 sum = Internet_Checksum(packet);
    packet[2] = char(sum >> 8);
    packet[3] = char(sum & 0xFF);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(Address);
    if (::sendto(Platform->Socket, packet.constData(), size_t(packet.size()), 0, reinterpret_cast<sockaddr *>(&to),
                 sizeof to) < 0) {
        Fail_Later(QStringLiteral("the echo request to %1 cannot be sent: %2")
                       .arg(Ipv4_Text(Address), QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    Waiting = true;
    Timeout.start(timeoutMs);
}

void TIcmp_Echo_Client::Read_Replies()
{
    char buffer[2048];
    for (;;) {
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const ssize_t n =
            ::recvfrom(Platform->Socket, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &fromSize);
        if (n < 0)
            return; // nothing more to read now
        if (!Waiting || ntohl(from.sin_addr.s_addr) != Address)
            continue;
        // A raw socket delivers the IP header and every ICMP message of the machine; a datagram socket only
        // the ICMP part of the replies to its own requests.
        qsizetype offset = 0;
        if (Platform->Raw) {
            if (n < 20)
                continue;
            offset = (quint8(buffer[0]) & 0x0F) * 4;
        }
        if (n < offset + Icmp_Header_Size)
            continue;
        const auto *icmp = reinterpret_cast<const quint8 *>(buffer + offset);
        const quint16 id = quint16(icmp[4] << 8 | icmp[5]);
        const quint16 sequence = quint16(icmp[6] << 8 | icmp[7]);
        if (icmp[0] != Icmp_Echo_Reply || sequence != Sequence || (Platform->Raw && id != Identifier))
            continue;
        Finish(int(n));
    }
}

#endif

TIcmp_Echo_Client::TIcmp_Echo_Client(QObject *parent) : TEcho_Client(parent), Platform(std::make_unique<TPlatform>())
{
    Timeout.setSingleShot(true);
    connect(&Timeout, &QTimer::timeout, this, [this] { Finish(0); });
    Lookup_Limit.setSingleShot(true);
    connect(&Lookup_Limit, &QTimer::timeout, this, [this] {
        Network->Abort_Lookup(Lookup_Id);
        Lookup_Id = -1;
        emit Failed(QStringLiteral("the name was not resolved within %1 s").arg(Host_Lookup_Limit_Ms / 1000));
    });
#ifdef Q_OS_WIN
    Identifier = quint16(GetCurrentProcessId());
#else
    Identifier = quint16(::getpid());
#endif
}

TIcmp_Echo_Client::~TIcmp_Echo_Client()
{
    if (Lookup_Id >= 0)
        Network->Abort_Lookup(Lookup_Id);
    Close_Socket();
}

void TIcmp_Echo_Client::Fail_Later(const QString &reason)
{
    Waiting = false;
    Timeout.stop();
    QTimer::singleShot(0, this, [this, reason] { emit Failed(reason); });
}

void TIcmp_Echo_Client::Finish(int bytes)
{
    if (!Waiting)
        return;
    Waiting = false;
    Timeout.stop();
    emit Echo_Reply(bytes);
}

void TIcmp_Echo_Client::Set_Host(const QString &host)
{
    Address = 0;
    if (Lookup_Id >= 0)
        Network->Abort_Lookup(Lookup_Id);
    Lookup_Id = -1;
    // An earlier lookup's limit must not fail this host.
    Lookup_Limit.stop();
    QString reason;
    Network = Network_Services(&reason);
    if (!Network) {
        Fail_Later(reason);
        return;
    }
    const QString text = host.trimmed();
    if (quint32 address = 0; Network->Parse_Ipv4(text, address)) {
        Address = address;
        QTimer::singleShot(0, this, &TEcho_Client::Host_Ready);
        return;
    }
    if (text.isEmpty() || Is_Numeric_Host_Text(text)) {
        Fail_Later(QStringLiteral("\"%1\" is not an IPv4 address").arg(host));
        return;
    }
    // Only what a host name may hold is handed to the resolver.
    for (const QChar c : text) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'-' && c != u'.') {
            Fail_Later(QStringLiteral("\"%1\" is neither an IPv4 address nor a host name").arg(host));
            return;
        }
    }
    // A name: resolved by the system's resolver, in the background, within a bounded time.
    Lookup_Limit.start(Host_Lookup_Limit_Ms);
    Lookup_Id = Network->Lookup_Ipv4(
        text, this, [this, host](int id, const QList<quint32> &addresses, const QString &error) {
            if (id != Lookup_Id)
                return;
            Lookup_Id = -1;
            Lookup_Limit.stop();
            if (!addresses.isEmpty()) {
                Address = addresses.first();
                emit Host_Ready();
                return;
            }
            emit Failed(!error.isEmpty() ? QStringLiteral("\"%1\" cannot be resolved: %2").arg(host, error)
                                         : QStringLiteral("\"%1\" has no IPv4 address").arg(host));
        });
}

// ---- TEcho_Check ----

TEcho_Check::TEcho_Check(TEcho_Client *client, QObject *parent) : QObject(parent), Client(client)
{
    Attempt_Limit.setSingleShot(true);
    connect(&Attempt_Limit, &QTimer::timeout, this, [this] {
        // The client did not answer in time: the attempt counts as unanswered, ping_res keeps its value.
        Reply_Pending = false;
        After_Attempt();
    });
    connect(Client, &TEcho_Client::Host_Ready, this, [this] {
        if (Is_Running && Attempts == 0)
            Attempt();
    });
    connect(Client, &TEcho_Client::Echo_Reply, this, [this](int bytes) {
        if (!Is_Running || !Reply_Pending)
            return;
        Reply_Pending = false;
        Attempt_Limit.stop();
        ping_res = bytes > 0 ? 1 : 2;
        After_Attempt();
    });
    connect(Client, &TEcho_Client::Failed, this, [this](const QString &reason) {
        if (!Is_Running)
            return;
        // An unusable host or a request that cannot be sent ends the check at once; ping_res keeps its value.
        Failure = reason;
        End(false);
    });
}

static qint64 Now_Ms()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer c;
        c.start();
        return c;
    }();
    return clock.elapsed();
}

void TEcho_Check::Start(const QString &host)
{
    ping_res = 0;
    Replies = 0;
    Attempts = 0;
    Failure.clear();
    Was_Aborted = false;
    Is_Running = true;
    Start_Ms = Now_Ms();
    Client->Set_Host(host);
}

void TEcho_Check::Attempt()
{
    ++Attempts;
    Reply_Pending = true;
    Attempt_Limit.start(Echo_Timeout_Ms + Attempt_Grace_Ms);
    Client->Send_Echo(Echo_Payload, Echo_Timeout_Ms);
}

void TEcho_Check::After_Attempt()
{
    if (!Is_Running)
        return;
    if (ping_res == 1 && ++Replies >= Echo_Replies_Wanted) {
        End(true);
        return;
    }
    if (Now_Ms() - Start_Ms > Echo_Check_Limit_Ms) {
        End(ping_res == 1);
        return;
    }
    Attempt();
}

void TEcho_Check::Abort()
{
    if (!Is_Running)
        return;
    Was_Aborted = true;
    End(false);
}

void TEcho_Check::End(bool answered)
{
    Is_Running = false;
    Reply_Pending = false;
    Attempt_Limit.stop();
    emit Finished(answered);
}

bool Run_Echo_Check(TEcho_Check &check, const QString &host)
{
    QEventLoop loop;
    bool answered = false;
    const QMetaObject::Connection done = QObject::connect(&check, &TEcho_Check::Finished, &loop, [&](bool result) {
        answered = result;
        loop.quit();
    });
    check.Start(host);
    if (check.Running())
        loop.exec();
    QObject::disconnect(done);
    return answered;
}
