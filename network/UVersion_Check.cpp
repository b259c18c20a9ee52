#include "UVersion_Check.h"

#include "UGround.h"
#include "UNetwork.h"

#include <QTimer>

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

QUrl Set_Version_Check_Site(const QUrl &site)
{
    return std::exchange(Check_Site, site);
}

TVersion_Check::TVersion_Check(QObject *parent) : QObject(parent) {}

void TVersion_Check::Check_Version(QObject *context, std::function<void(bool)> done)
{
    QString reason;
    const TNetwork_Services *network = Network_Services(&reason);
    if (!network) {
        // No answer, so no newer version; the reason is left for whoever reads the program's output.
        qWarning("The version check cannot run: %s", qPrintable(reason));
        QTimer::singleShot(0, context, [done = std::move(done)] { done(false); });
        return;
    }
    network->Get_Text(this, Version_Endpoint_Url(), Timeout_Ms, Version_Answer_Limit, Version_Reply_Limit, context,
                      [done = std::move(done)](const QByteArray &body) {
                          done(Reply_Reports_Newer_Version(QString::fromUtf8(body)));
                      });
}
