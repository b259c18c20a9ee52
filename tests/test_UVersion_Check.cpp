// The version check against a server of the test's own on 127.0.0.1: the replies of the endpoint, the
// failures that count as no newer version, and the request as the server sees it.

#include "UHttp_Test_Server.h"

#include "UGround.h"
#include "USerial_Ports.h"
#include "UWorkspace.h"
#include "UNetwork.h"
#include "UVersion_Check.h"

#include <QElapsedTimer>
#include <QTest>

#include <optional>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

Q_DECLARE_METATYPE(THttp_Test_Server::TEndless)

namespace {

// Runs one check and waits for its answer; nothing when none came.
std::optional<bool> Run_Check(TVersion_Check &check, int waitMs = 15000)
{
    std::optional<bool> answer;
    int answers = 0;
    QObject context;
    check.Check_Version(&context, [&](bool newer) {
        answer = newer;
        ++answers;
    });
    if (!QTest::qWaitFor([&] { return answers > 0; }, waitMs))
        return std::nullopt;
    // Exactly one answer, also after the connection has been closed.
    QTest::qWait(50);
    if (answers != 1)
        return std::nullopt;
    return answer;
}

// CPU time the process has used, in milliseconds; -1 where it cannot be read.
qint64 Cpu_Ms()
{
#ifdef Q_OS_UNIX
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return -1;
    const auto ms = [](const timeval &t) { return qint64(t.tv_sec) * 1000 + t.tv_usec / 1000; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
#else
    return -1;
#endif
}

} // namespace

class Test_UVersion_Check : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { Set_Version_Check_Site(QUrl()); }

    void Conv_Version_reads_the_four_digits_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("the endpoint's reply") << QStringLiteral("VER. 2.010") << 2010;
        QTest::newRow("the program's version") << QStringLiteral("2.002") << 2002;
        QTest::newRow("blanks and control characters around the version")
            << QStringLiteral("VER. \t 2.010 \r\n") << 2010;
        QTest::newRow("the second character is passed over whatever it is") << QStringLiteral("2,010") << 2010;
        QTest::newRow("two digits before the point") << QStringLiteral("10.000") << -1;
        QTest::newRow("fewer than five characters after the blank") << QStringLiteral("VER. 2.1") << -1;
        QTest::newRow("no blank after the word") << QStringLiteral("VER.2.010") << -1;
        QTest::newRow("a sign is not a digit") << QStringLiteral("+.010") << -1;
        QTest::newRow("a hexadecimal prefix is not a digit") << QStringLiteral("x.abc") << -1;
        QTest::newRow("empty") << QString() << -1;
    }

    void Conv_Version_reads_the_four_digits()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(Conv_Version(text), value);
    }

    void The_addresses_come_from_the_maker_site()
    {
        QCOMPARE(Version_Endpoint_Url().toString(),
                 Maker_Site + QStringLiteral("/home/download/GetversionSW.asp?nomesw=SW40926"));
        QCOMPARE(Download_Page_Url().toString(), Maker_Site + QStringLiteral("/Home/download/download.asp#HD40926"));
        Set_Version_Check_Site(QUrl(QStringLiteral("http://127.0.0.1:8123")));
        QCOMPARE(Version_Endpoint_Url().toString(),
                 QStringLiteral("http://127.0.0.1:8123/home/download/GetversionSW.asp?nomesw=SW40926"));
        // The download page stays on the maker's site.
        QCOMPARE(Download_Page_Url().toString(), Maker_Site + QStringLiteral("/Home/download/download.asp#HD40926"));
    }

    void The_endpoint_reply_tells_whether_a_newer_version_exists_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("newer");
        using S = THttp_Test_Server;
        QTest::newRow("VER. 2.010 is newer than 2.002") << S::Ok("VER. 2.010") << true;
        QTest::newRow("VER. 2.002 is the program's own") << S::Ok("VER. 2.002") << false;
        QTest::newRow("VER. 1.990 is older") << S::Ok("VER. 1.990") << false;
        QTest::newRow("ver. 0.000 with a blank means no version") << S::Ok("ver. 0.000 ") << false;
        QTest::newRow("2.010 alone is taken whole") << S::Ok("2.010") << true;
        QTest::newRow("a reply with line ends around it") << S::Ok("\r\n VER. 2.010\r\n") << true;
        QTest::newRow("VER. 2.1 is no version") << S::Ok("VER. 2.1") << false;
        QTest::newRow("an empty body") << S::Ok("") << false;
        QTest::newRow("a 404 status whatever its body") << S::Response("404 Not Found", "VER. 2.010") << false;
        QTest::newRow("a 500 status") << S::Response("500 Internal Server Error", "VER. 2.010") << false;
        QTest::newRow("a body far longer than a version") << S::Ok("VER. 2.010" + QByteArray(8000, ' ')) << false;
        QTest::newRow("a body in chunks")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                          "5\r\nVER. \r\n5;name=value\r\n2.010\r\n0\r\n\r\n")
            << true;
        QTest::newRow("a chunk far longer than a version")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                          "1f40\r\nVER. 2.010" +
                          QByteArray(7990, ' ') + "\r\n0\r\n\r\n")
            << false;
        QTest::newRow("a body that ends with the connection")
            << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nVER. 2.010") << true;
        QTest::newRow("lines ended by LF alone")
            << QByteArray("HTTP/1.0 200 OK\nContent-Length: 10\n\nVER. 2.010") << true;
        QTest::newRow("a body cut short of its length")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 20\r\nConnection: close\r\n\r\nVER. 2.010") << false;
        QTest::newRow("header lines longer than a whole answer may be")
            << S::Ok("VER. 2.010", "X-Filler: " + QByteArray(Version_Answer_Limit, 'a') + "\r\n") << false;
    }

    void The_endpoint_reply_tells_whether_a_newer_version_exists()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, newer);
        THttp_Test_Server server;
        QVERIFY(server.Listening());
        server.Answer = answer;
        Set_Version_Check_Site(server.Site());
        TVersion_Check check;
        QCOMPARE(Run_Check(check), std::optional<bool>(newer));

        QCOMPARE(server.Requests.size(), 1);
        const THttp_Test_Server::TRequest &request = server.Requests[0];
        QCOMPARE(request.Method, QByteArray("GET"));
        QCOMPARE(request.Target, QByteArray("/home/download/GetversionSW.asp?nomesw=SW40926"));
        QCOMPARE(request.Headers.value("accept"),
                 QByteArray("text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8"));
        QCOMPARE(request.Headers.value("user-agent"), QByteArray("Mozilla/3.0 (compatible; Indy Library)"));
        QVERIFY(!request.Headers.contains("cookie"));
    }

    void A_redirect_is_not_followed()
    {
        THttp_Test_Server server;
        THttp_Test_Server elsewhere;
        elsewhere.Answer = THttp_Test_Server::Ok("VER. 2.010");
        server.Answer = THttp_Test_Server::Response("302 Found", "VER. 2.010",
                                                    "Location: " + elsewhere.Site().toEncoded() + "/newer\r\n");
        Set_Version_Check_Site(server.Site());
        TVersion_Check check;
        QCOMPARE(Run_Check(check), std::optional<bool>(false));
        QCOMPARE(server.Requests.size(), 1);
        QCOMPARE(elsewhere.Requests.size(), 0);
    }

    void Cookies_are_neither_kept_nor_sent()
    {
        THttp_Test_Server server;
        server.Answer = THttp_Test_Server::Ok("VER. 2.010", "Set-Cookie: session=abc; Path=/\r\n");
        Set_Version_Check_Site(server.Site());
        TVersion_Check check;
        QCOMPARE(Run_Check(check), std::optional<bool>(true));
        QCOMPARE(Run_Check(check), std::optional<bool>(true));
        QCOMPARE(server.Requests.size(), 2);
        QVERIFY(!server.Requests[1].Headers.contains("cookie"));
    }

    void A_server_that_never_answers_times_out_as_no_newer_version()
    {
        THttp_Test_Server server;
        Set_Version_Check_Site(server.Site());
        TVersion_Check check;
        QCOMPARE(check.Timeout_Ms, 10000);
        check.Timeout_Ms = 300;
        QCOMPARE(Run_Check(check, 5000), std::optional<bool>(false));
        QCOMPARE(server.Requests.size(), 1);
    }

    void An_answer_without_end_is_ended_and_its_connection_closed_data()
    {
        QTest::addColumn<THttp_Test_Server::TEndless>("endless");
        QTest::addColumn<bool>("trickle");
        QTest::addColumn<int>("timeoutMs");
        using E = THttp_Test_Server::TEndless;
        // Flooded, the size limit ends the answer; trickled, the time limit does.
        QTest::newRow("a header flooded") << E::Header << false << Version_Check_Timeout_Ms;
        QTest::newRow("a body flooded") << E::Body << false << Version_Check_Timeout_Ms;
        QTest::newRow("a header trickled") << E::Header << true << 1000;
        QTest::newRow("a body trickled") << E::Body << true << 1000;
    }

    void An_answer_without_end_is_ended_and_its_connection_closed()
    {
        QFETCH(THttp_Test_Server::TEndless, endless);
        QFETCH(bool, trickle);
        QFETCH(int, timeoutMs);
        THttp_Test_Server server;
        server.Endless = endless;
        server.Trickle = trickle;
        Set_Version_Check_Site(server.Site());
        TVersion_Check check;
        check.Timeout_Ms = timeoutMs;
        QElapsedTimer started;
        started.start();
        QCOMPARE(Run_Check(check), std::optional<bool>(false));
        // Under Wine a server that writes without a pause never learns of its peer's close; the check's own
        // side (nothing left below it, the process idle) is checked there all the same.
        bool serverSees = true;
#ifdef Q_OS_WIN
        serverSees = trickle;
#endif
        if (serverSees) {
            QVERIFY(QTest::qWaitFor([&] { return server.Closed_By_Client > 0; }, 15000 - int(started.elapsed())));
            QCOMPARE(server.Closed_By_Client, 1);
        }
        QVERIFY2(started.elapsed() < 15000, qPrintable(QString::number(started.elapsed())));
        QVERIFY(server.Endless_Bytes > 0);

        // Nothing of the check runs on: no socket or timer left below it, the process idle (a loop that kept
        // reading would take a core's worth of the wait).
        QCOMPARE(check.findChildren<QObject *>().size(), 0);
        const qint64 before = Cpu_Ms();
        QTest::qWait(1000);
        if (before >= 0)
            QVERIFY2(Cpu_Ms() - before < 500, qPrintable(QString::number(Cpu_Ms() - before)));
        if (serverSees)
            QCOMPARE(server.Closed_By_Client, 1);
    }

    void A_refused_connection_is_no_newer_version()
    {
        QUrl site;
        {
            THttp_Test_Server closed;
            site = closed.Site();
        }
        Set_Version_Check_Site(site);
        TVersion_Check check;
        QCOMPARE(Run_Check(check), std::optional<bool>(false));
    }

    void No_answer_reaches_a_receiver_that_is_gone()
    {
        THttp_Test_Server server;
        server.Answer = THttp_Test_Server::Ok("VER. 2.010");
        Set_Version_Check_Site(server.Site());
        TVersion_Check check;
        bool answered = false;
        {
            QObject context;
            check.Check_Version(&context, [&](bool) { answered = true; });
        }
        QVERIFY(QTest::qWaitFor([&] { return server.Requests.size() == 1; }, 5000));
        QTest::qWait(200);
        QVERIFY(!answered);
    }

    void The_window_program_checks_through_its_network_module()
    {
        // The window program has no network code of its own: it loads the module that lies beside it (copied
        // beside this test when the test was built), as here with the linked services set aside.
        Use_Network_Services(nullptr);
        QString reason;
        const TNetwork_Services *module = Network_Services(&reason);
        Use_Network_Services(Quillon_Network_Services());
        QVERIFY2(module, qPrintable(reason));
        QVERIFY(module != Quillon_Network_Services());

        THttp_Test_Server server;
        server.Answer = THttp_Test_Server::Ok("VER. 9.999");
        Set_Version_Check_Site(server.Site());
        Use_Network_Services(module);
        TVersion_Check check;
        const std::optional<bool> newer = Run_Check(check);
        quint32 address = 0;
        const bool parsed = module->Parse_Ipv4(QStringLiteral("192.168.2.205"), address);
        Use_Network_Services(Quillon_Network_Services());
        QCOMPARE(newer, std::optional<bool>(true));
        QCOMPARE(server.Requests.size(), 1);
        QVERIFY(parsed);
        QCOMPARE(address, 0xC0A802CDu);
    }
};

QTEST_GUILESS_MAIN(Test_UVersion_Check)
#include "test_UVersion_Check.moc"
