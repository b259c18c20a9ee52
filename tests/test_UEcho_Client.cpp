// The echo check: its attempts and outcome with a device played by a fake client, and the system's ICMP
// client against the loopback address.

#include "UEcho_Client.h"
#include "UNetwork.h"

#include "UFake_Echo_Client.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

class Test_UEcho_Client : public QObject
{
    Q_OBJECT

private slots:
    void The_check_follows_the_device_data()
    {
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<int>("then");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<int>("pingRes");
        QTest::addColumn<int>("attempts");
        using F = TFake_Echo_Client;
        QTest::newRow("an answering device ends the check after two replies") << QList<int>{} << 32 << true << 1 << 2;
        QTest::newRow("a reply after a silent attempt: three attempts")
            << QList<int>{0, 32, 32} << 32 << true << 1 << 3;
        QTest::newRow("a request that cannot be sent ends the check, ping_res kept")
            << QList<int>{32, F::Fail} << 32 << false << 1 << 2;
        QTest::newRow("a failure at the first request leaves ping_res 0")
            << QList<int>{F::Fail} << 32 << false << 0 << 1;
    }

    void The_check_follows_the_device()
    {
        QFETCH(QList<int>, answers);
        QFETCH(int, then);
        QFETCH(bool, answered);
        QFETCH(int, pingRes);
        QFETCH(int, attempts);
        TFake_Echo_Client client;
        client.Answers = answers;
        client.Then = then;
        TEcho_Check check(&client);
        QCOMPARE(Run_Echo_Check(check, QStringLiteral("192.168.2.205")), answered);
        QCOMPARE(check.ping_res, pingRes);
        QCOMPARE(check.Attempts, attempts);
        QCOMPARE(client.Hosts, QList<QString>{QStringLiteral("192.168.2.205")});
        for (const QByteArray &payload : std::as_const(client.Payloads))
            QCOMPARE(payload, QByteArray("abcdefghijklmnopqrstuvwa"));
    }

    void A_silent_device_is_tried_for_about_five_seconds()
    {
        TFake_Echo_Client client; // never answers: each attempt waits out its 400 ms
        TEcho_Check check(&client);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!Run_Echo_Check(check, QStringLiteral("10.0.0.9")));
        QCOMPARE(check.ping_res, 2);
        QVERIFY2(clock.elapsed() >= 5000 && clock.elapsed() < 6500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(check.Attempts >= 11 && check.Attempts <= 14, qPrintable(QString::number(check.Attempts)));
    }

    void An_unusable_host_ends_the_check_at_once()
    {
        TFake_Echo_Client client;
        client.Host_Fails = true;
        TEcho_Check check(&client);
        QVERIFY(!Run_Echo_Check(check, QStringLiteral("x")));
        QCOMPARE(check.ping_res, 0);
        QCOMPARE(check.Attempts, 0);
        QVERIFY(!check.Failure.isEmpty());
    }

    void An_aborted_check_ends_unanswered()
    {
        TFake_Echo_Client client;
        TEcho_Check check(&client);
        QTimer::singleShot(100, &check, &TEcho_Check::Abort);
        QVERIFY(!Run_Echo_Check(check, QStringLiteral("10.0.0.9")));
        QVERIFY(check.Aborted());
        QVERIFY(!check.Running());
    }

    void Texts_that_are_no_address_are_refused_without_a_lookup_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("ready");
        QTest::newRow("a dotted address") << QStringLiteral("127.0.0.1") << true;
        QTest::newRow("a name of the hosts file") << QStringLiteral("localhost") << true;
        QTest::newRow("an octet beyond 255") << QStringLiteral("10.0.0.300") << false;
        QTest::newRow("an empty octet") << QStringLiteral("192.168..205") << false;
        QTest::newRow("empty edits") << QStringLiteral("...") << false;
        QTest::newRow("nothing") << QString() << false;
        QTest::newRow("markup and blanks") << QStringLiteral("<b>1</b>.0.0 .1") << false;
    }

    void Texts_that_are_no_address_are_refused_without_a_lookup()
    {
        QFETCH(QString, host);
        QFETCH(bool, ready);
        TIcmp_Echo_Client client;
        QSignalSpy readySpy(&client, &TEcho_Client::Host_Ready);
        QSignalSpy failedSpy(&client, &TEcho_Client::Failed);
        client.Set_Host(host);
        // Every answer comes through the event loop, never from inside the call.
        QCOMPARE(readySpy.size() + failedSpy.size(), 0);
        QVERIFY(QTest::qWaitFor([&] { return readySpy.size() + failedSpy.size() > 0; }, 5000));
        QCOMPARE(readySpy.size(), ready ? 1 : 0);
    }

    void The_loopback_address_answers_a_real_echo_request_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("127.0.0.1") << QStringLiteral("127.0.0.1");
        QTest::newRow("localhost") << QStringLiteral("localhost");
    }

    void The_loopback_address_answers_a_real_echo_request()
    {
        QFETCH(QString, host);
        TIcmp_Echo_Client client;
        TEcho_Check check(&client);
        const bool answered = Run_Echo_Check(check, host);
        if (!answered && check.Failure.startsWith(QStringLiteral("no ICMP socket")))
            QSKIP(qPrintable(QStringLiteral("neither ICMP socket kind opens here: ") + check.Failure));
        QVERIFY2(answered, qPrintable(check.Failure));
        QCOMPARE(check.ping_res, 1);
        QCOMPARE(check.Replies, 2);
        QCOMPARE(check.Attempts, 2);
        qInfo("socket kind: %s", qPrintable(client.Socket_Kind()));
    }

    void Without_its_network_module_the_check_says_why()
    {
        // A window program whose network module is missing: none lies beside this test.
        Use_Network_Services(nullptr);
        TIcmp_Echo_Client client;
        TEcho_Check check(&client);
        const bool answered = Run_Echo_Check(check, QStringLiteral("127.0.0.1"));
        Use_Network_Services(Quillon_Network_Services());
        QVERIFY(!answered);
        QVERIFY2(check.Failure.startsWith(QStringLiteral("the network module cannot be loaded: ")),
                 qPrintable(check.Failure));
        QCOMPARE(check.Attempts, 0);
    }
};

QTEST_GUILESS_MAIN(Test_UEcho_Client)
#include "test_UEcho_Client.moc"
