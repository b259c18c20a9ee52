#pragma once

// An echo client that plays a device: each attempt is answered as the test lists it.

#include "UEcho_Client.h"

#include <QList>
#include <QTimer>

class TFake_Echo_Client : public TEcho_Client
{
public:
    static constexpr int Fail = -1;

    // Per attempt: the bytes of the reply (0: no reply within the time-out), or Fail. Attempts beyond the
    // list take Then.
    QList<int> Answers;
    int Then = 0;
    // The host cannot be set (an unusable address).
    bool Host_Fails = false;
    // How long a reply takes.
    int Reply_Delay_Ms = 1;

    QList<QString> Hosts;
    QList<QByteArray> Payloads;

    void Set_Host(const QString &host) override
    {
        Hosts.append(host);
        QTimer::singleShot(0, this, [this] {
            if (Host_Fails)
                emit Failed(QStringLiteral("the host cannot be set"));
            else
                emit Host_Ready();
        });
    }
    void Send_Echo(const QByteArray &payload, int timeoutMs) override
    {
        const int answer = Payloads.size() < Answers.size() ? Answers[Payloads.size()] : Then;
        Payloads.append(payload);
        QTimer::singleShot(answer == 0 ? timeoutMs : Reply_Delay_Ms, this, [this, answer] {
            if (answer == Fail)
                emit Failed(QStringLiteral("the request cannot be sent"));
            else
                emit Echo_Reply(answer);
        });
    }
};
