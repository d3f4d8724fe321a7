// The dock's own work: instruments docked and removed, its test sequence with its events, the
// scenario's timeline, vanishing and coming back, discovery answers.
#include "SimDock.h"
#include "SimBytes.h"
#include "SimServer.h"
#include "SimStates.h"
#include "SimUsbDevice.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

namespace vx8::sim {

namespace {
bool settingOn(const QByteArray& config, const char* name)
{
    return (getBE32(config, 4) & (0x80000000u >> settingBit(QLatin1String(name)))) != 0;
}
QJsonObject merged(QJsonObject base, const QJsonObject& over)
{
    for (auto it = over.begin(); it != over.end(); ++it) {
        base[it.key()] = it.value();
    }
    return base;
}
} // namespace

void SimDock::dockInstrument(const QJsonObject& setup)
{
    if (m_instrument) {
        removeInstrument();
    }
    m_instrument = std::make_shared<SimInstrument>(setup);
    m_lastInstrument = m_instrument;
    m_announced = false;
    m_connected = false;
    note(QStringLiteral("instrument %1 docked").arg(m_instrument->serial()));
    if (m_slave) {
        announce();
    } else if (m_standalone && setup.value(QStringLiteral("standalone")).toBool(true)) {
        // Without a PC the dock tests the instrument on its own and stores the record.
        later(scaled(500), [this] {
            if (m_instrument && !m_slave && !m_testRunning) {
                m_connected = true;
                m_announced = true;
                startTest();
            }
        });
    }
}

void SimDock::announce()
{
    if (!m_instrument || m_announced || m_vanished) {
        return;
    }
    m_announced = true;
    const QJsonObject& setup = m_instrument->setup();
    const int insertState = int(jsonInt(setup, QStringLiteral("insertState"), 0));
    const int step = scaled(int(jsonInt(setup, QStringLiteral("announceMs"), 300)));
    const auto inst = m_instrument;
    sendEvent('A', QByteArray(1, char('0' + qBound(0, insertState, 9))));
    later(step, [this, inst, step] {
        if (m_instrument != inst) {
            return;
        }
        sendEvent('4');
        later(step, [this, inst] {
            if (m_instrument != inst) {
                return;
            }
            if (inst->setup().value(QStringLiteral("failConnect")).toBool(false)) {
                sendEvent('6');
                m_announced = false;
                return;
            }
            m_connected = true;
            sendEvent('1');
        });
    });
}

void SimDock::endSession(bool disc)
{
    if (disc) {
        m_stepsSent.append(Cmd_Disc);
        sendEvent('7', QByteArray(1, char(Cmd_Disc)));
    }
    if (m_connected) {
        m_connected = false;
        sendEvent('2');
    }
    m_dataBuf.clear();
}

void SimDock::removeInstrument()
{
    if (!m_instrument) {
        return;
    }
    note(QStringLiteral("instrument %1 removed").arg(m_instrument->serial()));
    if (m_testRunning) {
        abortTest(INST_NOT_INSERTED);
    }
    if (m_connected) {
        m_connected = false;
        sendEvent('2');
    }
    sendEvent('5');
    m_instrument.reset();
    m_announced = false;
    m_dataBuf.clear();
}

QByteArray SimDock::gasEvent(bool withGas) const
{
    // Seven big-endian readings; element e belongs to instrument slot 6 - e.
    QByteArray p(14, '\0');
    for (int s = 0; s < kSlotCount; ++s) {
        int v = 0;
        if (m_instrument && m_instrument->sensorPresent(s)) {
            const int t = m_instrument->sensorType(s);
            const QByteArray img = m_instrument->image();
            const int cal = int(getLE16(img, kUnitSize + kSlotSize * s + 44));
            if (t >= 10 && t <= 19) {
                v = withGas ? 190 : 209;
            } else {
                v = withGas ? cal : 0;
            }
        }
        putBE16(p, 2 * (6 - s), quint32(qint16(v)));
    }
    return p;
}

void SimDock::startTest()
{
    if (!m_instrument || !m_connected) {
        sendEvent('3', QByteArray(1, char(INST_NOT_INSERTED)));
        emit testCompleted(INST_NOT_INSERTED);
        return;
    }
    if (m_testRunning) {
        return;
    }
    const QJsonObject& setup = m_instrument->setup();
    int result = int(jsonInt(setup, QStringLiteral("result"), 0));
    if (settingOn(m_config, "CheckPIN") && m_instrument->pin() != getBE16(m_config, 50)) {
        result = WRONG_PIN;
    }
    // A calibration when the scenario asks for one or the instrument carries a calibration flag.
    bool cal = setup.value(QStringLiteral("mode")).toString() == QLatin1String("cal");
    quint8 calMask = 0;
    const QByteArray img = m_instrument->image();
    for (int s = 0; s < kSlotCount; ++s) {
        if (m_instrument->sensorPresent(s) && (quint8(img[kUnitSize + kSlotSize * s + 2]) & 0x02)) {
            calMask |= quint8(1u << s);
        }
    }
    int cause = calMask ? 0 : 3; // Span_CalFlag, else Span_DockCalDue
    if (calMask) {
        cal = true;
    }
    // Sensors that fail their bump are calibrated next (cause Span_FailedBump).
    m_failedBumpMask = 0;
    for (const QJsonValue& v : setup.value(QStringLiteral("failedBump")).toArray()) {
        const int s = v.toInt(-1);
        if (s >= 0 && s < kSlotCount && m_instrument->sensorPresent(s)) {
            m_failedBumpMask |= quint8(1u << s);
        }
    }
    if (m_failedBumpMask) {
        cal = true;
        cause = 1;
        calMask |= m_failedBumpMask;
    }
    if (cal && !calMask) {
        for (int s = 0; s < kSlotCount; ++s) {
            if (m_instrument->sensorPresent(s)) {
                calMask |= quint8(1u << s);
            }
        }
    }
    m_calibration = cal;
    m_plannedResult = result;

    m_steps.clear();
    auto step = [&](int state, QList<QByteArray> events = {}, int endResult = -1) {
        m_steps.append(Step{state, std::move(events), endResult});
    };
    auto ends = [&](int r) { return result == r ? r : -1; };
    const int battery = int(jsonInt(setup, QStringLiteral("battery"), 41));
    const QByteArray batt =
        QByteArray(setup.value(QStringLiteral("charging")).toBool(false) ? "EVTEC" : "EVTED") +
        QByteArray::number(battery * 100, 16).rightJustified(4, '0').toUpper();
    QList<QByteArray> debug;
    for (const QJsonValue& v : setup.value(QStringLiteral("debugMessages")).toArray()) {
        const QByteArray text = v.toString().toLatin1().left(255);
        debug.append(QByteArray("EVT8") + char(text.size()) + text);
    }
    step(Cmd_Enq, debug);
    step(Cmd_Who);
    step(Cmd_Ver);
    step(Cmd_BatVoltage, {batt}, ends(LOW_BAT_ERROR));
    step(Cmd_UnitEE, {}, ends(WRONG_PIN));
    step(Cmd_GetSTable);
    step(Cmd_SensorEE);
    step(Cmd_Alm);
    step(Cmd_AlmTest);
    step(Cmd_Vib);
    step(Cmd_Visual);
    step(Cmd_StartPump, result == LOW_FLOW ? QList<QByteArray>{"EVT0"} : QList<QByteArray>{}, ends(LOW_FLOW));
    step(Cmd_CheckZero, {QByteArray("EVT9") + gasEvent(false)});
    step(Cmd_Zero);
    step(Cmd_Zeroing, {}, ends(FAILED_ZERO));
    step(Cmd_WaitForGas, {}, ends(NO_GAS));
    step(Cmd_BumpStart);
    step(Cmd_GetGasRead, {QByteArray("EVT9") + gasEvent(true)});
    step(Cmd_Bumping, {QByteArray("EVT9") + gasEvent(true)});
    if (cal) {
        step(Cmd_Span, {QByteArray("EVTB") + char(int(jsonInt(setup, QStringLiteral("spanCause"), cause))) +
                        char(calMask)});
        step(Cmd_Spanning, {QByteArray("EVT9") + gasEvent(true)});
        step(Cmd_UpdtFullCallDate);
    }
    step(Cmd_Purge, {QByteArray("EVT9") + gasEvent(false)});
    step(Cmd_Stb);
    const QJsonArray custom = setup.value(QStringLiteral("steps")).toArray();
    if (!custom.isEmpty()) {
        m_steps.clear();
        for (const QJsonValue& v : custom) {
            step(v.toInt());
        }
    }
    m_testRunning = true;
    m_stepIndex = 0;
    note(QStringLiteral("test started (%1)")
             .arg(cal ? QStringLiteral("calibration") : QStringLiteral("bump")));
    const int duration = int(jsonInt(setup, QStringLiteral("testDuration"), 20000));
    m_stepTimer.setInterval(qMax(0, scaled(duration) / qMax(1, int(m_steps.size()))));
    m_stepTimer.start();
}

void SimDock::nextStep()
{
    if (!m_testRunning || m_stepIndex >= m_steps.size()) {
        if (m_testRunning) {
            finishTest(m_plannedResult);
        }
        return;
    }
    const Step s = m_steps[m_stepIndex++];
    if (SimFault* f = matchStepFault(s.state)) {
        note(QStringLiteral("fault %1 at test step %2").arg(f->kind).arg(s.state));
        if (f->kind == QLatin1String("vanish")) {
            vanish();
            return;
        }
        if (f->kind == QLatin1String("stop")) {
            return; // the sequence hangs here; the dock stays busy
        }
        if (f->kind == QLatin1String("close")) {
            closeChannel(f->closeChannel == QLatin1String("data") ? SimChannel::Data : SimChannel::Control);
        }
    }
    m_stepsSent.append(s.state);
    sendEvent('7', QByteArray(1, char(s.state)));
    for (const QByteArray& e : s.events) {
        write(SimChannel::Control, e);
    }
    if (s.endResult >= 0) {
        finishTest(s.endResult);
        return;
    }
    m_stepTimer.start();
}

void SimDock::abortTest(int result)
{
    if (m_testRunning) {
        finishTest(result);
    }
}

void SimDock::finishTest(int result)
{
    m_stepTimer.stop();
    m_testRunning = false;
    const qint64 now = secondsSince2000(clock());
    if (m_instrument) {
        m_instrument->recordTest(m_calibration, result == 0, now);
    }
    m_lastTest = buildLiveRecord(result, m_calibration);
    m_records.append(m_lastTest);
    note(QStringLiteral("test completed with result %1").arg(result));
    sendEvent('3', QByteArray(1, char(result)));
    emit testCompleted(result);
    if (!m_slave && m_instrument) {
        // Standalone: the dock ends the session itself.
        later(scaled(200), [this] { endSession(false); });
    }
}

QByteArray SimDock::buildLiveRecord(int result, bool calibration)
{
    const SimInstrument* in = m_instrument ? m_instrument.get() : m_lastInstrument.get();
    QJsonObject r;
    const bool pass = result == NO_ERROR;
    if (in) {
        const QByteArray img = in->image();
        const QJsonObject& setup = in->setup();
        r[QStringLiteral("InstrumentSerial")] = qint64(in->serial());
        r[QStringLiteral("FullCalDate")] = qint64(getLE32(img, 36));
        r[QStringLiteral("InstrumentVersion")] = in->firmwareWord();
        r[QStringLiteral("InstrumentBattery")] = int(jsonInt(setup, QStringLiteral("battery"), 41));
        r[QStringLiteral("RemindInterval")] = int(getLE16(img, 56) & 0xFF);
        quint32 flags = 0;
        if (setup.value(QStringLiteral("pump")).toBool(false)) {
            flags |= 1u << 15;
        }
        if (setup.value(QStringLiteral("rechargeable")).toBool(true)) {
            flags |= 1u << 14;
        }
        if (getLE32(img, 52) & (1u << 25)) {
            flags |= 1u << 13;
        }
        r[QStringLiteral("InstrumentFlags")] = int(flags);
        QJsonArray sensors;
        const QJsonArray overrides =
            setup.value(QStringLiteral("testRecord")).toObject().value(QStringLiteral("Sensors")).toArray();
        for (int s = 0; s < kSlotCount; ++s) {
            if (!in->sensorPresent(s)) {
                continue;
            }
            const int b = kUnitSize + kSlotSize * s;
            const int calGas = int(getLE16(img, b + 44));
            QJsonObject e;
            e[QStringLiteral("Slot")] = s;
            e[QStringLiteral("SensorSerial")] = qint64(getLE32(img, b + 4));
            e[QStringLiteral("TWAAlarm")] = int(getLE16(img, b + 26));
            e[QStringLiteral("STELAlarm")] = int(getLE16(img, b + 24));
            e[QStringLiteral("HighAlarm")] = int(getLE16(img, b + 22));
            e[QStringLiteral("WarningAlarm")] = int(getLE16(img, b + 20));
            e[QStringLiteral("LowAlarm")] = int(getLE16(img, b + 16));
            e[QStringLiteral("OldSpan")] = calGas * 9 / 10;
            e[QStringLiteral("CalGasValue")] = calGas;
            e[QStringLiteral("MaxPossibleSpan")] = calGas * 2;
            e[QStringLiteral("BumpResponse")] = pass ? calGas * 95 / 100 : 0;
            e[QStringLiteral("BumpTime")] = 12;
            e[QStringLiteral("T63")] = int(getLE16(img, b + 126) & 0xFF);
            e[QStringLiteral("SensorType")] = in->sensorType(s);
            e[QStringLiteral("GasPort")] = 0;
            e[QStringLiteral("GasValue")] = calGas;
            e[QStringLiteral("VOCRatio")] = int(getLE16(img, b + 208));
            e[QStringLiteral("ExpiryDate")] = int(getLE32(img, b + 148) / 86400);
            // Bit 15 bump passed, 13-14 span result, 12 zero passed, 8-11 span fault cause.
            int status = 0x0100; // cause "none"
            const bool bumpFailed = (m_failedBumpMask >> s) & 1;
            if (pass) {
                status |= (bumpFailed ? 0 : 0x8000) | 0x1000 | (calibration ? 0x2000 : 0);
            } else if (result == NO_GAS) {
                status = 0x1000 | 0x6000; // zero passed, span "no gas detected", cause 0
            } else if (result != FAILED_ZERO) {
                status |= 0x1000;
            }
            e[QStringLiteral("SensorStatus")] = status;
            for (const QJsonValue& ov : overrides) {
                if (jsonInt(ov.toObject(), QStringLiteral("Slot"), -1) == s) {
                    e = merged(e, ov.toObject());
                }
            }
            sensors.append(e);
            if (in->sensorType(s) >= 30 && in->sensorType(s) <= 39) {
                r[QStringLiteral("VOCCode")] = int(quint8(img[b + 224]));
            }
        }
        r[QStringLiteral("Sensors")] = sensors;
    }
    r[QStringLiteral("TestTime")] = secondsSince2000(clock());
    r[QStringLiteral("AudioDbMin")] = 65;
    r[QStringLiteral("AudioDbMaxLeft")] = 95;
    r[QStringLiteral("AudioDbMaxRight")] = 96;
    int pf = pass ? (0x8000 | 0x4000 | 0x2000 | 0x1000 | 0x0800) : (result == FAILED_ZERO ? 0x7000 : 0x7800);
    if (!calibration) {
        pf |= 0x0400;
    }
    r[QStringLiteral("PassFailFlags")] = pf;
    if (in) {
        QJsonObject over = in->setup().value(QStringLiteral("testRecord")).toObject();
        over.remove(QStringLiteral("Sensors"));
        r = merged(r, over);
    }
    return buildTestRecord(r);
}

// ---------------------------------------------------------------- timeline, faults, vanishing

void SimDock::scheduleTimeline()
{
    while (m_timelineIndex < m_timeline.size()) {
        const QJsonObject e = m_timeline.at(m_timelineIndex).toObject();
        const qint64 due = scaled(int(jsonInt(e, QStringLiteral("at"), 0)));
        const qint64 wait = due - m_sinceStart.elapsed();
        if (wait > 0) {
            m_timelineTimer.start(int(wait));
            return;
        }
        ++m_timelineIndex;
        runTimelineEntry(e);
    }
}

void SimDock::runTimelineEntry(const QJsonObject& e)
{
    const QString action = e.value(QStringLiteral("action")).toString();
    if (action == QLatin1String("dock")) {
        dockInstrument(e.value(QStringLiteral("instrument")).toObject());
    } else if (action == QLatin1String("remove")) {
        removeInstrument();
    } else if (action == QLatin1String("vanish")) {
        vanish();
    } else if (action == QLatin1String("reappear")) {
        reappear();
    } else if (action == QLatin1String("event")) {
        const QString code = e.value(QStringLiteral("code")).toString();
        if (!code.isEmpty()) {
            sendEvent(code.at(0).toLatin1(),
                      QByteArray::fromHex(e.value(QStringLiteral("payloadHex")).toString().toLatin1()));
        }
    } else if (action == QLatin1String("close")) {
        closeChannel(e.value(QStringLiteral("channel")).toString() == QLatin1String("data")
                         ? SimChannel::Data
                         : SimChannel::Control);
    } else if (action == QLatin1String("fault")) {
        addFault(e.value(QStringLiteral("fault")).toObject());
    } else {
        note(QStringLiteral("unknown timeline action %1").arg(action));
    }
}

bool SimDock::addFault(const QJsonObject& fault, QString* error)
{
    const QString problem = SimFault::check(fault);
    if (!problem.isEmpty()) {
        note(QStringLiteral("fault ignored: %1").arg(problem));
        if (error) {
            *error = problem;
        }
        return false;
    }
    m_faults.append(SimFault::fromJson(fault));
    return true;
}

void SimDock::vanish()
{
    if (m_vanished) {
        return;
    }
    note(QStringLiteral("dock vanished"));
    m_stepTimer.stop();
    m_testRunning = false;
    ++m_generation;
    dropTransport();
    m_connected = false;
    m_announced = false;
    m_vanished = true;
    if (m_usb) {
        VirtualUsbBus::instance().detach(m_usb.get());
    }
    emit vanished();
}

void SimDock::reappear()
{
    if (!m_vanished || !m_started) {
        return;
    }
    m_vanished = false;
    ++m_generation;
    bool ok = true;
    QString error;
    startServers(&error, &ok);
    note(ok ? QStringLiteral("dock back") : QStringLiteral("dock could not come back: %1").arg(error));
}

void SimDock::answerDiscovery(const QHostAddress& to, quint16 port)
{
    if (m_vanished || m_usb || !m_started || !isLoopbackV4(to) ||
        !m_setup.value(QStringLiteral("answerDiscovery")).toBool(true)) {
        return;
    }
    if (!m_udp) {
        m_udp = new QUdpSocket(this);
        if (!m_udp->bind(m_address, 0)) {
            note(QStringLiteral("cannot bind the discovery answer socket: %1").arg(m_udp->errorString()));
            delete m_udp;
            m_udp = nullptr;
            return;
        }
    }
    const QByteArray text =
        m_setup.contains(QStringLiteral("discoveryReply"))
            ? m_setup.value(QStringLiteral("discoveryReply")).toString().toLatin1()
            : QByteArray("VX8#") + QByteArray::number(getBE32(m_config, 0)).rightJustified(5, '0') + "\r";
    m_server->transcript().add(m_serial, QStringLiteral("discovery"), QStringLiteral("out"), text);
    m_udp->writeDatagram(text, to, port);
}

} // namespace vx8::sim
