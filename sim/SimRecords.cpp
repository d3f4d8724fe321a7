#include "SimRecords.h"

#include "SimBytes.h"

#include <QDateTime>
#include <QJsonArray>

namespace vx8::sim {

QString hexOf(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

QString printable(const QByteArray& bytes)
{
    QString s;
    s.reserve(bytes.size());
    for (char c : bytes) {
        const auto u = quint8(c);
        s.append(u >= 32 && u < 127 ? QChar(u) : QChar('.'));
    }
    return s;
}

qint64 jsonInt(const QJsonObject& o, const QString& key, qint64 def)
{
    const QJsonValue v = o.value(key);
    if (v.isDouble()) {
        return qint64(v.toDouble());
    }
    if (v.isBool()) {
        return v.toBool() ? 1 : 0;
    }
    if (v.isString()) {
        bool ok = false;
        const QString t = v.toString().trimmed();
        const qint64 n = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? t.mid(2).toLongLong(&ok, 16)
                                                                                : t.toLongLong(&ok);
        return ok ? n : def;
    }
    return def;
}

qint64 jsonTime(const QJsonObject& o, const QString& key, qint64 def)
{
    const QJsonValue v = o.value(key);
    if (v.isString()) {
        const QDateTime dt = QDateTime::fromString(v.toString(), Qt::ISODate);
        if (dt.isValid()) {
            return secondsSince2000(dt);
        }
    }
    return jsonInt(o, key, def);
}

int settingBit(const QString& name)
{
    static const char* const names[] = {"Sol1Installed",
                                        "Sol2Installed",
                                        "Sol3Installed",
                                        "Sol4Installed",
                                        nullptr,
                                        "EthernetInstalled",
                                        "ResumeInstrumentOFF",
                                        "ResumeInstrumentON",
                                        "UseDHCP",
                                        "WritePIN",
                                        "CheckPIN",
                                        "UseCal_Interval",
                                        "Enable_Emailing",
                                        "OptimizeO2Bump",
                                        "AirInletIs0Air",
                                        nullptr,
                                        "Gas1Enabled",
                                        "Gas2Enabled",
                                        "Gas3Enabled",
                                        "Gas4Enabled",
                                        "AutoTimeCal1",
                                        "AutoTimeCal2",
                                        "AutoTimeCal3"};
    for (int n = 0; n < int(std::size(names)); ++n) {
        if (names[n] && name == QLatin1String(names[n])) {
            return n;
        }
    }
    return -1;
}

static void putAddress(QByteArray& b, int off, const QJsonObject& o, const QString& key, quint32 def)
{
    quint32 v = def;
    if (o.contains(key)) {
        bool ok = false;
        const quint32 a = QHostAddress(o.value(key).toString()).toIPv4Address(&ok);
        if (ok) {
            v = a;
        }
    }
    putBE32(b, off, v);
}

QByteArray buildConfiguration(const QJsonObject& o, quint32 serial, const QHostAddress& ip)
{
    QByteArray b(kConfigSize, '\0');
    putBE32(b, 0, quint32(jsonInt(o, QStringLiteral("SerialNumber"), serial)));

    quint32 flags = 0;
    const QJsonValue fv = o.value(QStringLiteral("SettingFlags"));
    if (fv.isArray()) {
        for (const QJsonValue& n : fv.toArray()) {
            const int bit = settingBit(n.toString());
            if (bit >= 0) {
                flags |= 0x80000000u >> bit;
            }
        }
    } else if (!fv.isUndefined()) {
        flags = quint32(jsonInt(o, QStringLiteral("SettingFlags"), 0));
    } else {
        // Two valves fitted, inlets 1 and 2 in use, the Ethernet option.
        for (const char* n :
             {"Sol1Installed", "Sol2Installed", "Gas1Enabled", "Gas2Enabled", "EthernetInstalled"}) {
            flags |= 0x80000000u >> settingBit(QLatin1String(n));
        }
    }
    putBE32(b, 4, flags);
    putBE16(b, 8, quint32(jsonInt(o, QStringLiteral("FirmwareVersion"), 756)));
    putBE16(b, 10, 0);
    putBE32(b, 12, quint32(jsonInt(o, QStringLiteral("FirstRecord"), 0)));
    putBE32(b, 16, quint32(jsonInt(o, QStringLiteral("NextRecord"), 0)));
    putBE16(b, 20, quint32(jsonInt(o, QStringLiteral("VisualSpan"), 50)));
    putBE16(b, 22, quint32(jsonInt(o, QStringLiteral("AudioSpan"), 5)));
    putBE16(b, 24, quint32(jsonInt(o, QStringLiteral("AudioMin"), 90)));
    b[26] = char(jsonInt(o, QStringLiteral("BumpLow"), 50));
    b[27] = char(jsonInt(o, QStringLiteral("BumpHigh"), 150));
    b[28] = char(jsonInt(o, QStringLiteral("LCDContrast"), 20));
    b[29] = char(jsonInt(o, QStringLiteral("LowFlowPoint"), 21));
    // A locally administered MAC address derived from the serial number.
    const QByteArray mac =
        QByteArray::fromHex(o.value(QStringLiteral("MACAddress")).toString().remove(':').toLatin1());
    for (int i = 0; i < 6; ++i) {
        b[30 + i] = mac.size() == 6 ? mac[i]
                                    : char(i < 2 ? (i == 0 ? 0x02 : 0x56) : (serial >> (8 * (5 - i))) & 0xFF);
    }
    putAddress(b, 36, o, QStringLiteral("IPAddress"), ip.toIPv4Address());
    putAddress(b, 40, o, QStringLiteral("GatewayAddress"), 0x7F000001);
    putAddress(b, 44, o, QStringLiteral("SubnetMask"), 0xFF000000);
    b[48] = 0;
    b[49] = char(jsonInt(o, QStringLiteral("IrDASpeedMask"), 63));
    putBE16(b, 50, quint32(jsonInt(o, QStringLiteral("AccessPIN"), 0)));

    const QJsonArray inlets = o.value(QStringLiteral("Inlets")).toArray();
    for (int i = 0; i < 4; ++i) {
        const int base = 52 + 60 * i;
        const QJsonObject in = inlets.at(i).toObject();
        putText(b, base, 16, in.value(QStringLiteral("GasType")).toString(), ' ');
        b[base + 16] = char(jsonInt(in, QStringLiteral("GasPriority"), 0));
        putBE16(b, base + 17, quint32(jsonInt(in, QStringLiteral("Reserved17"), 0)));
        b[base + 19] = char(jsonInt(in, QStringLiteral("Reserved19"), 0));
        const QJsonArray comps = in.value(QStringLiteral("Components")).toArray();
        for (int c = 0; c < 10; ++c) {
            const QJsonObject co = comps.at(c).toObject();
            const bool present = c < comps.size();
            putBE16(b, base + 20 + 2 * (9 - c),
                    present ? quint32(jsonInt(co, QStringLiteral("Concentration"), 0)) : 65535);
            b[base + 40 + (9 - c)] = char(present ? jsonInt(co, QStringLiteral("GasCode"), 255) : 255);
            b[base + 50 + (9 - c)] = char(present ? jsonInt(co, QStringLiteral("BumpDuration"), 30) : 255);
        }
    }
    b[292] = char(jsonInt(o, QStringLiteral("CalInterval"), 30));
    putText(b, 293, 24, o.value(QStringLiteral("DockDescription")).toString());
    b[317] = 0;
    putText(b, 318, 50, o.value(QStringLiteral("EmailRecipient")).toString());
    putText(b, 368, 50, o.value(QStringLiteral("EmailText")).toString());
    putAddress(b, 418, o, QStringLiteral("SMTPAddress"), 0);
    b[422] = char(jsonInt(o, QStringLiteral("PumpFlow"), 50));
    b[423] = char(jsonInt(o, QStringLiteral("MicGain"), 30));
    b[424] = char(jsonInt(o, QStringLiteral("ProtocolVersion"), 1));
    b[425] = char(jsonInt(o, QStringLiteral("DHCPDelay"), 0));
    putBE32(b, 426, quint32(jsonInt(o, QStringLiteral("AutoBumpTime1"), 2147483647)));
    putBE32(b, 430, quint32(jsonInt(o, QStringLiteral("AutoBumpTime2"), 2147483647)));
    putBE32(b, 434, quint32(jsonInt(o, QStringLiteral("AutoBumpTime3"), 2147483647)));
    for (int i = 438; i < kConfigSize; ++i) {
        b[i] = 'h';
    }
    return b;
}

QByteArray buildTestRecord(const QJsonObject& o)
{
    if (o.contains(QStringLiteral("hex"))) {
        QByteArray raw = QByteArray::fromHex(o.value(QStringLiteral("hex")).toString().toLatin1());
        raw.resize(kTestRecordSize, '\0');
        return raw;
    }
    QByteArray b(kTestRecordSize, '\0');
    putBE32(b, 0, quint32(jsonInt(o, QStringLiteral("InstrumentSerial"), 0)));
    putBE32(b, 4, quint32(jsonTime(o, QStringLiteral("TestTime"), 0)));
    putBE32(b, 8, quint32(jsonTime(o, QStringLiteral("FullCalDate"), 0)));
    putBE16(b, 12, quint32(jsonInt(o, QStringLiteral("InstrumentVersion"), 0)));
    b[14] = char(jsonInt(o, QStringLiteral("InstrumentBattery"), 0));
    b[15] = char(jsonInt(o, QStringLiteral("RemindInterval"), 0));
    b[16] = char(jsonInt(o, QStringLiteral("AudioDbMin"), 0));
    b[17] = char(jsonInt(o, QStringLiteral("AudioDbMaxLeft"), 0));
    putBE16(b, 18, quint32(jsonInt(o, QStringLiteral("PassFailFlags"), 0)));
    const QJsonArray sensors = o.value(QStringLiteral("Sensors")).toArray();
    for (const QJsonValue& sv : sensors) {
        const QJsonObject s = sv.toObject();
        const int slot = int(jsonInt(s, QStringLiteral("Slot"), -1));
        if (slot < 0 || slot >= kSlotCount) {
            continue;
        }
        const int e = 20 + kSensorEntrySize * (6 - slot); // entry 6 - slot
        putBE32(b, e + 0, quint32(jsonInt(s, QStringLiteral("SensorSerial"), 0)));
        putBE16(b, e + 4, quint32(jsonInt(s, QStringLiteral("TWAAlarm"), 0)));
        putBE16(b, e + 6, quint32(jsonInt(s, QStringLiteral("STELAlarm"), 0)));
        putBE16(b, e + 8, quint32(jsonInt(s, QStringLiteral("HighAlarm"), 0)));
        putBE16(b, e + 10, quint32(jsonInt(s, QStringLiteral("WarningAlarm"), 0)));
        putBE16(b, e + 12, quint32(jsonInt(s, QStringLiteral("Reserved12"), 0)));
        putBE16(b, e + 14, quint32(jsonInt(s, QStringLiteral("LowAlarm"), 0)));
        putBE16(b, e + 16, quint32(jsonInt(s, QStringLiteral("OldSpan"), 0)));
        putBE16(b, e + 18, quint32(jsonInt(s, QStringLiteral("CalGasValue"), 0)));
        putBE16(b, e + 20, quint32(jsonInt(s, QStringLiteral("MaxPossibleSpan"), 0)));
        putBE16(b, e + 22, quint32(jsonInt(s, QStringLiteral("BumpResponse"), 0)));
        b[e + 24] = char(jsonInt(s, QStringLiteral("BumpTime"), 0));
        b[e + 25] = char(jsonInt(s, QStringLiteral("T63"), 0));
        b[e + 26] = char(jsonInt(s, QStringLiteral("SensorType"), 0));
        b[e + 27] = char(jsonInt(s, QStringLiteral("GasPort"), 0));
        putBE16(b, e + 28, quint32(jsonInt(s, QStringLiteral("GasValue"), 0)));
        putBE16(b, e + 30, quint32(jsonInt(s, QStringLiteral("VOCRatio"), 0)));
        putBE16(b, e + 32, quint32(jsonInt(s, QStringLiteral("ExpiryDate"), 0)));
        putBE16(b, e + 34, quint32(jsonInt(s, QStringLiteral("SensorStatus"), 0)));
    }
    putBE16(b, 272, quint32(jsonInt(o, QStringLiteral("InstrumentFlags"), 0)));
    b[274] = char(jsonInt(o, QStringLiteral("AudioDbMaxRight"), 0));
    b[275] = char(jsonInt(o, QStringLiteral("VOCCode"), 0));
    return b;
}

// Default sensors of an instrument that names none: O2, LEL, CO and H2S.
static QJsonArray defaultSensors()
{
    QJsonArray a;
    auto add = [&](int slot, int type, int serial, int low, int warn, int high, int stel, int twa, int cal) {
        QJsonObject s;
        s[QStringLiteral("slot")] = slot;
        s[QStringLiteral("type")] = type;
        s[QStringLiteral("serial")] = serial;
        s[QStringLiteral("lowAlarm")] = low;
        s[QStringLiteral("warningAlarm")] = warn;
        s[QStringLiteral("highAlarm")] = high;
        s[QStringLiteral("stelAlarm")] = stel;
        s[QStringLiteral("twaAlarm")] = twa;
        s[QStringLiteral("calGas")] = cal;
        a.append(s);
    };
    add(0, 11, 100001, 195, 0, 235, 0, 0, 209);
    add(1, 21, 100002, 0, 10, 20, 0, 0, 50);
    add(3, 81, 100003, 0, 35, 200, 400, 35, 100);
    add(4, 101, 100004, 0, 10, 15, 15, 10, 25);
    return a;
}

QByteArray buildInstrumentImage(const QJsonObject& in)
{
    QByteArray img(kImageSize, '\0');
    if (in.contains(QStringLiteral("imageHex"))) {
        QByteArray raw = QByteArray::fromHex(in.value(QStringLiteral("imageHex")).toString().toLatin1());
        raw.resize(kImageSize, '\0');
        return raw;
    }
    // Unit memory. Bytes not named below carry a recognisable pattern so that a write-back that
    // loses or moves them shows.
    for (int i = 0; i < kUnitSize; ++i) {
        img[i] = char((i * 7 + 3) & 0xFF);
    }
    img[3] = char(jsonInt(in, QStringLiteral("statusFlags"), 0));
    putLE32(img, 4, quint32(jsonInt(in, QStringLiteral("serial"), 123456)));
    putLE16(img, 8, quint32(jsonInt(in, QStringLiteral("firmwareVersion"), 110)));
    putLE32(img, 12, quint32(jsonTime(in, QStringLiteral("turnOnTime"), 800000000)));
    putLE32(img, 16, quint32(jsonInt(in, QStringLiteral("runTime"), 3600)));
    putLE16(img, 20, quint32(jsonInt(in, QStringLiteral("backlightTimeout"), 10)));
    putLE16(img, kUnitPinOffset, quint32(jsonInt(in, QStringLiteral("pin"), 0)));
    putLE16(img, 32, quint32(jsonInt(in, QStringLiteral("securityBeep"), 0)));
    putLE16(img, 34, quint32(jsonInt(in, QStringLiteral("sampleInterval"), 60)));
    putLE32(img, 36, quint32(jsonTime(in, QStringLiteral("lastCal"), 790000000)));
    putLE32(img, 40, quint32(jsonTime(in, QStringLiteral("lastBump"), 795000000)));
    putLE32(img, 52, quint32(jsonInt(in, QStringLiteral("options"), (1u << 22) | (1u << 10) | (1u << 11))));
    putLE16(img, 56, quint32(jsonInt(in, QStringLiteral("calReminder"), 180)));
    putLE16(img, 58, quint32(jsonInt(in, QStringLiteral("bumpReminder"), 30)));
    putLE16(img, 60, quint32(jsonInt(in, QStringLiteral("serviceReminder"), 365)));
    img[62] = char(jsonInt(in, QStringLiteral("stelPeriod"), 15));
    img[63] = char(jsonInt(in, QStringLiteral("twaPeriod"), 8));
    putLE32(img, 64, quint32(jsonTime(in, QStringLiteral("lastService"), 780000000)));

    // Sensor slots: empty slots hold type 0.
    for (int s = 0; s < kSlotCount; ++s) {
        const int base = kUnitSize + kSlotSize * s;
        for (int i = 0; i < kSlotSize; ++i) {
            img[base + i] = char((i * 5 + s + 1) & 0xFF);
        }
        img[base + 2] = 0;
        img[base + 3] = 0;
    }
    const QJsonArray sensors = in.contains(QStringLiteral("sensors"))
                                   ? in.value(QStringLiteral("sensors")).toArray()
                                   : defaultSensors();
    for (const QJsonValue& v : sensors) {
        const QJsonObject s = v.toObject();
        const int slot = int(jsonInt(s, QStringLiteral("slot"), -1));
        if (slot < 0 || slot >= kSlotCount) {
            continue;
        }
        const int base = kUnitSize + kSlotSize * slot;
        img[base + 2] = char(jsonInt(s, QStringLiteral("flags"), 0x20));
        img[base + 3] = char(jsonInt(s, QStringLiteral("type"), 0));
        putLE32(img, base + 4, quint32(jsonInt(s, QStringLiteral("serial"), 0)));
        putLE32(img, base + 8, quint32(jsonTime(s, QStringLiteral("lastSpan"), 790000000)));
        putLE32(img, base + 12, quint32(jsonTime(s, QStringLiteral("lastZero"), 790000000)));
        putLE16(img, base + 16, quint32(jsonInt(s, QStringLiteral("lowAlarm"), 0)));
        putLE16(img, base + 20, quint32(jsonInt(s, QStringLiteral("warningAlarm"), 0)));
        putLE16(img, base + 22, quint32(jsonInt(s, QStringLiteral("highAlarm"), 0)));
        putLE16(img, base + 24, quint32(jsonInt(s, QStringLiteral("stelAlarm"), 0)));
        putLE16(img, base + 26, quint32(jsonInt(s, QStringLiteral("twaAlarm"), 0)));
        putLE16(img, base + 44, quint32(jsonInt(s, QStringLiteral("calGas"), 0)));
        putLE16(img, base + 54, quint32(jsonInt(s, QStringLiteral("calFrom"), 0)));
        putLE16(img, base + 56, quint32(jsonInt(s, QStringLiteral("calTo"), 0)));
        putLE16(img, base + 126, quint32(jsonInt(s, QStringLiteral("t63"), 20)));
        putLE32(img, base + 136, quint32(jsonTime(s, QStringLiteral("lastBump"), 795000000)));
        putLE32(img, base + 144, quint32(jsonTime(s, QStringLiteral("manufactured"), 700000000)));
        putLE32(img, base + 148, quint32(jsonTime(s, QStringLiteral("warrantyEnd"), 900000000)));
        putLE16(img, base + 208, quint32(jsonInt(s, QStringLiteral("vocFactor"), 100)));
        img[base + 224] = char(jsonInt(s, QStringLiteral("vocCode"), 0));
    }
    // The 384 bytes no command reads or writes.
    for (int i = 2056; i < kScreensOffset; ++i) {
        img[i] = 0;
    }
    const QJsonArray screens = in.value(QStringLiteral("screens")).toArray();
    for (int k = 0; k < 8; ++k) {
        const QString text =
            k < screens.size() ? screens.at(k).toString() : QStringLiteral("Screen %1").arg(k + 1);
        putText(img, kScreensOffset + 16 * k, 15, text, ' ');
        img[kScreensOffset + 16 * k + 15] = 0;
    }
    return img;
}

static int slotType(const QByteArray& image, int slot)
{
    return quint8(image[kUnitSize + kSlotSize * slot + 3]);
}

QList<QByteArray> buildEventRecords(const QJsonObject& in)
{
    QList<QByteArray> out;
    const QJsonValue ev = in.value(QStringLiteral("events"));
    QJsonArray list;
    if (ev.isArray()) {
        list = ev.toArray();
    } else {
        const int n = int(jsonInt(in, QStringLiteral("events"), 0));
        for (int i = 0; i < n; ++i) {
            QJsonObject e;
            e[QStringLiteral("start")] = 800000000 + 3600 * i;
            e[QStringLiteral("duration")] = 30 + i;
            list.append(e);
        }
    }
    const QByteArray image = buildInstrumentImage(in);
    for (int i = 0; i < list.size(); ++i) {
        const QJsonObject e = list.at(i).toObject();
        if (e.contains(QStringLiteral("hex"))) {
            QByteArray raw = QByteArray::fromHex(e.value(QStringLiteral("hex")).toString().toLatin1());
            raw.resize(kEventSize, '\0');
            out.append(raw);
            continue;
        }
        QByteArray r(kEventSize, '\0');
        putLE32(r, 0, quint32(jsonTime(e, QStringLiteral("start"), 800000000 + 3600 * i)));
        putLE16(r, 4, quint32(jsonInt(e, QStringLiteral("duration"), 30)));
        const QJsonArray mins = e.value(QStringLiteral("min")).toArray();
        const QJsonArray maxs = e.value(QStringLiteral("max")).toArray();
        const QJsonArray avgs = e.value(QStringLiteral("avg")).toArray();
        for (int s = 0; s < 6; ++s) {
            r[6 + s] = char(slotType(image, s));
            putLE16(r, 12 + 2 * s, quint32(mins.size() > s ? mins.at(s).toInt() : s * 2));
            putLE16(r, 24 + 2 * s, quint32(maxs.size() > s ? maxs.at(s).toInt() : 100 + s * 10 + i));
            putLE16(r, 36 + 2 * s, quint32(avgs.size() > s ? avgs.at(s).toInt() : 50 + s));
        }
        out.append(r);
    }
    return out;
}

QList<SimSession> buildSessions(const QJsonObject& in, const QByteArray& image)
{
    QList<SimSession> out;
    const QJsonValue sv = in.value(QStringLiteral("sessions"));
    QJsonArray list;
    if (sv.isArray()) {
        list = sv.toArray();
    } else {
        const int n = int(jsonInt(in, QStringLiteral("sessions"), 0));
        for (int i = 0; i < n; ++i) {
            QJsonObject s;
            s[QStringLiteral("number")] = i + 1;
            s[QStringLiteral("records")] = 5;
            list.append(s);
        }
    }
    int sensorsPresent = 0;
    for (int s = 0; s < 6; ++s) {
        const int t = slotType(image, s);
        if (t != 0 && t != 254) {
            ++sensorsPresent;
        }
    }
    for (int i = 0; i < list.size(); ++i) {
        const QJsonObject s = list.at(i).toObject();
        SimSession ses;
        ses.number = int(jsonInt(s, QStringLiteral("number"), i + 1)) & 0xFF;
        const int nSensors = int(jsonInt(s, QStringLiteral("sensors"), sensorsPresent));
        const int nRecords = int(jsonInt(s, QStringLiteral("records"), 5));
        const int interval = int(jsonInt(s, QStringLiteral("interval"), 60));
        const quint32 start = quint32(jsonTime(s, QStringLiteral("start"), 800000000 + 86400 * i));
        QByteArray h(kSessionHeaderSize, '\0');
        h[9] = char(ses.number);
        putLE16(h, 10, getLE16(image, 8));
        putLE32(h, 12, getLE32(image, 4));
        putLE32(h, 16, getLE32(image, 52));
        putLE32(h, 20, start);
        putLE32(h, 24, quint32(jsonTime(s, QStringLiteral("stop"), start + quint32(interval * nRecords))));
        for (int slot = 0; slot < 6; ++slot) {
            const int base = kUnitSize + kSlotSize * slot;
            putLE32(h, 28 + 4 * slot, getLE32(image, base + 4));
            for (int k = 0; k < 5; ++k) {
                putLE16(h, 52 + 10 * slot + 2 * k, quint32(10 * k + slot));
            }
            putLE16(h, 112 + 12 * slot + 0, getLE16(image, base + 16));
            putLE16(h, 112 + 12 * slot + 2, getLE16(image, base + 16));
            putLE16(h, 112 + 12 * slot + 4, getLE16(image, base + 20));
            putLE16(h, 112 + 12 * slot + 6, getLE16(image, base + 22));
            putLE16(h, 112 + 12 * slot + 8, getLE16(image, base + 24));
            putLE16(h, 112 + 12 * slot + 10, getLE16(image, base + 26));
            putLE32(h, 196 + 4 * slot, getLE32(image, base + 12));
            putLE32(h, 220 + 4 * slot, getLE32(image, base + 8));
            h[244 + slot] = char(slotType(image, slot));
        }
        h[250] = char(jsonInt(s, QStringLiteral("alarmFlags"), 0));
        putLE16(h, 252, quint32(qint16(jsonInt(s, QStringLiteral("minTemp"), 18))));
        putLE16(h, 254, quint32(qint16(jsonInt(s, QStringLiteral("maxTemp"), 24))));
        putLE16(h, 256, quint32(jsonInt(s, QStringLiteral("announcedRecords"), nRecords)));
        h[258] = char(nSensors);
        h[259] = char(jsonInt(s, QStringLiteral("vocCode"), 0));
        putLE16(h, 260, quint32(interval));
        putText(h, 264, 16, s.value(QStringLiteral("user")).toString(QStringLiteral("Operator")));
        putText(h, 280, 16,
                s.value(QStringLiteral("location")).toString(QStringLiteral("Site %1").arg(ses.number)));
        ses.header = h;
        for (int r = 0; r < nRecords; ++r) {
            QByteArray rec(8 + 16 * nSensors, '\0');
            rec[0] = char(20 + 64 + (r % 5));
            rec[1] = char(40 - (r % 3));
            rec[2] = 0;
            rec[3] = char(ses.number);
            for (int k = 0; k < nSensors; ++k) {
                const int o = 8 + 16 * k;
                putLE16(rec, o + 0, quint32(100 + r + k));
                putLE16(rec, o + 2, quint32(r + k));
                putLE16(rec, o + 4, quint32(50 + r));
                putLE16(rec, o + 6, quint32(k));
                putLE16(rec, o + 8, quint32(k + 1));
                putLE16(rec, o + 10, 0);
            }
            ses.records.append(rec);
        }
        out.append(ses);
    }
    return out;
}

} // namespace vx8::sim
