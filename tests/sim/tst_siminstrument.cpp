// The emulated instrument behind a simulated dock's user data, driven with plain sockets:
// handshake, memory image round trip, log downloads with their end markers, firmware pages,
// and faults on the user-data channel.
#include "SimBytes.h"
#include "SimClient.h"
#include "SimRecords.h"
#include "SimServer.h"

#include <QJsonArray>
#include <QTest>

using namespace vx8::sim;
using vx8::test::scaled;

namespace {
QByteArray cmd(const char* m, char index, const QByteArray& args = {})
{
    return QByteArray(m, 3) + index + args;
}
QByteArray b(std::initializer_list<int> v)
{
    QByteArray out;
    for (int x : v) {
        out += char(x);
    }
    return out;
}
} // namespace

class TestSimInstrument : public QObject
{
    Q_OBJECT
private slots:
    void handshake();
    void memoryRoundTrip();
    void eventDownload();
    void sessionAndRecordDownload();
    void countsReadingsClock();
    void firmwarePages();
    void userDataFaults_data();
    void userDataFaults();
    void noInstrumentNoReply();

private:
    struct Fixture
    {
        SimServer sim;
        SimClient c;
    };
    std::unique_ptr<Fixture> connected(const QJsonObject& instrument, const QJsonArray& faults = {});
};

std::unique_ptr<TestSimInstrument::Fixture> TestSimInstrument::connected(const QJsonObject& instrument,
                                                                         const QJsonArray& faults)
{
    auto f = std::make_unique<Fixture>();
    QString err;
    const QJsonObject s{{"controlPort", 0},
                        {"dataPort", 0},
                        {"timeFactor", 0.01},
                        {"discovery", QJsonObject{{"enabled", false}}},
                        {"docks", QJsonArray{QJsonObject{{"instrument", instrument}, {"faults", faults}}}}};
    if (!f->sim.loadScenario(s, &err) || !f->sim.start(&err) || !f->c.open(f->sim.dock(0))) {
        qWarning() << err;
        return nullptr;
    }
    f->c.command("SLV", 4);
    if (!f->c.waitControl("EVT1")) {
        return nullptr;
    }
    return f;
}

void TestSimInstrument::handshake()
{
    auto f = connected(QJsonObject{{"firmwareVersion", 108}});
    QVERIFY(f);
    QCOMPARE(f->c.instrument(cmd("ENQ", '0'), 4), QByteArray("ACK0"));
    QCOMPARE(f->c.instrument(cmd("WHO", '1'), 6), QByteArray("ACK115"));
    QCOMPARE(f->c.instrument(cmd("VFL", '2'), 8), QByteArray("ACK21.08"));
    QCOMPARE(f->c.instrument(cmd("XYZ", '3'), 4), QByteArray("NAK3"));
}

void TestSimInstrument::memoryRoundTrip()
{
    auto f = connected(QJsonObject{{"serial", 24680}, {"pin", 4321}});
    QVERIFY(f);
    SimClient& c = f->c;
    const QByteArray unit = c.instrument(cmd("RUE", '0'), 268);
    QCOMPARE(unit.size(), 268);
    QCOMPARE(unit.left(4), QByteArray("ACK0"));
    QCOMPARE(getLE32(unit, 4 + 4), 24680u);
    QCOMPARE(getLE16(unit, 4 + kUnitPinOffset), 4321u);
    QByteArray image = unit.mid(4);
    for (int s = 0; s < 7; ++s) {
        const QByteArray r = c.instrument(cmd("RAE", char('1' + s), b({s})), 260);
        QCOMPARE(r.size(), 260);
        image += r.mid(4);
    }
    QCOMPARE(int(quint8(image[264 + 3])), 11); // slot 0: O2 by default
    image += QByteArray(2440 - 2056, '\0');
    const QByteArray screens = c.instrument(cmd("RCS", '8'), 132);
    QCOMPARE(screens.size(), 132);
    image += screens.mid(4);
    QCOMPARE(image.size(), kImageSize);
    QCOMPARE(image, f->sim.dock(0)->instrument()->image());

    // Write every part back changed, then read it again: byte for byte what was written.
    QByteArray written = image;
    for (int i = 0; i < kImageSize; ++i) {
        written[i] = char(quint8(written[i]) ^ 0x5A);
    }
    written.replace(2056, 2440 - 2056, image.mid(2056, 2440 - 2056)); // no command touches these
    QCOMPARE(c.instrument(cmd("WUE", '9') + written.left(264), 4), QByteArray("ACK9"));
    for (int s = 0; s < 7; ++s) {
        QCOMPARE(c.instrument(cmd("WAE", char('0' + s), b({s})) + written.mid(264 + 256 * s, 256), 4),
                 QByteArray("ACK") + char('0' + s));
    }
    QCOMPARE(c.instrument(cmd("WCS", '7') + written.mid(2440, 128), 4), QByteArray("ACK7"));
    QByteArray reread = c.instrument(cmd("RUE", '8'), 268).mid(4);
    for (int s = 0; s < 7; ++s) {
        reread += c.instrument(cmd("RAE", '9', b({s})), 260).mid(4);
    }
    reread += QByteArray(2440 - 2056, '\0');
    reread += c.instrument(cmd("RCS", '0'), 132).mid(4);
    QCOMPARE(reread, written);
    QCOMPARE(f->sim.dock(0)->instrument()->image(), written);
    // The sensor table follows the slots written.
    const QByteArray st = c.instrument(cmd("GST", '1'), 11);
    QCOMPARE(st.mid(4, 7), QByteArray(written.constData() + 264 + 3, 1) + written.mid(264 + 256 + 3, 1) +
                               written.mid(264 + 512 + 3, 1) + written.mid(264 + 768 + 3, 1) +
                               written.mid(264 + 1024 + 3, 1) + written.mid(264 + 1280 + 3, 1) +
                               written.mid(264 + 1536 + 3, 1));
}

void TestSimInstrument::eventDownload()
{
    QJsonArray events;
    for (int i = 0; i < 11; ++i) {
        events.append(QJsonObject{{"start", 1000 + i}, {"duration", i}});
    }
    auto f = connected(QJsonObject{{"events", events}});
    QVERIFY(f);
    SimClient& c = f->c;
    QCOMPARE(c.instrument(cmd("CKE", '0'), 5), QByteArray("ACK0") + char(11));
    QByteArray r = c.instrument(cmd("DED", '1', b({1, 8})), 6 + 8 * 48);
    QCOMPARE(r.size(), 6 + 8 * 48);
    QCOMPARE(int(r[4]), 1);
    QCOMPARE(int(r[5]), 8);
    QCOMPARE(getLE32(r, 6), 1000u);
    QCOMPARE(getLE32(r, 6 + 7 * 48), 1007u);
    r = c.instrument(cmd("DED", '2', b({9, 8})), 6 + 3 * 48);
    QCOMPARE(r.size(), 6 + 3 * 48);
    QCOMPARE(int(r[5]), 3);
    QCOMPARE(getLE16(r, 6 + 2 * 48 + 4), 10u);
    // Past the last event: the end marker.
    QCOMPARE(c.instrument(cmd("DED", '3', b({12, 8})), 4), QByteArray("ECK3"));
    QCOMPARE(c.instrument(cmd("CLE", '4'), 4), QByteArray("ACK4"));
    QCOMPARE(c.instrument(cmd("CKE", '5'), 5), QByteArray("ACK5") + char(0));
}

void TestSimInstrument::sessionAndRecordDownload()
{
    const QJsonArray sessions{QJsonObject{{"number", 1}, {"records", 6}, {"sensors", 4}},
                              QJsonObject{{"number", 3}, {"records", 2}, {"sensors", 4}, {"alarmFlags", 1}},
                              QJsonObject{{"number", 4}, {"records", 0}, {"sensors", 4}}};
    auto f = connected(QJsonObject{{"sessions", sessions}});
    QVERIFY(f);
    SimClient& c = f->c;
    QCOMPARE(c.instrument(cmd("CKD", '0', b({0})), 6), QByteArray("ACK0") + char(1) + char(3));
    QCOMPARE(c.instrument(cmd("CKD", '1', b({1})), 6), QByteArray("ACK1") + char(1) + char(1));
    // Sessions numbered 1, 3, 4: asking for 2 gives 3.
    QByteArray r = c.instrument(cmd("RSS", '2', b({1, 0})), 5 + 296);
    QCOMPARE(r.size(), 5 + 296);
    QCOMPARE(int(r[4]), 1);
    QCOMPARE(int(r[5 + 9]), 1);
    QCOMPARE(getLE16(r, 5 + 256), 6u);
    QCOMPARE(int(r[5 + 258]), 4);
    r = c.instrument(cmd("RSS", '3', b({2, 0})), 5 + 296);
    QCOMPARE(int(r[4]), 3);
    QCOMPARE(c.instrument(cmd("RSS", '4', b({5, 0})), 4), QByteArray("ECK4"));
    // Records of session 1, four per packet, 8 + 16 x 4 = 72 bytes each.
    r = c.instrument(cmd("DSD", '5', b({1, 0, 1, 4})), 7 + 4 * 72);
    QCOMPARE(r.size(), 7 + 4 * 72);
    QCOMPARE(getBE16(r, 4), 1u);
    QCOMPARE(int(r[6]), 4);
    QCOMPARE(int(r[7 + 3]), 1); // session number in each record
    r = c.instrument(cmd("DSD", '6', b({1, 0, 5, 4})), 7 + 2 * 72);
    QCOMPARE(r.size(), 7 + 2 * 72);
    QCOMPARE(int(r[6]), 2);
    QCOMPARE(c.instrument(cmd("DSD", '7', b({1, 0, 7, 4})), 4), QByteArray("ECK7"));
    QCOMPARE(c.instrument(cmd("DSD", '8', b({2, 0, 1, 4})), 4), QByteArray("ECK8"));
    QCOMPARE(c.instrument(cmd("CLD", '9'), 4), QByteArray("ACK9"));
    QCOMPARE(c.instrument(cmd("CKD", '0', b({0})), 6), QByteArray("ACK0") + char(1) + char(0));
}

void TestSimInstrument::countsReadingsClock()
{
    auto f = connected(QJsonObject{{"gasReadings", QJsonArray{209, 0, 0, -3}}, {"dataLogger", false}});
    QVERIFY(f);
    SimClient& c = f->c;
    QByteArray r = c.instrument(QByteArray("RAC0I"), 14);
    QCOMPARE(r.size(), 14);
    r = c.instrument(QByteArray("RAC1S"), 18);
    QCOMPARE(r.size(), 18);
    QCOMPARE(getBE16(r, 4), 1000u);
    r = c.instrument(cmd("GGR", '2'), 19);
    QCOMPARE(r.mid(4, 1), QByteArray("R"));
    QCOMPARE(qint16(getBE16(r, 5)), qint16(209));
    QCOMPARE(qint16(getBE16(r, 5 + 6)), qint16(-3));
    QByteArray t(4, '\0');
    putBE32(t, 0, 86400 * 3);
    QCOMPARE(c.instrument(cmd("STC", '3') + t, 4), QByteArray("ACK3"));
    r = c.instrument(cmd("RSC", '4'), 8);
    QVERIFY(getBE32(r, 4) >= 86400u * 3 && getBE32(r, 4) < 86400u * 3 + 60);
    // A black-box instrument says so in its session count reply.
    QCOMPARE(c.instrument(cmd("CKD", '5', b({0})), 6).mid(4, 1), QByteArray(1, '\0'));
}

void TestSimInstrument::firmwarePages()
{
    auto f = connected(QJsonObject{{"firmwareVersion", 105}});
    QVERIFY(f);
    SimClient& c = f->c;
    QByteArray fw(kFirmwareSize, '\0');
    for (int i = 0; i < fw.size(); ++i) {
        fw[i] = char(i * 31 >> 4);
    }
    fw.replace(262100, 4, "1.20");
    fw[262105] = char(kInstrumentTypeCode);
    auto page = [&](int p, bool goodSum) {
        QByteArray block = fw.mid(256 * p, 256);
        quint32 sum = 0;
        for (char x : block) {
            sum += quint8(x);
        }
        QByteArray req = cmd("WEP", char('0' + p % 10));
        req += char(p >> 8);
        req += char(p & 0xFF);
        req += block;
        req += char(((sum + (goodSum ? 0 : 1)) >> 8) & 0xFF);
        req += char((sum + (goodSum ? 0 : 1)) & 0xFF);
        return req;
    };
    QCOMPARE(c.instrument(page(0, false), 4), QByteArray("NAK0"));
    QCOMPARE(c.instrument(cmd("PFM", '1'), 4), QByteArray("NAK1")); // nothing written yet
    // All pages in one go: the instrument answers each in turn.
    QByteArray all;
    for (int p = 0; p < 1024; ++p) {
        all += page(p, true);
    }
    const QByteArray acks = c.instrument(all, 1024 * 6);
    QCOMPARE(acks.size(), 1024 * 6);
    for (int p = 0; p < 1024; ++p) {
        QCOMPARE(acks.mid(6 * p, 4), QByteArray("ACK") + char('0' + p % 10));
        QCOMPARE(int(getBE16(acks, 6 * p + 4)), p);
    }
    QCOMPARE(f->sim.dock(0)->instrument()->firmwareBuffer(), fw);
    const int from = int(c.ctlAll().size());
    QCOMPARE(c.instrument(cmd("PFM", '2'), 4), QByteArray("ACK2"));
    // The instrument restarts: it leaves the link, and is back after the dock searches for it.
    QVERIFY(c.waitControl("EVT2", from));
    c.ctl.write("IRS");
    QVERIFY(c.waitControl("EVT1", from));
    QCOMPARE(c.instrument(cmd("VFL", '3'), 8), QByteArray("ACK31.20"));
    QCOMPARE(f->sim.dock(0)->instrument()->firmwareWord(), 120);
}

void TestSimInstrument::userDataFaults_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<QList<int>>("chunks");
    QTest::addColumn<QByteArray>("start");
    QTest::newRow("nak") << QJsonObject{{"command", "RUE"}, {"channel", "data"}, {"kind", "nak"}}
                         << QList<int>{4} << QByteArray("NAK5");
    QTest::newRow("cut") << QJsonObject{{"command", "RUE"},
                                        {"channel", "data"},
                                        {"kind", "cut"},
                                        {"bytes", 100}}
                         << QList<int>{100} << QByteArray("ACK5");
    QTest::newRow("split") << QJsonObject{{"command", "RUE"},
                                          {"channel", "data"},
                                          {"kind", "split"},
                                          {"at", 150}}
                           << QList<int>{150, 118} << QByteArray("ACK5");
    QTest::newRow("close") << QJsonObject{{"command", "RUE"}, {"channel", "data"}, {"kind", "close"}}
                           << QList<int>{} << QByteArray();
    QTest::newRow("merged with the next")
        << QJsonObject{{"command", "RUE"}, {"channel", "data"}, {"kind", "merge"}} << QList<int>{268 + 4}
        << QByteArray("ACK5");
}

void TestSimInstrument::userDataFaults()
{
    QFETCH(QJsonObject, fault);
    QFETCH(QList<int>, chunks);
    QFETCH(QByteArray, start);
    auto f = connected(QJsonObject{}, QJsonArray{fault});
    QVERIFY(f);
    SimClient& c = f->c;
    int total = 0;
    for (int n : chunks) {
        total += n;
    }
    QByteArray got;
    if (fault.value("kind") == "close") {
        c.data.write(cmd("RUE", '5'));
        QVERIFY(QTest::qWaitFor([&] { return c.data.state() == QAbstractSocket::UnconnectedState; },
                                scaled(5000)));
        QVERIFY(c.dataChunks.isEmpty());
        QCOMPARE(c.ctl.state(), QAbstractSocket::ConnectedState); // only the user-data session closed
        return;
    }
    if (fault.value("kind") == "merge") {
        c.data.write(cmd("RUE", '5'));
        c.data.flush();
        QTest::qWait(50);
        QVERIFY(c.dataChunks.isEmpty()); // held back
        got = c.instrument(cmd("ENQ", '6'), total);
        QCOMPARE(got.right(4), QByteArray("ACK6"));
    } else {
        got = c.instrument(cmd("RUE", '5'), total);
    }
    QCOMPARE(got.size(), total);
    QVERIFY(got.startsWith(start));
    QList<int> sizes;
    QByteArray written;
    for (const auto& e : f->sim.transcript().entriesFor(f->sim.dock(0)->serial(), "data", "out")) {
        sizes.append(int(e.bytes.size()));
        written += e.bytes;
    }
    QCOMPARE(sizes, chunks);
    QCOMPARE(written, got);
}

void TestSimInstrument::noInstrumentNoReply()
{
    SimServer sim;
    QString err;
    QVERIFY(sim.loadScenario(
        QJsonObject{{"controlPort", 0}, {"dataPort", 0}, {"discovery", QJsonObject{{"enabled", false}}}},
        &err));
    QVERIFY(sim.start(&err));
    SimClient c;
    QVERIFY(c.open(sim.dock(0)));
    c.data.write(cmd("ENQ", '0'));
    c.data.flush();
    // The dock ignores user data while no instrument is connected; it says so in its transcript.
    QVERIFY(QTest::qWaitFor(
        [&] {
            for (const auto& e : sim.transcript().entriesFor(sim.dock(0)->serial(), "data", "note")) {
                if (e.text.contains("no instrument")) {
                    return true;
                }
            }
            return false;
        },
        scaled(5000)));
    QVERIFY(c.dataChunks.isEmpty());
}

QTEST_GUILESS_MAIN(TestSimInstrument)
#include "tst_siminstrument.moc"
