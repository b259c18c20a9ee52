// Every seed and saved finding of the fuzz targets, run through their entry points in the ordinary build.

#include "Fuzz_Targets.h"

#include <QDir>
#include <QFile>
#include <QTest>

class Test_Fuzz_Replay : public QObject
{
    Q_OBJECT

private slots:
    void Every_saved_input_passes_data();
    void Every_saved_input_passes();
};

void Test_Fuzz_Replay::Every_saved_input_passes_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<QString>("path");
    const QList<TFuzz_Target> &targets = Fuzz_Targets();
    for (int t = 0; t < targets.size(); ++t) {
        const QDir dir(QStringLiteral(QUILLON_FUZZ_CORPUS) + u'/' + QLatin1String(targets[t].Name));
        const QStringList names = dir.entryList(QDir::Files, QDir::Name);
        QVERIFY2(!names.isEmpty(), qPrintable(dir.path() + QStringLiteral(" holds no seed")));
        for (const QString &name : names)
            QTest::addRow("%s/%s", targets[t].Name, qPrintable(name)) << t << dir.filePath(name);
    }
}

void Test_Fuzz_Replay::Every_saved_input_passes()
{
    QFETCH(int, target);
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    try {
        Fuzz_Targets()[target].Entry(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
    } catch (const EFuzz_Finding &finding) {
        QFAIL(finding.what());
    }
}

QTEST_GUILESS_MAIN(Test_Fuzz_Replay)
#include "test_fuzz_replay.moc"
