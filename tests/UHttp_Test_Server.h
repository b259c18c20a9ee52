#pragma once

// A small HTTP server on 127.0.0.1 for the version check's tests: it records every request it receives and
// answers each with the response it was given, or never answers at all.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
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

private:
    void Serve(QTcpSocket *socket)
    {
        socket->setParent(this);
        auto *received = new QByteArray;
        connect(socket, &QObject::destroyed, this, [received] { delete received; });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, received] {
            received->append(socket->readAll());
            const qsizetype end = received->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            Requests.append(Parse(received->left(end)));
            received->clear();
            if (Answer.isEmpty())
                return;
            socket->write(Answer);
            socket->disconnectFromHost();
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
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
