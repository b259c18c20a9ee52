#pragma once

// A small HTTP server on 127.0.0.1 for the version check's tests: it records every request it receives and
// answers each with the response it was given, never answers at all, or answers without end (a header or a
// body that never ends, sent as fast as the client reads or a few bytes at a time) until the client closes
// the connection.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

class THttp_Test_Server : public QObject
{
public:
    struct TRequest
    {
        QByteArray Method;
        QByteArray Target;                    // path and query
        QMap<QByteArray, QByteArray> Headers; // names in lower case
    };

    THttp_Test_Server()
    {
        Server.listen(QHostAddress::LocalHost, 0);
        connect(&Server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = Server.nextPendingConnection())
                Serve(socket);
        });
    }

    bool Listening() const { return Server.isListening(); }
    // The site to point the check at.
    QUrl Site() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(Server.serverPort())); }

    // A complete response with the given status line, extra header lines and body.
    static QByteArray Response(const QByteArray &status, const QByteArray &body,
                               const QByteArray &headers = QByteArray())
    {
        return "HTTP/1.1 " + status +
               "\r\nContent-Type: text/html\r\nContent-Length: " + QByteArray::number(body.size()) +
               "\r\nConnection: close\r\n" + headers + "\r\n" + body;
    }
    static QByteArray Ok(const QByteArray &body, const QByteArray &headers = QByteArray())
    {
        return Response("200 OK", body, headers);
    }

    // What every request is answered with; empty: the server reads the request and never answers.
    QByteArray Answer;
    QList<TRequest> Requests;

    // An answer that never ends, in place of Answer.
    enum class TEndless
    {
        No,
        Header,
        Body
    };
    TEndless Endless = TEndless::No;
    // Bytes of it sent at a time: a flood keeps a chunk in flight whenever the client has taken the last, a
    // trickle sends one chunk every 100 ms.
    bool Trickle = false;
    // Bytes sent of endless answers, and the connections the client closed while one was being sent.
    qint64 Endless_Bytes = 0;
    int Closed_By_Client = 0;

private:
    void Serve(QTcpSocket *socket)
    {
        socket->setParent(this);
        auto *received = new QByteArray;
        // Not with this as context: the server's connections are gone by the time it destroys its sockets.
        connect(socket, &QObject::destroyed, [received] { delete received; });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, received] {
            received->append(socket->readAll());
            const qsizetype end = received->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            Requests.append(Parse(received->left(end)));
            received->clear();
            if (Endless != TEndless::No) {
                Send_Endless(socket);
                return;
            }
            if (Answer.isEmpty())
                return;
            socket->write(Answer);
            socket->disconnectFromHost();
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    void Send_Endless(QTcpSocket *socket)
    {
        // Header lines without the blank line that would end them, or a body without a length.
        const QByteArray start = Endless == TEndless::Header
                                     ? QByteArrayLiteral("HTTP/1.1 200 OK\r\n")
                                     : QByteArrayLiteral("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n");
        const QByteArray chunk = Endless == TEndless::Header ? QByteArray("X-Filler: ") + QByteArray(100, 'a') + "\r\n"
                                                             : QByteArray(128, 'a');
        socket->write(start);
        const auto more = [this, socket, chunk] {
            if (socket->state() != QAbstractSocket::ConnectedState)
                return;
            const QByteArray bytes = Trickle ? chunk : chunk.repeated(512);
            socket->write(bytes);
            Endless_Bytes += bytes.size();
        };
        // Closed by the client: its end of the connection read, or a write refused (reset).
        connect(socket, &QTcpSocket::disconnected, this, [this] { ++Closed_By_Client; });
        if (Trickle) {
            auto *timer = new QTimer(socket);
            connect(timer, &QTimer::timeout, socket, more);
            timer->start(100);
        } else {
            connect(socket, &QTcpSocket::bytesWritten, socket, [socket, more] {
                if (socket->bytesToWrite() == 0)
                    more();
            });
        }
        more();
    }

    static TRequest Parse(const QByteArray &head)
    {
        TRequest request;
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.Method = first.value(0);
        request.Target = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.Headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        return request;
    }

    QTcpServer Server;
};
