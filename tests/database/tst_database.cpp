#include "PgTestServer.h"

#include "common/db/Database.h"

#include <QTcpServer>
#include <QtTest>

using namespace vx8;
using namespace vx8::db;
using vx8::test::PgTestServer;
using vx8::test::ScratchDatabase;

namespace {
// A loopback port nobody listens on.
QString closedPort()
{
    QTcpServer s;
    if (!s.listen(QHostAddress::LocalHost, 0)) {
        return QStringLiteral("1");
    }
    const quint16 p = s.serverPort();
    s.close();
    return QString::number(p);
}
} // namespace

class TstDatabase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void connectOutcomes_data();
    void connectOutcomes();
    void valuesAreBoundNotPasted_data();
    void valuesAreBoundNotPasted();
    void columnsByNameIgnoreCase();
    void nullsAndConversions();
    void statementErrorsAreResults();
    void transactionCommitsOrRollsBack();
    void insertReturningGivesTheKey();
    void lostConnectionIsReported();
    void schemaHasEveryTableAndSequence_data();
    void schemaHasEveryTableAndSequence();
};

void TstDatabase::initTestCase()
{
    QVERIFY2(PgTestServer::instance().loaded(), qPrintable(PgTestServer::instance().error()));
}

void TstDatabase::connectOutcomes_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("kind");
    QTest::newRow("connected") << QString() << int(ErrorKind::None);
    QTest::newRow("wrong password") << QStringLiteral("password") << int(ErrorKind::Connect);
    QTest::newRow("unknown user") << QStringLiteral("user") << int(ErrorKind::Connect);
    QTest::newRow("unknown database") << QStringLiteral("database") << int(ErrorKind::Connect);
    QTest::newRow("server down") << QStringLiteral("closed port") << int(ErrorKind::Connect);
    QTest::newRow("port not a number") << QStringLiteral("port text") << int(ErrorKind::Settings);
    QTest::newRow("port empty") << QStringLiteral("port empty") << int(ErrorKind::Settings);
    QTest::newRow("no server name") << QStringLiteral("server empty") << int(ErrorKind::Settings);
}

void TstDatabase::connectOutcomes()
{
    QFETCH(QString, change);
    QFETCH(int, kind);
    TDBSettings s = PgTestServer::instance().settings();
    if (change == QLatin1String("password")) {
        s.Password += QStringLiteral("x");
    } else if (change == QLatin1String("user")) {
        s.UserName = QStringLiteral("nobody_here");
    } else if (change == QLatin1String("database")) {
        s.DatabaseName = QStringLiteral("no_such_db");
    } else if (change == QLatin1String("closed port")) {
        s.ServerPort = closedPort();
    } else if (change == QLatin1String("port text")) {
        s.ServerPort = QStringLiteral("54x2");
    } else if (change == QLatin1String("port empty")) {
        s.ServerPort.clear();
    } else if (change == QLatin1String("server empty")) {
        s.ServerName.clear();
    }
    Connection c(s);
    const bool expectOpen = kind == int(ErrorKind::None);
    QCOMPARE(c.open(), expectOpen);
    QCOMPARE(int(c.lastErrorKind()), kind);
    QCOMPARE(c.isOpen(), expectOpen);
    if (expectOpen) {
        const Rows r = c.query(QStringLiteral("SHOW client_encoding"));
        QVERIFY2(r.ok(), qPrintable(c.lastError()));
        QCOMPARE(r.first().text(QStringLiteral("client_encoding")), QStringLiteral("UTF8"));
    } else {
        QVERIFY(!c.lastError().isEmpty());
        // A query on a connection that cannot open fails the same way, without an exception.
        QVERIFY(!c.query(QStringLiteral("SELECT 1")).ok());
    }
}

void TstDatabase::valuesAreBoundNotPasted_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("apostrophe") << QStringLiteral("O'Brien's dock");
    QTest::newRow("injection") << QStringLiteral("' OR '1'='1");
    QTest::newRow("backslash") << QStringLiteral("x\\");
    QTest::newRow("statement") << QStringLiteral("'); DROP TABLE results; --");
    QTest::newRow("dollar") << QStringLiteral("$1 $$ $tag$");
    QTest::newRow("unicode") << QStringLiteral("Prüfgas 50 % CH₄ ±2");
    QTest::newRow("multi-line") << QStringLiteral("line 1\r\nline 2\n\ttab");
}

void TstDatabase::valuesAreBoundNotPasted()
{
    QFETCH(QString, text);
    ScratchDatabase scratch;
    QVERIFY2(scratch.ok(), qPrintable(scratch.error()));
    // A server that still reads backslashes as escapes must not change the outcome either.
    QVERIFY(scratch.exec(QStringLiteral("ALTER DATABASE %1 SET standard_conforming_strings = off").arg(scratch.name())));
    // Nor a server that writes dates its own way.
    QVERIFY(scratch.exec(QStringLiteral("ALTER DATABASE %1 SET DateStyle = 'SQL, DMY'").arg(scratch.name())));
    Connection c(scratch.settings());
    const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7));
    QVERIFY2(c.exec(QStringLiteral("INSERT INTO results (SystemCode, Test_Report, Result, Date_Time, Serial_Number, Model) "
                                   "VALUES ($1, $2, $3, $4, $5, $6)"),
                    {text, text, QStringLiteral("PASS"), when, QStringLiteral("000012345"), 15}),
             qPrintable(c.lastError()));
    const Rows r = c.query(QStringLiteral("SELECT * FROM results WHERE date_time = $1 AND model = $2 AND serial_number = $3"),
                           {when, 15, QStringLiteral("000012345")});
    QVERIFY2(r.ok(), qPrintable(c.lastError()));
    QCOMPARE(r.size(), 1);
    QCOMPARE(r.first().text(QStringLiteral("Test_Report")), text);
    QCOMPARE(r.first().text(QStringLiteral("SystemCode")), text);
    QCOMPARE(r.first().toDateTime(QStringLiteral("Date_Time")), when);
    const Rows all = c.query(QStringLiteral("SELECT count(*) AS n FROM results"));
    QCOMPARE(all.first().toInt(QStringLiteral("n")), 1);
}

void TstDatabase::columnsByNameIgnoreCase()
{
    Connection c(PgTestServer::instance().settings());
    const Rows r = c.query(QStringLiteral("SELECT * FROM db_version LIMIT 1"));
    QVERIFY2(r.ok(), qPrintable(c.lastError()));
    QCOMPARE(r.size(), 1);
    const Row row = r.first();
    QCOMPARE(row.toInt(QStringLiteral("db_version")), 23);
    QCOMPARE(row.toInt(QStringLiteral("DB_Version")), 23);
    QCOMPARE(row.toInt(QStringLiteral("VX8_REQ")), 230);
    QVERIFY(!row.has(QStringLiteral("no_such_column")));
    QVERIFY(row.isNull(QStringLiteral("no_such_column")));
    QCOMPARE(row.toInt(QStringLiteral("no_such_column"), -999), -999);
    // Tables named as the statements spell them.
    const Rows t = c.query(QStringLiteral("SELECT InstrNumber, Instrument_Type, DefaultTemplate FROM InstrDetails WHERE Instrument_Type = $1"),
                           {QStringLiteral("K7")});
    QVERIFY2(t.ok(), qPrintable(c.lastError()));
    QCOMPARE(t.first().toInt(QStringLiteral("InstrNumber")), 15);
    QVERIFY(t.first().toInt(QStringLiteral("defaulttemplate")) > 0);
}

void TstDatabase::nullsAndConversions()
{
    Connection c(PgTestServer::instance().settings());
    const Rows r = c.query(QStringLiteral("SELECT $1::integer AS a, $2::boolean AS b, $3::boolean AS c, $4::text AS d, "
                                          "$5::timestamp AS e, $6::date AS f, $7::double precision AS g, $8::bigint AS h"),
                           {QVariant(), true, false, QString(), QDateTime(QDate(1990, 1, 1), QTime(0, 0)),
                            QDate(2031, 12, 31), 2.5, qint64(-2147483647) - 1});
    QVERIFY2(r.ok(), qPrintable(c.lastError()));
    const Row row = r.first();
    QVERIFY(row.isNull(QStringLiteral("a")));
    QVERIFY(!row.value(QStringLiteral("a")).isValid());
    QCOMPARE(row.toInt(QStringLiteral("a"), -999), -999);
    QCOMPARE(row.toBool(QStringLiteral("b")), true);
    QCOMPARE(row.toBool(QStringLiteral("c"), true), false);
    QVERIFY(!row.isNull(QStringLiteral("d"))); // an empty text is not NULL
    QCOMPARE(row.text(QStringLiteral("d"), QStringLiteral("x")), QString());
    QCOMPARE(row.toDateTime(QStringLiteral("e")), QDateTime(QDate(1990, 1, 1), QTime(0, 0)));
    QCOMPARE(row.toDateTime(QStringLiteral("f")), QDateTime(QDate(2031, 12, 31), QTime(0, 0)));
    QCOMPARE(row.toDouble(QStringLiteral("g")), 2.5);
    QCOMPARE(row.toInt(QStringLiteral("h")), std::numeric_limits<int>::min());
    // Whole numbers from numeric columns; fractions are not integers.
    const Rows n = c.query(QStringLiteral("SELECT 230.00::numeric AS whole, 2.5::numeric AS half, 'abc' AS word"));
    QCOMPARE(n.first().toInt(QStringLiteral("whole")), 230);
    QVERIFY(!n.first().integer(QStringLiteral("half")).has_value());
    QCOMPARE(n.first().toInt(QStringLiteral("word"), -999), -999);
    // Integer columns used as flags.
    const Rows f = c.query(QStringLiteral("SELECT 1 AS one, 0 AS zero"));
    QVERIFY(f.first().toBool(QStringLiteral("one")));
    QVERIFY(!f.first().toBool(QStringLiteral("zero"), true));
}

void TstDatabase::statementErrorsAreResults()
{
    Connection c(PgTestServer::instance().settings());
    const Rows r = c.query(QStringLiteral("SELECT * FROM no_such_table"));
    QVERIFY(!r.ok());
    QCOMPARE(int(c.lastErrorKind()), int(ErrorKind::Statement));
    QCOMPARE(c.lastSqlState(), QStringLiteral("42P01"));
    QVERIFY(c.lastError().contains(QStringLiteral("no_such_table")));
    // Wrong parameter count and a bad value: results, not exceptions; the connection stays usable.
    QVERIFY(!c.exec(QStringLiteral("SELECT $1::integer"), {QStringLiteral("abc")}));
    QVERIFY(!c.exec(QStringLiteral("SELECT $1, $2"), {1}));
    const Rows ok = c.query(QStringLiteral("SELECT 42 AS answer"));
    QVERIFY(ok.ok());
    QCOMPARE(ok.first().toInt(QStringLiteral("answer")), 42);
    QCOMPARE(int(c.lastErrorKind()), int(ErrorKind::None));
}

void TstDatabase::transactionCommitsOrRollsBack()
{
    ScratchDatabase scratch;
    QVERIFY2(scratch.ok(), qPrintable(scratch.error()));
    Connection c(scratch.settings());
    auto count = [&] {
        Connection other(scratch.settings());
        return other.query(QStringLiteral("SELECT count(*) AS n FROM results")).first().toInt(QStringLiteral("n"), -1);
    };
    const QString insert = QStringLiteral("INSERT INTO results (Result, Date_Time, Serial_Number, Model) VALUES ('PASS', $1, $2, 15)");
    const QDateTime t(QDate(2026, 1, 2), QTime(3, 4, 5));

    // Committed.
    QVERIFY(c.transaction([&] {
        return c.lockKey(QStringLiteral("K7 000000001")) && c.exec(insert, {t, QStringLiteral("000000001")}) &&
               c.exec(insert, {t, QStringLiteral("000000002")});
    }));
    QCOMPARE(count(), 2);

    // A failing statement (the duplicate guard) rolls back the whole group.
    QVERIFY(!c.transaction([&] {
        c.exec(insert, {t, QStringLiteral("000000003")});
        c.exec(insert, {t, QStringLiteral("000000001")});
        return true;
    }));
    QCOMPARE(c.lastSqlState(), QStringLiteral("23505"));
    QCOMPARE(count(), 2);

    // The body saying no rolls back too.
    QVERIFY(!c.transaction([&] {
        c.exec(insert, {t, QStringLiteral("000000004")});
        return false;
    }));
    QCOMPARE(count(), 2);
    QVERIFY(!c.inTransaction());

    // Nested calls join the outer one.
    QVERIFY(c.transaction([&] {
        return c.transaction([&] { return c.exec(insert, {t, QStringLiteral("000000005")}); });
    }));
    QCOMPARE(count(), 3);
}

void TstDatabase::insertReturningGivesTheKey()
{
    ScratchDatabase scratch;
    QVERIFY2(scratch.ok(), qPrintable(scratch.error()));
    Connection c(scratch.settings());
    const QString sql = QStringLiteral("INSERT INTO eventdata (instrument_type, instr_serial_number, starttime, duration) "
                                       "VALUES ($1, $2, $3, $4) RETURNING evtidx");
    const auto first = c.insertReturning(sql, {QStringLiteral("K7"), QStringLiteral("000000123"), QDateTime::currentDateTime(), 5});
    QVERIFY2(first.has_value(), qPrintable(c.lastError()));
    const auto second = c.insertReturning(sql, {QStringLiteral("K7"), QStringLiteral("000000123"), QDateTime::currentDateTime(), 6});
    QVERIFY(second.has_value());
    QCOMPARE(*second, *first + 1);
    // An INSERT without RETURNING has no key to give.
    QVERIFY(!c.insertReturning(QStringLiteral("INSERT INTO eventsensors (evtidx) VALUES ($1)"), {*first}).has_value());
}

void TstDatabase::lostConnectionIsReported()
{
    Connection c(PgTestServer::instance().settings());
    const Rows me = c.query(QStringLiteral("SELECT pg_backend_pid() AS pid"));
    QVERIFY(me.ok());
    Connection admin(PgTestServer::instance().adminSettings());
    QVERIFY2(admin.exec(QStringLiteral("SELECT pg_terminate_backend($1)"), {me.first().toInt(QStringLiteral("pid"))}),
             qPrintable(admin.lastError()));
    QVERIFY(!c.query(QStringLiteral("SELECT 1")).ok());
    QCOMPARE(int(c.lastErrorKind()), int(ErrorKind::Lost));
    QVERIFY(!c.isOpen());
    // The next operation opens a new connection.
    QVERIFY(c.query(QStringLiteral("SELECT 1")).ok());
}

void TstDatabase::schemaHasEveryTableAndSequence_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("sequence");
    QTest::newRow("db_version") << "db_version" << "";
    QTest::newRow("emailoptions") << "emailoptions" << "";
    QTest::newRow("users") << "users" << "";
    QTest::newRow("voc_info") << "voc_info" << "voc_info_voc_infoidx_seq";
    QTest::newRow("InstrDetails") << "InstrDetails" << "";
    QTest::newRow("Templates") << "Templates" << "templates_templateid_seq";
    QTest::newRow("instrdefaults") << "instrdefaults" << "";
    QTest::newRow("AutoCalGasRanges") << "AutoCalGasRanges" << "";
    QTest::newRow("Instrument_information") << "Instrument_Information" << "";
    QTest::newRow("kor7") << "kor7" << "kor7_kor7idx_seq";
    QTest::newRow("SensorData") << "SensorData" << "";
    QTest::newRow("results") << "results" << "";
    QTest::newRow("eventdata") << "eventdata" << "eventdata_evtidx_seq";
    QTest::newRow("eventsensors") << "eventsensors" << "eventsensors_evtsenidx_seq";
    QTest::newRow("sesdata") << "sesdata" << "sesdata_sesidx_seq";
    QTest::newRow("sessensors") << "sessensors" << "sessensors_sessensorsidx_seq";
    QTest::newRow("dldata") << "dldata" << "dldata_dlidx_seq";
    QTest::newRow("dlsensors") << "dlsensors" << "dlsensors_dlsensorsidx_seq";
}

void TstDatabase::schemaHasEveryTableAndSequence()
{
    QFETCH(QString, table);
    QFETCH(QString, sequence);
    Connection c(PgTestServer::instance().settings());
    // Table names cannot be parameters; these come from the table above.
    QVERIFY2(c.query(QStringLiteral("SELECT * FROM %1 LIMIT 1").arg(table)).ok(), qPrintable(c.lastError()));
    if (!sequence.isEmpty()) {
        const Rows r = c.query(QStringLiteral("SELECT count(*) AS n FROM pg_class WHERE relkind = 'S' AND relname = $1"), {sequence});
        QCOMPARE(r.first().toInt(QStringLiteral("n")), 1);
    }
}

QTEST_GUILESS_MAIN(TstDatabase)
#include "tst_database.moc"
