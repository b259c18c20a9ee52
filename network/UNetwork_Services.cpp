// The program's Qt Network code: the network module of the window program, and linked into quillon-cli and
// the tests. It uses nothing of the core but constants, so that the module carries no second copy of it.

#include "UNetwork.h"
#include "UVersion_Check.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <cctype>
#include <utility>

namespace {

// One request of the version check, asked over a socket of its own rather than through Qt's HTTP access:
// that reads a header without end on a thread of its own, where neither a size limit nor an abort reaches
// it. Here every byte of the answer is counted and the socket is closed the moment a limit is passed.
class TText_Request : public QObject
{
public:
    TText_Request(QObject *owner, const QUrl &url, int timeoutMs, qint64 answerLimit, qint64 bodyLimit,
                  QObject *context, std::function<void(const QByteArray &body)> done)
        : QObject(owner), Answer_Limit(answerLimit), Body_Limit(bodyLimit), Receiver(context), Done(std::move(done))
    {
        Socket = new QTcpSocket(this);
        // Qt reads no more than the answer may have before this object looks at it.
        Socket->setReadBufferSize(answerLimit + 1);
        Deadline = new QTimer(this);
        Deadline->setSingleShot(true);
        connect(Deadline, &QTimer::timeout, this, [this] { End(false); });
        Deadline->start(timeoutMs);
        // Connections are made with this object as context, so that none reaches it while it is destroyed.
        connect(Socket, &QTcpSocket::connected, this, [this, url] { Socket->write(Request_Text(url)); });
        connect(Socket, &QTcpSocket::readyRead, this, [this] { Read(false); });
        connect(Socket, &QTcpSocket::disconnected, this, [this] { Read(true); });
        connect(Socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
            if (error == QAbstractSocket::RemoteHostClosedError)
                Read(true);
            else
                End(false);
        });
        if (url.scheme() != u"http" || url.host().isEmpty())
            QMetaObject::invokeMethod(
                this, [this] { End(false); }, Qt::QueuedConnection);
        else
            Socket->connectToHost(url.host(), url.port(80));
    }

private:
    static QByteArray Request_Text(const QUrl &url)
    {
        QByteArray target = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
        if (target.isEmpty())
            target = "/";
        // No Accept-Encoding: the body comes as it is. The connection ends with the answer.
        return "GET " + target +
               " HTTP/1.1\r\nHost: " + url.adjusted(QUrl::RemoveUserInfo).authority(QUrl::FullyEncoded).toLatin1() +
               "\r\nAccept: " + Version_Check_Accept + "\r\nUser-Agent: " + Version_Check_User_Agent +
               "\r\nConnection: close\r\n\r\n";
    }

    void Read(bool closed)
    {
        if (Ended)
            return;
        // One byte past the limit is enough to know the answer is too long.
        const qint64 room = Answer_Limit + 1 - Answer.size();
        if (room > 0)
            Answer += Socket->read(room);
        if (Answer.size() > Answer_Limit)
            return End(false);
        switch (Answer_State(closed)) {
        case TState::More:
            return;
        case TState::Done:
            return End(true);
        case TState::Failed:
            return End(false);
        }
    }

    enum class TState
    {
        More,
        Done,
        Failed
    };

    // Whether Answer, with the connection closed or open, is a whole 2xx answer (Body then holds its body),
    // one that can no longer be, or the start of one.
    TState Answer_State(bool closed)
    {
        const TState incomplete = closed ? TState::Failed : TState::More;
        // The status line and the header lines, up to the empty line.
        QList<QByteArrayView> lines;
        qsizetype at = 0;
        for (;;) {
            const qsizetype end = Answer.indexOf('\n', at);
            if (end < 0)
                return incomplete;
            QByteArrayView line = QByteArrayView(Answer).sliced(at, end - at);
            at = end + 1;
            if (line.endsWith('\r'))
                line.chop(1);
            if (line.isEmpty())
                break;
            lines << line;
            // The status is known with the first line: a redirect or an error needs nothing more.
            if (lines.size() == 1 && !Is_Success(line))
                return TState::Failed;
        }
        if (lines.isEmpty())
            return TState::Failed;
        bool chunked = false;
        qint64 length = -1;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = lines[i].first(colon).trimmed().toByteArray().toLower();
            const QByteArrayView value = lines[i].sliced(colon + 1).trimmed();
            if (name == "transfer-encoding") {
                chunked = value.toByteArray().toLower().endsWith("chunked");
            } else if (name == "content-length") {
                bool ok = false;
                const qint64 given = value.toLongLong(&ok);
                if (!ok || given < 0 || (length >= 0 && given != length))
                    return TState::Failed;
                length = given;
            }
        }
        const QByteArrayView body = QByteArrayView(Answer).sliced(at);
        if (lines[0].sliced(9).startsWith("204"))
            return Finish_With({});
        if (chunked)
            return Chunked_State(body, incomplete);
        if (length >= 0) {
            if (length > Body_Limit)
                return TState::Failed;
            return body.size() >= length ? Finish_With(body.first(length)) : incomplete;
        }
        // Neither length nor chunks: the body ends with the connection.
        if (body.size() > Body_Limit)
            return TState::Failed;
        return closed ? Finish_With(body) : TState::More;
    }

    // "HTTP/1.x 2xx ...".
    static bool Is_Success(QByteArrayView status)
    {
        return status.size() >= 12 && status.startsWith("HTTP/1.") && status[8] == ' ' && status[9] == '2' &&
               std::isdigit(uchar(status[10])) && std::isdigit(uchar(status[11]));
    }

    TState Chunked_State(QByteArrayView chunks, TState incomplete)
    {
        QByteArray body;
        qsizetype at = 0;
        for (;;) {
            const qsizetype end = chunks.indexOf('\n', at);
            if (end < 0)
                return incomplete;
            QByteArrayView sizeText = chunks.sliced(at, end - at);
            if (const qsizetype extension = sizeText.indexOf(';'); extension >= 0)
                sizeText.truncate(extension);
            bool ok = false;
            const qint64 size = sizeText.trimmed().toLongLong(&ok, 16);
            if (!ok || size < 0 || size > Body_Limit - body.size())
                return TState::Failed;
            at = end + 1;
            if (size == 0)
                break;
            // The chunk and its line end.
            if (chunks.size() - at < size + 1)
                return incomplete;
            body += chunks.sliced(at, size);
            at += size;
            const qsizetype lineEnd = chunks.indexOf('\n', at);
            if (lineEnd < 0)
                return incomplete;
            at = lineEnd + 1;
        }
        // Trailer lines, up to the empty line.
        for (;;) {
            const qsizetype end = chunks.indexOf('\n', at);
            if (end < 0)
                return incomplete;
            const QByteArrayView line = chunks.sliced(at, end - at);
            at = end + 1;
            if (line.isEmpty() || line == "\r")
                return Finish_With(body);
        }
    }

    TState Finish_With(QByteArrayView body)
    {
        Body = body.toByteArray();
        return TState::Done;
    }

    // Once: the socket closed at once and nothing left running; the answer delivered from the event loop, since
    // the receiver may destroy the owner and with it this object.
    void End(bool answered)
    {
        if (Ended)
            return;
        Ended = true;
        Deadline->stop();
        disconnect(Socket, nullptr, this, nullptr);
        Socket->abort();
        deleteLater();
        if (Receiver)
            QMetaObject::invokeMethod(
                Receiver, [done = std::move(Done), body = answered ? Body : QByteArray()] { done(body); },
                Qt::QueuedConnection);
    }

    const qint64 Answer_Limit;
    const qint64 Body_Limit;
    const QPointer<QObject> Receiver;
    std::function<void(const QByteArray &body)> Done;
    QTcpSocket *Socket = nullptr;
    QTimer *Deadline = nullptr;
    QByteArray Answer;
    QByteArray Body;
    bool Ended = false;
};

void Get_Text(QObject *owner, const QUrl &url, int timeoutMs, qint64 answerLimit, qint64 bodyLimit, QObject *context,
              std::function<void(const QByteArray &body)> done)
{
    // Owned by owner and gone when it ends, or with owner.
    new TText_Request(owner, url, timeoutMs, answerLimit, bodyLimit, context, std::move(done));
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
