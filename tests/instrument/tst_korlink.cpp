// TKorLink on its direct carrier: a serial port (a pseudo-terminal here) for the raw and the framed
// families, the message index and its check, the reply timer, and the infrared carrier that this
// platform does not have.

#include "instrument/KorLink.h"

#include "TestSupport.h"
#include "common/Prompter.h"

#include <QSocketNotifier>
#include <QTest>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <qcoro/qcorotask.h>

using namespace vx8;
using vx8::test::scaled;

namespace {

// The far end of a pseudo-terminal: what the link writes arrives here, what is written here
// arrives at the link.
class FarEnd
{
public:
    FarEnd()
    {
        char name[128] = {};
        termios raw{};
        cfmakeraw(&raw);
        if (openpty(&m_master, &m_slave, name, &raw, nullptr) == 0) {
            m_name = QString::fromLocal8Bit(name);
            fcntl(m_master, F_SETFL, O_NONBLOCK);
        }
    }
    ~FarEnd()
    {
        if (m_master >= 0)
            ::close(m_master);
        if (m_slave >= 0)
            ::close(m_slave);
    }
    bool ok() const { return !m_name.isEmpty(); }
    QString name() const { return m_name; }
    void write(const QByteArray& b) { QVERIFY(::write(m_master, b.constData(), b.size()) == b.size()); }
    // Everything that arrived within `ms`, once at least `atLeast` bytes are in.
    QByteArray read(int atLeast, int ms)
    {
        QByteArray got;
        QTest::qWaitFor(
            [&] {
                char buf[512];
                ssize_t n;
                while ((n = ::read(m_master, buf, sizeof buf)) > 0)
                    got.append(buf, int(n));
                return got.size() >= atLeast;
            },
            ms);
        return got;
    }

private:
    int m_master = -1, m_slave = -1;
    QString m_name;
};

} // namespace

class TstKorLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void timeOutEncoding_data();
    void timeOutEncoding();
    void notConnected();
    void rawSerial();
    void framedSerial();
    void replyTimer();
    void indexCheck_data();
    void indexCheck();
    void shortMessageSent();
    void noInfrared();

private:
    bool openLink(TKorType type, bool irComm);

    std::unique_ptr<UnattendedPrompter> m_prompter;
    std::unique_ptr<FarEnd> m_far;
    std::unique_ptr<TKorLink> m_link;
    QList<QByteArray> m_received;
    int m_timeOuts = 0;
    int m_linkUps = 0;
};

void TstKorLink::init()
{
    m_prompter = std::make_unique<UnattendedPrompter>();
    m_prompter->setEcho(false);
    m_far = std::make_unique<FarEnd>();
    m_link = std::make_unique<TKorLink>(nullptr, m_prompter.get());
    m_link->OnReceiveMsg = [this](QObject*, const QByteArray& d) { m_received << d; };
    m_link->OnTimeOut = [this](QObject*, quint16 error) {
        QCOMPARE(error, quint16(0));
        ++m_timeOuts;
    };
    m_link->OnLinkUp = [this](QObject*, bool status) { m_linkUps += status; };
}

void TstKorLink::cleanup()
{
    m_link.reset();
    m_far.reset();
    m_received.clear();
    m_timeOuts = m_linkUps = 0;
}

bool TstKorLink::openLink(TKorType type, bool irComm)
{
    if (!m_far->ok())
        return false;
    m_link->SetInstrumentType(type);
    if (irComm)
        m_link->SetIrCommPortName(m_far->name());
    else
        m_link->SetSerialPortName(m_far->name());
    return QCoro::waitFor(m_link->Connect(0));
}

void TstKorLink::timeOutEncoding_data()
{
    QTest::addColumn<int>("timeOut");
    QTest::addColumn<int>("ms");
    QTest::newRow("5 s") << 5 << 5000;
    QTest::newRow("-250 ms") << -250 << 250;
    QTest::newRow("none") << 0 << 0;
}

void TstKorLink::timeOutEncoding()
{
    QFETCH(int, timeOut);
    QFETCH(int, ms);
    QCOMPARE(TKorLink::timeOutMs(timeOut), ms);
    QVERIFY(openLink(TKorType::tpKor6, false));
    QVERIFY(m_link->SendMsg("ENQ", timeOut));
    QCOMPARE(m_link->ReplyTimerActive(), ms > 0);
    if (ms > 0)
        QCOMPARE(m_link->ReplyTimerInterval(), ms);
}

void TstKorLink::notConnected()
{
    QCOMPARE(m_link->MessageIndex(), '9');
    QVERIFY(!m_link->Connected());
    QVERIFY(!m_link->SendMsg("ENQ ", 5));
    QCOMPARE(m_prompter->texts(), QStringList{QStringLiteral("SendMsg Error - Not Connected!")});
    QVERIFY(!m_link->ReplyTimerActive());
    QCOMPARE(m_link->MessageIndex(), '0'); // the index advances all the same
}

void TstKorLink::rawSerial()
{
    QVERIFY(openLink(TKorType::tpKor6, false));
    QVERIFY(m_link->Connected());
    QCOMPARE(m_linkUps, 1);
    QVERIFY(m_link->SendMsg(QByteArray::fromHex("e6e7"), 5));
    QCOMPARE(m_far->read(2, scaled(2000)), QByteArray::fromHex("e6e7")); // no framing, no index
    m_far->write("OK");
    QTRY_COMPARE_WITH_TIMEOUT(m_received.size(), 1, scaled(2000));
    QCOMPARE(m_received[0], QByteArray("OK"));
    QVERIFY(!m_link->ReplyTimerActive());
    m_link->Disconnect();
    QVERIFY(!m_link->Connected());
}

void TstKorLink::framedSerial()
{
    QVERIFY(openLink(TKorType::tpQuorra, true));
    QVERIFY(m_link->SendMsg("ENQ", 5));
    QCOMPARE(m_far->read(7, scaled(2000)), QByteArray::fromHex("E6454E5100E4E7"));
    // A frame with a bad checksum is dropped and the timer keeps running.
    m_far->write(QByteArray::fromHex("E6414243FFFFE7"));
    QTest::qWait(scaled(100));
    QVERIFY(m_received.isEmpty());
    QVERIFY(m_link->ReplyTimerActive());
    // A good one, in two pieces.
    m_far->write(QByteArray::fromHex("E641434B"));
    QTest::qWait(scaled(50));
    m_far->write(QByteArray::fromHex("00CFE7"));
    QTRY_COMPARE_WITH_TIMEOUT(m_received.size(), 1, scaled(2000));
    QCOMPARE(m_received[0], QByteArray("ACK"));
    QVERIFY(!m_link->ReplyTimerActive());
}

void TstKorLink::replyTimer()
{
    QVERIFY(openLink(TKorType::tpKor6, false));
    QVERIFY(m_link->SendMsg("ENQ", -50));
    QTRY_COMPARE_WITH_TIMEOUT(m_timeOuts, 1, scaled(2000));
    QVERIFY(!m_link->ReplyTimerActive());
    // No time-out: the timer never reports.
    QVERIFY(m_link->SendMsg("ENQ", 0));
    QTest::qWait(scaled(200));
    QCOMPARE(m_timeOuts, 1);
}

void TstKorLink::indexCheck_data()
{
    QTest::addColumn<bool>("check");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("delivered"); // empty: dropped
    QTest::newRow("right index") << true << QByteArray("ACK0data") << QByteArray("ACK0data");
    QTest::newRow("other index dropped") << true << QByteArray("ACK7data") << QByteArray();
    QTest::newRow("NAK of another command dropped") << true << QByteArray("NAK7") << QByteArray();
    QTest::newRow("bare NAK delivered") << true << QByteArray("NAK") << QByteArray("NAK");
    QTest::newRow("late reply before the answer")
        << true << QByteArray("ACK7oldACK0new") << QByteArray("ACK0new");
    QTest::newRow("not checked: as it arrives") << false << QByteArray("ACK7data") << QByteArray("ACK7data");
}

void TstKorLink::indexCheck()
{
    QFETCH(bool, check);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, delivered);
    QVERIFY(openLink(TKorType::tpKor7, true));
    m_link->SetCheckReplyIndex(check);
    QVERIFY(m_link->SendMsg("RSC ", 5));
    QCOMPARE(m_far->read(4, scaled(2000)), QByteArray("RSC0"));
    m_far->write(reply);
    if (delivered.isEmpty()) {
        QTest::qWait(scaled(200));
        QVERIFY(m_received.isEmpty());
        QVERIFY(m_link->ReplyTimerActive()); // still waiting for the answer
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(m_received.size(), 1, scaled(2000));
        QCOMPARE(m_received[0], delivered);
        QVERIFY(!m_link->ReplyTimerActive());
    }
}

void TstKorLink::shortMessageSent()
{
    QVERIFY(openLink(TKorType::tpKor7, true));
    // Too short to carry the index: sent as it is (the index still advances).
    QVERIFY(m_link->SendMsg("AB", 5));
    QCOMPARE(m_far->read(2, scaled(2000)), QByteArray("AB"));
    QCOMPARE(m_link->MessageIndex(), '0');
    QVERIFY(m_link->SendMsg("GST ", 5));
    QCOMPARE(m_far->read(4, scaled(2000)), QByteArray("GST1"));
}

void TstKorLink::noInfrared()
{
    QVERIFY(!TKorLink::IrDAAvailable());
    int irErrors = 0;
    m_link->OnIrError = [&](QObject*) { ++irErrors; };
    m_link->SetInstrumentType(TKorType::tpMellic);
    QVERIFY(!QCoro::waitFor(m_link->Connect(0)));
    QCOMPARE(irErrors, 1);
    QVERIFY(!m_link->Connected());
}

QTEST_GUILESS_MAIN(TstKorLink)
#include "tst_korlink.moc"
