#include "app/dockdefs/DockDefDatabase.h"
#include "app/dockdefs/DockEnumerator.h"
#include "common/Prompter.h"
#include "TestSupport.h"

#include <QFile>
#include <QNetworkDatagram>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUdpSocket>
#include <QtTest>

using namespace vx8;

namespace {

// Runs SQL on the file directly, as a person with sqlite3 would.
QVariantList sql(const QString& path, const QString& statement, bool* ok = nullptr)
{
    QVariantList values;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("direct"));
        db.setDatabaseName(path);
        db.open();
        QSqlQuery q(db);
        const bool done = q.exec(statement);
        if (ok) {
            *ok = done;
        }
        while (q.next()) {
            values.append(q.value(0));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("direct"));
    return values;
}

void addRow(const QString& path, const QString& serial, const QString& address, const QString& mode)
{
    bool ok = false;
    sql(path,
        QStringLiteral("INSERT INTO DockDef (DockSerialNum, DockType, \"IP Address\", \"Network Connection\", Alias) "
                       "VALUES ('%1', 15, '%2', '%3', '')")
            .arg(serial, address, mode),
        &ok);
    QVERIFY(ok);
}

QString FormatDockSerialForTest(int n)
{
    return QStringLiteral("%1").arg(n, 5, 10, QLatin1Char('0'));
}

quint16 freeUdpPort()
{
    QUdpSocket s;
    s.bind(QHostAddress::LocalHost, 0);
    return s.localPort();
}

} // namespace

class TestDockDefs : public QObject
{
    Q_OBJECT

private:
    UnattendedPrompter prompter;

private Q_SLOTS:
    void init()
    {
        prompter.setEcho(false);
        prompter.clear();
    }

    void missingFileIsNotCreated()
    {
        test::TempHome home;
        DockDefDatabase db;
        QCOMPARE(db.path(), home.path(QStringLiteral("DockSetup/DockSetup.db")));
        QVERIFY(!db.folderExists());
        QVERIFY(QDir().mkpath(home.path(QStringLiteral("DockSetup"))));
        QVERIFY(db.folderExists());
        QVERIFY(!db.fileExists());
        QString status;
        QVERIFY(!db.UpdateDockDatabase(true, &status));
        QCOMPARE(status, QStringLiteral("Dock Setup Database Update Failed!!!!"));
        QStringList remote;
        QVERIFY(!db.LoadNetworkDockDef(true, remote, &status));
        QCOMPARE(status, QStringLiteral("Dock Setup Database Connection Failed!!!!"));
        QVERIFY(!db.GetListeningDockList(true, remote, &status));
        const auto r = db.UpdateDockInfo(true, QStringLiteral("00012"), QStringLiteral("127.0.0.2"), &prompter);
        QVERIFY(r.failed);
        QCOMPARE(prompter.texts(), QStringList{QStringLiteral("Dock Setup Database Connection Failed")});
        QVERIFY(!db.fileExists());
        // With network docks disabled the readers do nothing.
        status.clear();
        QVERIFY(db.UpdateDockDatabase(false, &status));
        QVERIFY(!db.LoadNetworkDockDef(false, remote, &status));
        QVERIFY(status.isEmpty() || status.contains(QLatin1String("Connection")));
        QVERIFY(!db.fileExists());
    }

    void upgradesSchemaOne()
    {
        test::TempHome home;
        DockDefDatabase db;
        QVERIFY(DockDefDatabase::create(db.path(), 1));
        addRow(db.path(), QStringLiteral("00001"), QStringLiteral("127.0.0.2"), QStringLiteral("LIVE"));
        addRow(db.path(), QStringLiteral("00002"), QStringLiteral("127.0.0.3"), QStringLiteral("DISABLED"));
        const QString before = sql(db.path(), QStringLiteral("SELECT information FROM db_version")).value(0).toString();
        // A file copied in readable by all is kept for its owner only once opened.
        QFile::setPermissions(db.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                             | QFileDevice::ReadOther);
        QString status;
        QVERIFY(db.UpdateDockDatabase(true, &status, QStringLiteral("yyyy-MM-dd hh:mm:ss")));
        QCOMPARE(sql(db.path(), QStringLiteral("SELECT db_version FROM db_version")), QVariantList{2});
        QCOMPARE(sql(db.path(), QStringLiteral("SELECT UpdateDockName FROM DockDef")), (QVariantList{0, 0}));
        const QString after = sql(db.path(), QStringLiteral("SELECT information FROM db_version")).value(0).toString();
        QVERIFY(after.startsWith(before + QStringLiteral("\r\n")));
        QVERIFY(after.endsWith(QStringLiteral(": Updated database to version 2")));
        QCOMPARE(after.count(QStringLiteral("\r\n")), 1);
        // A second start finds version 2 and changes nothing.
        QVERIFY(db.UpdateDockDatabase(true, &status));
        QCOMPARE(sql(db.path(), QStringLiteral("SELECT information FROM db_version")).value(0).toString(), after);
        const QFileDevice::Permissions mode = QFile::permissions(db.path());
        QVERIFY(mode.testFlag(QFileDevice::ReadOwner) && mode.testFlag(QFileDevice::WriteOwner));
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                                                | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
        QVERIFY(!(mode & others));
    }

    void readersListByMode()
    {
        test::TempHome home;
        DockDefDatabase db;
        QVERIFY(DockDefDatabase::create(db.path()));
        QString status;
        QStringList listening{QStringLiteral("kept")};
        QVERIFY(db.GetListeningDockList(true, listening, &status));
        QCOMPARE(listening, QStringList{QStringLiteral("kept")}); // no LISTENING row: list kept

        addRow(db.path(), QStringLiteral("00030"), QStringLiteral("127.0.0.4"), QStringLiteral("LIVE"));
        addRow(db.path(), QStringLiteral("00010"), QStringLiteral("127.0.0.2"), QStringLiteral("live"));
        addRow(db.path(), QStringLiteral("00020"), QStringLiteral("127.0.0.3"), QStringLiteral("LISTENING"));
        addRow(db.path(), QStringLiteral("00040"), QStringLiteral("000.000.000.000"), QStringLiteral("LIVE"));
        addRow(db.path(), QStringLiteral("00050"), QStringLiteral("127.000.000.002"), QStringLiteral("LIVE"));
        addRow(db.path(), QStringLiteral("00060"), QStringLiteral("127.0.0.9"), QStringLiteral("DISABLED"));
        addRow(db.path(), QStringLiteral("00070"), QStringLiteral("127.0.0.10"), QStringLiteral("LISTENING"));
        QStringList remote{QStringLiteral("127.0.0.1")};
        QVERIFY(db.LoadNetworkDockDef(true, remote, &status));
        QCOMPARE(remote, (QStringList{QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2"),
                                      QStringLiteral("127.0.0.4")}));
        QVERIFY(db.GetListeningDockList(true, listening, &status));
        QCOMPARE(listening, (QStringList{QStringLiteral("127.0.0.3"), QStringLiteral("127.0.0.10")}));
        const auto counts = db.CountRows();
        QVERIFY(counts);
        QCOMPARE(counts->all, 7);
        QCOMPARE(counts->live, 4);
        QCOMPARE(counts->listening, 2);
        QCOMPARE(counts->disabled, 1);
    }

    void updateDockInfo()
    {
        test::TempHome home;
        DockDefDatabase db;
        QVERIFY(DockDefDatabase::create(db.path()));
        addRow(db.path(), QStringLiteral("12"), QStringLiteral("127.0.0.5"), QStringLiteral("LIVE"));
        addRow(db.path(), QStringLiteral("00300"), QStringLiteral("127.0.0.6"), QStringLiteral("LISTENING"));

        auto r = db.UpdateDockInfo(true, QStringLiteral("01234"), QStringLiteral("127.0.0.2"), &prompter);
        QVERIFY(r.added && r.changed && !r.result && !r.failed);
        auto rows = db.Rows();
        QCOMPARE(rows->size(), 3);
        QCOMPARE(rows->at(0).serial, QStringLiteral("00300"));
        QCOMPARE(rows->at(1).serial, QStringLiteral("01234"));
        QCOMPARE(rows->at(1).mode, QStringLiteral("DISABLED"));
        QCOMPARE(rows->at(1).address, QStringLiteral("127.0.0.2"));
        QCOMPARE(rows->at(1).dockType, 15);
        QVERIFY(rows->at(1).alias.isEmpty());

        r = db.UpdateDockInfo(true, QStringLiteral("01234"), QStringLiteral("127.0.0.2"), &prompter);
        QVERIFY(!r.added && !r.changed && !r.failed);
        r = db.UpdateDockInfo(true, QStringLiteral("1234"), QStringLiteral("127.0.0.3"), &prompter);
        QVERIFY(!r.added && r.changed && !r.result);
        QCOMPARE(db.Rows()->at(1).address, QStringLiteral("127.0.0.3"));
        // A row stored as "12" is the same dock as 00012: its serial is rewritten (result true).
        r = db.UpdateDockInfo(true, QStringLiteral("00012"), QStringLiteral("127.0.0.5"), &prompter);
        QVERIFY(!r.added && r.changed && r.result);
        rows = db.Rows();
        QCOMPARE(rows->size(), 3);
        QCOMPARE(rows->at(0).serial, QStringLiteral("00012"));
        QCOMPARE(rows->at(0).mode, QStringLiteral("LIVE"));

        // Junk is refused before anything is written.
        for (const QString& bad : {QStringLiteral("1' OR '1'='1"), QStringLiteral("0"), QStringLiteral("100000"),
                                   QStringLiteral("12a"), QString()}) {
            r = db.UpdateDockInfo(true, bad, QStringLiteral("127.0.0.7"), &prompter);
            QVERIFY2(r.failed && !r.changed, qPrintable(bad));
        }
        r = db.UpdateDockInfo(true, QStringLiteral("00300"), QStringLiteral("127.0.0.999"), &prompter);
        QVERIFY(r.failed);
        QCOMPARE(db.Rows()->size(), 3);
        QCOMPARE(db.Rows()->at(1).address, QStringLiteral("127.0.0.6"));
        QVERIFY(prompter.texts().isEmpty());
    }


    void validateRow_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("storedSerial");
        QTest::addColumn<QString>("storedAddress");
        QTest::addColumn<QStringList>("messages");
        const QStringList none;
        QTest::newRow("short serial") << "12" << "127.0.0.2" << "LIVE" << true << "00012" << "127.0.0.2" << none;
        QTest::newRow("leading zeros") << "00300" << "010.001.002.003" << "DISABLED" << true << "00300" << "10.1.2.3" << none;
        QTest::newRow("too large") << "123456" << "127.0.0.2" << "LIVE" << false << "" << ""
                                   << QStringList{"Serial Number must a number between 1 and 99,999!"};
        QTest::newRow("zero") << "0" << "127.0.0.2" << "LIVE" << false << "" << ""
                              << QStringList{"Serial Number must a number between 1 and 99,999!"};
        QTest::newRow("letters") << "12a" << "127.0.0.2" << "LIVE" << false << "" << ""
                                 << QStringList{"Serial Number must be Numeric!"};
        QTest::newRow("bad address") << "5" << "127.0.0.256" << "DISABLED" << false << "" << ""
                                     << QStringList{"IP Address must be in xxx.xxx.xxx.xxx format and the range of xxx must be 0 to 255!"};
        const QString usbOnly = "Dock cannot not be set tp LIVE or LISTENING with IP Address of 000.000.000.000 or 0.0.0.0 .  This is probably a USB only dock.";
        QTest::newRow("live usb-only") << "5" << "0.0.0.0" << "LIVE" << false << "" << "" << QStringList{usbOnly};
        QTest::newRow("listening usb-only") << "5" << "000.000.000.000" << "LISTENING" << false << "" << "" << QStringList{usbOnly};
        QTest::newRow("disabled usb-only") << "5" << "000.000.000.000" << "DISABLED" << true << "00005" << "0.0.0.0" << none;
        QTest::newRow("no mode") << "5" << "127.0.0.2" << "" << false << "" << ""
                                 << QStringList{"A Network Connection mode must be selected!"};
        QTest::newRow("two faults") << "x" << "1.2.3" << "LIVE" << false << "" << ""
                                    << QStringList{"Serial Number must be Numeric!",
                                                   "IP Address must be in xxx.xxx.xxx.xxx format and the range of xxx must be 0 to 255!"};
    }
    void validateRow()
    {
        QFETCH(QString, serial);
        QFETCH(QString, address);
        QFETCH(QString, mode);
        QFETCH(bool, ok);
        QFETCH(QString, storedSerial);
        QFETCH(QString, storedAddress);
        QFETCH(QStringList, messages);
        DockDefDatabase::Row row;
        row.serial = serial;
        row.address = address;
        row.mode = mode;
        row.dockType = 3;
        QCOMPARE(DockDefDatabase::ValidateRow(row, QString(), DockDefDatabase::Counts{}, &prompter), ok);
        QCOMPARE(prompter.texts(), messages);
        QCOMPARE(row.dockType, 15);
        QCOMPARE(row.updateDockName, 1);
        if (ok) {
            QCOMPARE(row.serial, storedSerial);
            QCOMPARE(row.address, storedAddress);
        }
    }

    void limitCountsTheEditedRowOnce()
    {
        DockDefDatabase::Counts counts;
        counts.live = 50;
        counts.listening = 200;
        DockDefDatabase::Row row;
        row.serial = "7";
        row.address = "127.0.0.2";
        row.mode = "LIVE";
        // Already LIVE (an alias edit): allowed.
        QVERIFY(DockDefDatabase::ValidateRow(row, "LIVE", counts, &prompter));
        // Becoming the 51st LIVE dock: refused with the limit message.
        QVERIFY(!DockDefDatabase::ValidateRow(row, "DISABLED", counts, &prompter));
        QCOMPARE(prompter.texts().size(), 1);
        QVERIFY(prompter.texts().first().startsWith("The maximum number of LIVE mode docks has been exceed(50).  Please select a different mode.\r\n\r\nNote: If you want this dock(s) to operate in this mode, you can install VX8 on another computer and set it up there."));
        prompter.clear();
        row.mode = "LISTENING";
        QVERIFY(DockDefDatabase::ValidateRow(row, "listening", counts, &prompter));
        QVERIFY(!DockDefDatabase::ValidateRow(row, QString(), counts, &prompter));
        QVERIFY(prompter.texts().first().startsWith("The maximum number of LISTENING mode docks has been exceed(200)."));
    }

    void allLiveStopsAtTheLimit()
    {
        test::TempHome home;
        DockDefDatabase db;
        QVERIFY(DockDefDatabase::create(db.path()));
        prompter.addRule("Are you sure", Prompter::No);
        QVERIFY(!db.UpdateAllRecords("LIVE", &prompter));
        QVERIFY(!db.UpdateAllRecords("LIVE", &prompter)); // default answer No: nothing asked changes
        prompter.clear();
        prompter.addRule("Are you sure", Prompter::Yes);
        QVERIFY(!db.UpdateAllRecords("LIVE", &prompter));
        QCOMPARE(prompter.texts().last(), QStringLiteral("No Docks defined to edit!"));
        for (int i = 60; i >= 1; --i) {
            DockDefDatabase::Row row;
            row.serial = QString::number(i);
            row.address = QStringLiteral("127.0.1.%1").arg(i);
            row.mode = "DISABLED";
            QVERIFY(DockDefDatabase::ValidateRow(row, QString(), {}, &prompter));
            QVERIFY(db.SaveRow(row));
        }
        prompter.clear();
        for (int i = 0; i < 2; ++i)
            prompter.addRule("Are you sure", Prompter::Yes);
        QVERIFY(db.UpdateAllRecords("LIVE", &prompter));
        QCOMPARE(prompter.texts().size(), 2);
        QCOMPARE(prompter.texts().at(0), QStringLiteral("Are you sure you want to change all Network Connection to LIVE?"));
        QVERIFY(prompter.texts().at(1).startsWith("The maximum number of docks that can run in LIVE Mode is 50.  Only the first 50 docks have been changed.  The rest will be changed to DISABLED.\r\n\r\n"));
        const auto rows = db.Rows();
        QCOMPARE(rows->size(), 60);
        for (int i = 0; i < 60; ++i) {
            QCOMPARE(rows->at(i).serial, FormatDockSerialForTest(i + 1));
            QCOMPARE(rows->at(i).mode, i < 50 ? QStringLiteral("LIVE") : QStringLiteral("DISABLED"));
        }
        QVERIFY(db.UpdateAllRecords("LISTENING", &prompter));
        QCOMPARE(db.CountRows()->listening, 60);
    }

    void serialFromReply_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("serial");
        QTest::newRow("five digits") << "VX8#01234\r" << "01234";
        QTest::newRow("short number") << "VX8#12\r" << "00012";
        QTest::newRow("padded") << "VX8 # 00777 \n" << "00777";
        QTest::newRow("no hash") << "VX8 hello" << "";
        QTest::newRow("nothing after hash") << "VX8#" << "";
        QTest::newRow("last char only") << "VX8#5" << "";
        QTest::newRow("letters") << "VX8#12a4\r" << "";
        QTest::newRow("too large") << "VX8#123456\r" << "";
        QTest::newRow("zero") << "VX8#00000\r" << "";
        QTest::newRow("quote") << "VX8#1' OR '1'='1\r" << "";
        QTest::newRow("second hash") << "VX8#12#34\r" << "";
    }
    void serialFromReply()
    {
        QFETCH(QString, reply);
        QFETCH(QString, serial);
        const auto got = SerialFromDiscoveryReply(reply);
        QCOMPARE(got.value_or(QString()), serial);
    }

    void discoveryOverLoopback()
    {
        test::TempHome home;
        DockDefDatabase db;
        QVERIFY(DockDefDatabase::create(db.path()));
        const quint16 listenPort = freeUdpPort();
        QUdpSocket fakeDock;
        QVERIFY(fakeDock.bind(QHostAddress::LocalHost, 0));

        TDockEnumerator e(&prompter);
        QCOMPARE(e.ListenPort(), quint16(6461));
        QCOMPARE(e.BroadcastPort(), quint16(6462));
        QCOMPARE(e.BroadcastAddress(), QHostAddress(QHostAddress::Broadcast));
        e.SetBroadcastAddress(QHostAddress::LocalHost);
        e.SetListenAddress(QHostAddress::LocalHost);
        e.SetPorts(listenPort, fakeDock.localPort());
        e.SetRoundTime(test::scaled(1500));
        QList<DockDefDatabase::UpdateResult> registered;
        e.OnListChanged = [&](QObject*) {
            registered.append(db.RegisterDiscoveryReply(true, e.Replies().last(), e.Addresses().last(), &prompter));
        };
        e.Enumerate();
        QVERIFY(e.Listening());

        QTRY_VERIFY_WITH_TIMEOUT(fakeDock.hasPendingDatagrams(), test::scaled(5000));
        const QNetworkDatagram request = fakeDock.receiveDatagram();
        QCOMPARE(request.data(), QByteArrayLiteral("ENQ"));
        const QList<QByteArray> answers{"VX8#01234\r", "ORX#05555\r", "VX8 hello", "VX8#1' OR '1'='1\r",
                                        QByteArray("VX8#02222\r\0junk", 15)};
        for (const QByteArray& a : answers) {
            fakeDock.writeDatagram(a, QHostAddress::LocalHost, listenPort);
        }
        QTRY_COMPARE_WITH_TIMEOUT(e.Replies().size(), 4, test::scaled(5000));
        QCOMPARE(e.Replies().at(0), QStringLiteral("VX8#01234\r"));
        QCOMPARE(e.Replies().at(3), QStringLiteral("VX8#02222\r"));
        QCOMPARE(e.Addresses(), QStringList(4, QStringLiteral("127.0.0.1")));
        QCOMPARE(registered.size(), 4);
        QVERIFY(registered.at(0).added);
        QVERIFY(registered.at(1).failed && registered.at(2).failed);
        QVERIFY(registered.at(3).added);
        const auto rows = db.Rows();
        QCOMPARE(rows->size(), 2);
        QCOMPARE(rows->at(0).serial, QStringLiteral("01234"));
        QCOMPARE(rows->at(1).serial, QStringLiteral("02222"));
        QCOMPARE(rows->at(0).mode, QStringLiteral("DISABLED"));

        // The round ends by itself; answers after it are not taken.
        QTRY_VERIFY_WITH_TIMEOUT(!e.Listening(), test::scaled(10000));
        fakeDock.writeDatagram("VX8#03333\r", QHostAddress::LocalHost, listenPort);
        QTest::qWait(test::scaled(100));
        QCOMPARE(e.Replies().size(), 4);
        QVERIFY(prompter.texts().isEmpty());
    }

    void startFailureIsReported()
    {
        // The listening port is taken by a socket that does not share it.
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::LocalHost, 0, QUdpSocket::DontShareAddress));
        TDockEnumerator e(&prompter);
        e.SetBroadcastAddress(QHostAddress::LocalHost);
        e.SetListenAddress(QHostAddress::LocalHost);
        e.SetPorts(holder.localPort(), freeUdpPort());
        e.SetRoundTime(test::scaled(1000));
        e.Enumerate();
        QVERIFY(!e.Listening());
        QCOMPARE(prompter.texts(), QStringList{QStringLiteral("Could not start dock auto detection, check your network!")});
        int failed = 0;
        e.OnEnumerationStartFailed = [&](QObject*) { ++failed; };
        prompter.clear();
        e.Enumerate();
        QCOMPARE(failed, 1);
        QVERIFY(prompter.texts().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDockDefs)
#include "tst_dockdefs.moc"
