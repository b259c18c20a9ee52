#pragma once

// The network as the program uses it: the version check's request and the resolver of a device's host name.
// quillon-cli and the tests have these services linked in; the window program loads them from its network
// module the first time it needs them, so that it starts without Qt Network and the libraries that come
// with it (the proxy, Kerberos and resolver libraries).

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>

class QObject;

struct TNetwork_Services
{
    // Asks url (http only) with the version check's headers. done(body) runs once, from the event loop, on
    // context's thread (not when context has been destroyed): the body of a 2xx answer of at most bodyLimit
    // bytes, else empty (an error, a redirect, a longer body, a whole answer - status line, header lines and
    // body - of more than answerLimit bytes, or none complete within timeoutMs). The connection is closed when
    // the answer ends and nothing of the request is left running. Its objects are children of owner.
    void (*Get_Text)(QObject *owner, const QUrl &url, int timeoutMs, qint64 answerLimit, qint64 bodyLimit,
                     QObject *context, std::function<void(const QByteArray &body)> done);
    // The IPv4 address that text is, read as Qt Network reads one.
    bool (*Parse_Ipv4)(const QString &text, quint32 &address);
    // Resolves name by the system's resolver in the background; done(id, addresses, error) runs on
    // context's thread with its IPv4 addresses, or an error text. Returns the lookup's id.
    int (*Lookup_Ipv4)(const QString &name, QObject *context,
                       std::function<void(int id, const QList<quint32> &addresses, const QString &error)> done);
    void (*Abort_Lookup)(int id);
};

// The services, or nullptr when the network module cannot be loaded (reason then says why).
const TNetwork_Services *Network_Services(QString *reason = nullptr);

// For a program that links the services in.
void Use_Network_Services(const TNetwork_Services *services);

// The network module's file name without its suffix, and the function it is entered by.
inline constexpr char Network_Module_Name[] = "quillon-network";
inline constexpr char Network_Module_Entry[] = "Quillon_Network_Services";
extern "C" const TNetwork_Services *Quillon_Network_Services();
