#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QString>

// The byte images the simulated dock and instrument hold, built from scenario JSON.
//
// Dock records (big-endian):
//   configuration 504 bytes  - fields named as DockConfigRecord (SerialNumber, SettingFlags, ...)
//   test record   276 bytes  - fields named as TestRecord (InstrumentSerial, TestTime, ...),
//                              "Sensors": [{"Slot": s, "SensorSerial": ..., ...}] (entry 6 - s on the wire)
// Instrument images (little-endian):
//   memory image 2568 bytes  - unit memory 0..263, slot s at 264 + 256 s, screens at 2440 + 16 k
//   event record 48 bytes, session header 296 bytes, data-logger record 8 + 16 n bytes
namespace vx8::sim {

constexpr int kConfigSize = 504;
constexpr int kTestRecordSize = 276;
constexpr int kSensorEntrySize = 36;
constexpr int kImageSize = 2568;
constexpr int kUnitSize = 264;
constexpr int kSlotSize = 256;
constexpr int kSlotCount = 7;
constexpr int kScreensOffset = 2440;
constexpr int kScreensSize = 128;
constexpr int kEventSize = 48;
constexpr int kSessionHeaderSize = 296;
constexpr int kFirmwareSize = 262144;
constexpr int kDockFlashSize = 131072;
constexpr int kKernelSize = 4096;
constexpr int kKernelFirstBlock = 2304;
// The instrument type code the instrument answers WHO with and carries in its firmware file.
constexpr int kInstrumentTypeCode = 15;
// Where this simulator keeps the instrument's access PIN in the unit memory (16-bit, little-endian).
constexpr int kUnitPinOffset = 26;

// Reads a JSON number (or a numeric text, "0x" hex allowed); `def` when absent or not a number.
qint64 jsonInt(const QJsonObject& o, const QString& key, qint64 def);
// A time field: a number of seconds since 2000-01-01, or an ISO date-time text.
qint64 jsonTime(const QJsonObject& o, const QString& key, qint64 def);

// SettingFlags bit numbers by property name (bit n is bit 31 - n of the 32-bit word).
int settingBit(const QString& name);

QByteArray buildConfiguration(const QJsonObject& o, quint32 serial, const QHostAddress& ip);
QByteArray buildTestRecord(const QJsonObject& o);
QByteArray buildInstrumentImage(const QJsonObject& instrument);
QList<QByteArray> buildEventRecords(const QJsonObject& instrument);

struct SimSession
{
    int number = 0;
    QByteArray header;         // 296 bytes
    QList<QByteArray> records; // 8 + 16 n bytes each, record number i + 1
};
QList<SimSession> buildSessions(const QJsonObject& instrument, const QByteArray& image);

} // namespace vx8::sim
