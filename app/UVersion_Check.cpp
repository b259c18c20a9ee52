#include "UVersion_Check.h"

#include "UComon.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <utility>

namespace {

// Empty: the maker's web site.
QUrl Check_Site;

bool Is_Decimal_Digit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

int Conv_Version(const QString &Ver_str)
{
    const qsizetype blank = Ver_str.indexOf(u' ');
    const QString t = Trim_Text(blank < 0 ? Ver_str : Ver_str.mid(blank + 1));
    if (t.size() < 5)
        return -1;
    // The second character, normally the point, is passed over whatever it is.
    const QChar digits[] = {t[0], t[2], t[3], t[4]};
    int value = 0;
    for (const QChar digit : digits) {
        // Four decimal digits and nothing else: no sign, no hexadecimal prefix.
        if (!Is_Decimal_Digit(digit))
            return -1;
        value = value * 10 + (digit.unicode() - u'0');
    }
    return value;
}

bool Reply_Reports_Newer_Version(const QString &reply)
{
    const QString trimmed = Trim_Text(reply);
    const QString norm = trimmed.toUpper();
    // The endpoint's answer for a name it has no version of.
    if (norm.isEmpty() || norm == QStringLiteral("VER. 0.000"))
        return false;
    const int own = Conv_Version(Program_Version);
    const int remote = Conv_Version(trimmed);
    return own != -1 && remote != -1 && remote > own;
}

QUrl Version_Endpoint_Url()
{
    QUrl url(Maker_Site + Version_Endpoint_Path + SW_Check_Name);
    if (!Check_Site.isEmpty()) {
        url.setScheme(Check_Site.scheme());
        url.setHost(Check_Site.host());
        url.setPort(Check_Site.port());
    }
    return url;
}

QUrl Download_Page_Url()
{
    return QUrl(Maker_Site + Download_Page_Path);
}

QNetworkRequest Version_Request()
{
    QNetworkRequest request(Version_Endpoint_Url());
    request.setRawHeader(QByteArrayLiteral("Accept"), Version_Check_Accept);
    request.setHeader(QNetworkRequest::UserAgentHeader, Version_Check_User_Agent);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setTransferTimeout(Version_Check_Timeout_Ms);
    return request;
}

QUrl Set_Version_Check_Site(const QUrl &site)
{
    return std::exchange(Check_Site, site);
}

TVersion_Check::TVersion_Check(QObject *parent) : QObject(parent) {}

void TVersion_Check::Check_Version(QObject *context, std::function<void(bool)> done)
{
    if (!Manager)
        Manager = new QNetworkAccessManager(this);
    QNetworkReply *reply = Manager->get(Version_Request());

    // The whole check is bounded, also against a server that sends its answer a byte at a time.
    auto *deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    deadline->start(Timeout_Ms);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > Version_Reply_Limit)
            reply->abort();
    });

    const QPointer<QObject> receiver(context);
    connect(reply, &QNetworkReply::finished, this, [reply, receiver, done = std::move(done)] {
        reply->deleteLater();
        // Any failure, a redirect or an error status: no reply, so no newer version.
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        QByteArray body;
        if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300)
            body = reply->read(Version_Reply_Limit + 1);
        const bool newer = body.size() <= Version_Reply_Limit && Reply_Reports_Newer_Version(QString::fromUtf8(body));
        if (receiver)
            done(newer);
    });
}
