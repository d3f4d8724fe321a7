// The Pinger for real: ICMP echoes to loopback addresses inside a network namespace of the test's
// own (tst_pinger_netns: unshare -n, loopback up, VX8_IN_NETNS=1). There the test may take the
// loopback interface down and make the kernel ignore echo requests; outside the namespace only
// the cases that send nothing run.
#include "TestSupport.h"
#include "dockframe/Pinger.h"

#include <QCoro/QCoroTask>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QTest>

#include <memory>

using namespace vx8;
using vx8::test::scaled;

Q_DECLARE_METATYPE(vx8::Pinger::Status)

namespace {

bool inNamespace()
{
    return qgetenv("VX8_IN_NETNS") == "1";
}

// Runs "ip link set lo up|down" (inside the namespace only).
bool setLoopback(bool up)
{
    if (!inNamespace()) {
        return false;
    }
    QProcess ip;
    ip.start(QStringLiteral("ip"), {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"),
                                    up ? QStringLiteral("up") : QStringLiteral("down")});
    return ip.waitForFinished(scaled(10000)) && ip.exitStatus() == QProcess::NormalExit && ip.exitCode() == 0;
}

// The namespace's kernel answers echo requests (false) or ignores them (true).
bool ignoreEchoes(bool ignore)
{
    if (!inNamespace()) {
        return false;
    }
    QFile f(QStringLiteral("/proc/sys/net/ipv4/icmp_echo_ignore_all"));
    return f.open(QIODevice::WriteOnly) && f.write(ignore ? "1\n" : "0\n") == 2;
}

// Puts the namespace back as the test found it, whatever the case did.
struct NamespaceRestorer
{
    ~NamespaceRestorer()
    {
        ignoreEchoes(false);
        setLoopback(true);
    }
};

Pinger::Status ping(Pinger& pinger, const QString& address, int timeoutMs)
{
    return QCoro::waitFor(pinger.Ping(address, 64, timeoutMs));
}

} // namespace

class TstPinger : public QObject
{
    Q_OBJECT
private slots:
    void invalidAddressFailsAtOnce_data();
    void invalidAddressFailsAtOnce();
    void loopbackAnswers_data();
    void loopbackAnswers();
    void ignoredEchoTimesOut();
    void loopbackDown();
    void goneMidPing_data();
    void goneMidPing();
};

void TstPinger::invalidAddressFailsAtOnce_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("empty") << QString();
    QTest::newRow("a name") << QStringLiteral("dock-one");
    QTest::newRow("three octets") << QStringLiteral("127.0.0");
    QTest::newRow("octet above 255") << QStringLiteral("127.0.0.256");
    QTest::newRow("IPv6") << QStringLiteral("::1");
    QTest::newRow("trailing text") << QStringLiteral("127.0.0.2; reboot");
}

// Nothing is sent for an address that is no IPv4 address: the result is there before any wait.
void TstPinger::invalidAddressFailsAtOnce()
{
    QFETCH(QString, address);
    Pinger pinger;
    auto task = pinger.Ping(address, 64, scaled(2000));
    QVERIFY(task.isReady());
    QCOMPARE(QCoro::waitFor(std::move(task)), Pinger::Status::Failed);
    QVERIFY(pinger.LastError().contains(address));
}

void TstPinger::loopbackAnswers_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("dataSize");
    QTest::newRow("127.0.0.2, 64 bytes") << QStringLiteral("127.0.0.2") << 64;
    QTest::newRow("127.0.0.3, no data") << QStringLiteral("127.0.0.3") << 0;
    QTest::newRow(" 127.0.0.2 with blanks") << QStringLiteral(" 127.0.0.2 ") << 64;
}

void TstPinger::loopbackAnswers()
{
    if (!inNamespace()) {
        QSKIP("needs the test's own network namespace (tst_pinger_netns)");
    }
    QFETCH(QString, address);
    QFETCH(int, dataSize);
    Pinger pinger;
    for (int round = 0; round < 2; ++round) { // the second echo has its own sequence number
        const Pinger::Status status = QCoro::waitFor(pinger.Ping(address, dataSize, scaled(5000)));
        QVERIFY2(status == Pinger::Status::Success, qPrintable(pinger.LastError()));
    }
}

// The address is there but does not answer: the time-out ends the wait.
void TstPinger::ignoredEchoTimesOut()
{
    if (!inNamespace()) {
        QSKIP("needs the test's own network namespace (tst_pinger_netns)");
    }
    NamespaceRestorer restore;
    if (!ignoreEchoes(true)) {
        QSKIP("the namespace's icmp_echo_ignore_all cannot be written here");
    }
    Pinger pinger;
    QCOMPARE(ping(pinger, QStringLiteral("127.0.0.2"), 300), Pinger::Status::TimedOut);
    QVERIFY(ignoreEchoes(false));
    QCOMPARE(ping(pinger, QStringLiteral("127.0.0.2"), scaled(5000)), Pinger::Status::Success);
}

void TstPinger::loopbackDown()
{
    if (!inNamespace()) {
        QSKIP("needs the test's own network namespace (tst_pinger_netns)");
    }
    NamespaceRestorer restore;
    QVERIFY(setLoopback(false));
    Pinger pinger;
    const Pinger::Status status = ping(pinger, QStringLiteral("127.0.0.2"), 1000);
    QVERIFY2(status != Pinger::Status::Success, qPrintable(pinger.LastError()));
    QVERIFY(setLoopback(true));
    QCOMPARE(ping(pinger, QStringLiteral("127.0.0.2"), scaled(5000)), Pinger::Status::Success);
}

void TstPinger::goneMidPing_data()
{
    QTest::addColumn<bool>("ownerGoes"); // false: the Pinger itself is deleted
    QTest::newRow("Pinger deleted") << false;
    QTest::newRow("owner deleted") << true;
}

// A ping outstanding when its Pinger (or the Pinger's owner) goes ends at once with Failed, and
// the awaiting code finds its owner gone.
void TstPinger::goneMidPing()
{
    if (!inNamespace()) {
        QSKIP("needs the test's own network namespace (tst_pinger_netns)");
    }
    QFETCH(bool, ownerGoes);
    NamespaceRestorer restore;
    if (!ignoreEchoes(true)) {
        QSKIP("the namespace's icmp_echo_ignore_all cannot be written here");
    }
    auto* owner = new QObject;
    QPointer<Pinger> pinger = new Pinger(owner);
    bool done = false;
    bool ownerSeenGone = false;
    Pinger::Status result = Pinger::Status::Success;
    auto waiter = [](QPointer<QObject> owner, Pinger* p, bool* done, bool* gone,
                     Pinger::Status* result) -> QCoro::Task<void> {
        // Far longer than the test waits: only the Pinger's going can end it in time.
        *result = co_await p->Ping(QStringLiteral("127.0.0.2"), 64, 600000);
        *gone = owner.isNull();
        *done = true;
    };
    auto task = waiter(owner, pinger, &done, &ownerSeenGone, &result);
    QTest::qWait(100);
    QVERIFY(!done);
    if (ownerGoes) {
        delete owner;
    } else {
        delete pinger.data();
    }
    QVERIFY(pinger.isNull());
    QVERIFY(QTest::qWaitFor([&] { return done; }, scaled(10000)));
    QCOMPARE(result, Pinger::Status::Failed);
    QCOMPARE(ownerSeenGone, ownerGoes);
    if (!ownerGoes) {
        delete owner;
    }
}

QTEST_GUILESS_MAIN(TstPinger)
#include "tst_pinger.moc"
