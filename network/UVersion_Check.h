#pragma once

// The online version check: the maker's version endpoint asked whether a newer version of the program
// exists. The request runs asynchronously, so that no window ever waits for the network.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

// Headers the endpoint has always been asked with.
inline const QByteArray Version_Check_Accept =
    QByteArrayLiteral("text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
inline const QByteArray Version_Check_User_Agent = QByteArrayLiteral("Mozilla/3.0 (compatible; Indy Library)");
inline constexpr int Version_Check_Timeout_Ms = 10000;
// The endpoint answers a few bytes; a longer body is not a version.
inline constexpr qint64 Version_Reply_Limit = 4096;
// The whole answer, status line and header lines with the body; many times what a web server sends.
inline constexpr qint64 Version_Answer_Limit = 32 * 1024;

// A version text (digit, point, three digits, possibly after a word and a blank, as in "VER. 2.010") as the
// integer of its four digits; -1 when it is not one.
int Conv_Version(const QString &Ver_str);

// The reply rule: true when the endpoint's reply names a version newer than Program_Version.
bool Reply_Reports_Newer_Version(const QString &reply);

// The version endpoint and the download page, on the maker's web site.
QUrl Version_Endpoint_Url();
QUrl Download_Page_Url();

// Where the version endpoint is asked: the maker's web site unless a test has pointed the check at its own
// server (scheme, host and port of site; an empty address puts the maker's site back). Returns the previous
// setting.
QUrl Set_Version_Check_Site(const QUrl &site);

// The program's one HTTP client for the version check. Several checks may run at once; each answers once.
class TVersion_Check : public QObject
{
    Q_OBJECT
public:
    explicit TVersion_Check(QObject *parent = nullptr);

    // Starts a check (Accept and User-Agent headers, no cookies, redirects not followed). done(newer) runs
    // later, from the event loop, once the answer has arrived or the request failed or timed out (each counts
    // as no newer version, as does a program whose network module cannot be loaded); it does not run when
    // context has been destroyed meanwhile.
    void Check_Version(QObject *context, std::function<void(bool newer)> done);

    // Time allowed for a whole check, from the request to the last byte of the answer; a check that runs
    // out of it, or whose answer passes Version_Answer_Limit, is ended and its connection closed.
    int Timeout_Ms = Version_Check_Timeout_Ms;
};
