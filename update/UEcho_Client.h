#pragma once

// The echo check before an Ethernet update: ICMP echo requests to the device, sent and awaited without
// ever blocking the thread that runs them (socket notifiers and timers on that thread's event loop).

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

struct TNetwork_Services;

// The payload of every request: 24 ASCII characters.
inline const QByteArray Echo_Payload = QByteArrayLiteral("abcdefghijklmnopqrstuvwa");
inline constexpr int Echo_Timeout_Ms = 400;
inline constexpr int Echo_Check_Limit_Ms = 5000;
inline constexpr int Echo_Replies_Wanted = 2;
// A host name that has not resolved by then counts as one that cannot be resolved.
inline constexpr int Host_Lookup_Limit_Ms = 3000;

// One ICMP echo client. Set_Host answers with Host_Ready or Failed; each Send_Echo answers with exactly one
// Echo_Reply (the bytes received, 0 when nothing came within the time-out) or Failed. Every answer comes
// through the event loop, never from inside the call.
class TEcho_Client : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void Set_Host(const QString &host) = 0;
    virtual void Send_Echo(const QByteArray &payload, int timeoutMs) = 0;

signals:
    void Host_Ready();
    void Echo_Reply(int bytesReceived);
    void Failed(const QString &reason);
};

// The system's ICMP client: on Linux an unprivileged ICMP datagram socket where the system admits the user,
// else a raw ICMP socket; on Windows IcmpSendEcho2. IPv4 only.
class TIcmp_Echo_Client : public TEcho_Client
{
    Q_OBJECT
public:
    explicit TIcmp_Echo_Client(QObject *parent = nullptr);
    ~TIcmp_Echo_Client() override;
    void Set_Host(const QString &host) override;
    void Send_Echo(const QByteArray &payload, int timeoutMs) override;

    // Which kind of socket the last request went through ("datagram", "raw" or "IcmpSendEcho2").
    QString Socket_Kind() const { return Kind; }

private:
    void Fail_Later(const QString &reason);
    void Finish(int bytes);
    void Read_Replies();
    bool Open_Socket(QString &reason);
    void Close_Socket();

    // The device's IPv4 address, in host order.
    quint32 Address = 0;
    const TNetwork_Services *Network = nullptr;
    QTimer Timeout;
    QTimer Lookup_Limit;
    int Lookup_Id = -1;
    bool Waiting = false;
    QString Kind;
    quint16 Identifier = 0;
    quint16 Sequence = 0;
    struct TPlatform;
    std::unique_ptr<TPlatform> Platform;
};

// True when text can only be meant as a numeric IPv4 address (digits and dots): it is never looked up as a
// host name, so a mistyped address never leaves the machine as a name query.
bool Is_Numeric_Host_Text(const QString &text);

// The echo check: attempts of Echo_Timeout_Ms until Echo_Replies_Wanted replies or Echo_Check_Limit_Ms
// have passed. ping_res follows the last attempt: 0 none yet or failed, 1 reply received, 2 no reply.
class TEcho_Check : public QObject
{
    Q_OBJECT
public:
    explicit TEcho_Check(TEcho_Client *client, QObject *parent = nullptr);

    // Starts the check of host; Finished follows through the event loop.
    void Start(const QString &host);
    // Ends a check under way at once; Finished(false) follows, Aborted() is true.
    void Abort();
    bool Running() const { return Is_Running; }
    bool Aborted() const { return Was_Aborted; }

    int ping_res = 0;
    int Replies = 0;
    int Attempts = 0;
    // Why the client failed (empty when it did not).
    QString Failure;

signals:
    // answered: the last attempt was answered (ping_res 1).
    void Finished(bool answered);

private:
    void Attempt();
    void After_Attempt();
    void End(bool answered);

    TEcho_Client *Client;
    QTimer Attempt_Limit;
    qint64 Start_Ms = 0;
    bool Is_Running = false;
    bool Was_Aborted = false;
    bool Reply_Pending = false;
};

// Runs a whole check of host to its end in a local event loop (the thread's events are processed meanwhile)
// and returns whether the device answered.
bool Run_Echo_Check(TEcho_Check &check, const QString &host);
