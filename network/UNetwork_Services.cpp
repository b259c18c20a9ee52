// The program's Qt Network code: the network module of the window program, and linked into quillon-cli and
// the tests. It uses nothing of the core but constants, so that the module carries no second copy of it.

#include "UNetwork.h"
#include "UVersion_Check.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

#include <utility>

namespace {

QNetworkRequest Version_Request(const QUrl &url, int timeoutMs)
{
    QNetworkRequest request(url);
    request.setRawHeader(QByteArrayLiteral("Accept"), Version_Check_Accept);
    request.setHeader(QNetworkRequest::UserAgentHeader, Version_Check_User_Agent);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setTransferTimeout(timeoutMs);
    return request;
}

void Get_Text(QObject *owner, const QUrl &url, int timeoutMs, qint64 limit, QObject *context,
              std::function<void(const QByteArray &body)> done)
{
    auto *manager = owner->findChild<QNetworkAccessManager *>(QString(), Qt::FindDirectChildrenOnly);
    if (!manager)
        manager = new QNetworkAccessManager(owner);
    QNetworkReply *reply = manager->get(Version_Request(url, timeoutMs));

    // The whole request is bounded, also against a server that sends its answer a byte at a time.
    auto *deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    deadline->start(timeoutMs);
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply, limit](qint64 received, qint64) {
        if (received > limit)
            reply->abort();
    });

    const QPointer<QObject> receiver(context);
    QObject::connect(reply, &QNetworkReply::finished, owner, [reply, receiver, limit, done = std::move(done)] {
        reply->deleteLater();
        // Any failure, a redirect or an error status: no body.
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        QByteArray body;
        if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300)
            body = reply->read(limit + 1);
        if (body.size() > limit)
            body.clear();
        if (receiver)
            done(body);
    });
}

bool Parse_Ipv4(const QString &text, quint32 &address)
{
    QHostAddress parsed;
    if (!parsed.setAddress(text) || parsed.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    address = parsed.toIPv4Address();
    return true;
}

int Lookup_Ipv4(const QString &name, QObject *context,
                std::function<void(int id, const QList<quint32> &addresses, const QString &error)> done)
{
    return QHostInfo::lookupHost(name, context, [done = std::move(done)](const QHostInfo &info) {
        QList<quint32> addresses;
        for (const QHostAddress &found : info.addresses()) {
            if (found.protocol() == QAbstractSocket::IPv4Protocol)
                addresses << found.toIPv4Address();
        }
        done(info.lookupId(), addresses, info.error() != QHostInfo::NoError ? info.errorString() : QString());
    });
}

void Abort_Lookup(int id)
{
    QHostInfo::abortHostLookup(id);
}

constexpr TNetwork_Services Services = {Get_Text, Parse_Ipv4, Lookup_Ipv4, Abort_Lookup};

} // namespace

extern "C" Q_DECL_EXPORT const TNetwork_Services *Quillon_Network_Services()
{
    return &Services;
}
