#include "common/Formatting.h"

#include <QLocale>
#include <QtTest>

#include <climits>

using namespace vx8;

class TestFormatting : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void gasTable_data();
    void gasTable();
    void gasCodeOfName_data();
    void gasCodeOfName();

    void formatGasValue_data();
    void formatGasValue();
    void formatGasEditText_data();
    void formatGasEditText();
    void formatGasReading_data();
    void formatGasReading();
    // The same tables under a locale that writes a decimal comma.
    void formatGasValueCommaLocale_data() { formatGasValue_data(); }
    void formatGasValueCommaLocale();
    void formatGasReadingCommaLocale_data() { formatGasReading_data(); }
    void formatGasReadingCommaLocale();

    void serials_data();
    void serials();
    void formatHundredths_data();
    void formatHundredths();
    void formatDuration_data();
    void formatDuration();
    void bitIsSet_data();
    void bitIsSet();
    void addTrailingBackslash_data();
    void addTrailingBackslash();
    void checkIPAddress_data();
    void checkIPAddress();

    void bytesToTextKeepsZeros();
    void zBytesToText_data();
    void zBytesToText();
    void textToBytesStaysInsideTheBuffer();

private:
    QLocale m_savedLocale;
};

void TestFormatting::init()
{
    m_savedLocale = QLocale();
    QLocale::setDefault(QLocale::c());
}

void TestFormatting::cleanup()
{
    QLocale::setDefault(m_savedLocale);
}

// ---- Gas code table ----------------------------------------------------------------------------

void TestFormatting::gasTable_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("divisor");
    QTest::addColumn<double>("resolution");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("decimals");

    struct Row
    {
        int code;
        const char* name;
        int divisor;
        double resolution;
        const char* unit;
        int decimals;
    };
    // Both ends of every range of the gas code table, and the single codes.
    const Row rows[] = {
        {0, "Unknown (0)", 10, 0.01, "ppm", 1},
        {9, "Unknown (9)", 10, 0.01, "ppm", 1},
        {10, "O2", 10, 0.1, "%", 1},
        {19, "O2", 10, 0.1, "%", 1},
        {20, "LEL", 10, 1.0, "%", 0},
        {27, "LEL", 10, 1.0, "%", 0},
        {28, "CH4", 10, 1.0, "%", 0},
        {29, "LEL", 10, 1.0, "%", 0},
        {30, "VOC", 10, 0.1, "ppm", 1},
        {39, "VOC", 10, 0.1, "ppm", 1},
        {40, "EX", 10, 0.1, "ppm", 1},
        {41, "CH4", 1000, 0.01, "%", 2},
        {42, "LEL", 10, 0.01, "ppm", 1},
        {43, "Unknown (43)", 10, 0.01, "ppm", 1},
        {69, "Unknown (69)", 10, 0.01, "ppm", 1},
        {70, "CO2", 1000, 0.01, "%", 2},
        {79, "CO2", 1000, 0.01, "%", 2},
        {80, "CO", 10, 0.1, "ppm", 1},
        {82, "CO", 10, 0.1, "ppm", 1},
        {83, "CO+", 10, 0.1, "ppm", 1},
        {84, "CO-", 10, 0.1, "ppm", 1},
        {85, "CO", 10, 0.1, "ppm", 1},
        {99, "CO", 10, 0.1, "ppm", 1},
        {100, "H2S", 10, 0.1, "ppm", 1},
        {119, "H2S", 10, 0.1, "ppm", 1},
        {120, "SO2", 10, 0.1, "ppm", 1},
        {129, "SO2", 10, 0.1, "ppm", 1},
        {130, "Cl2", 10, 0.1, "ppm", 1},
        {139, "Cl2", 10, 0.1, "ppm", 1},
        {140, "ClO2", 100, 0.01, "ppm", 2},
        {149, "ClO2", 100, 0.01, "ppm", 2},
        {150, "NO2", 10, 0.1, "ppm", 1},
        {159, "NO2", 10, 0.1, "ppm", 1},
        {160, "NO", 10, 0.1, "ppm", 1},
        {169, "NO", 10, 0.1, "ppm", 1},
        {170, "NH3", 10, 0.1, "ppm", 1},
        {179, "NH3", 10, 0.1, "ppm", 1},
        {180, "PH3", 10, 0.1, "ppm", 1},
        {189, "PH3", 10, 0.1, "ppm", 1},
        {190, "HCN", 10, 0.1, "ppm", 1},
        {199, "HCN", 10, 0.1, "ppm", 1},
        {200, "Unknown (200)", 10, 0.1, "ppm", 1},
        {201, "Unknown (201)", 10, 0.1, "ppm", 1},
        {209, "Unknown (209)", 10, 0.1, "ppm", 1},
        {210, "Unknown (210)", 10, 0.01, "ppm", 1},
        {255, "Unknown (255)", 10, 0.01, "ppm", 1},
        // Not a byte: handled like the unnamed codes, never an index out of a table.
        {256, "Unknown (256)", 10, 0.1, "ppm", 1},
        {-1, "Unknown (-1)", 10, 0.1, "ppm", 1},
    };
    for (const Row& r : rows) {
        QTest::addRow("code %d", r.code) << r.code << QString::fromLatin1(r.name) << r.divisor << r.resolution
                                         << QString::fromLatin1(r.unit) << r.decimals;
    }
}

void TestFormatting::gasTable()
{
    QFETCH(int, code);
    QFETCH(QString, name);
    QFETCH(int, divisor);
    QFETCH(double, resolution);
    QFETCH(QString, unit);
    QFETCH(int, decimals);
    QCOMPARE(GasName(code), name);
    QCOMPARE(GasDivisor(code), divisor);
    QCOMPARE(GasResolution(code), resolution);
    QCOMPARE(GasUnit(code), unit);
    QCOMPARE(GasDecimals(code), decimals);
}

void TestFormatting::gasCodeOfName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("code");
    QTest::newRow("O2") << "O2" << 11;
    QTest::newRow("CO") << "CO" << 81;
    QTest::newRow("co_duo") << "co_duo" << 81;
    QTest::newRow(" CO_DUO ") << " CO_DUO " << 81;
    QTest::newRow("CO+") << "CO+" << 83;
    QTest::newRow("CO-") << "CO-" << 84;
    QTest::newRow("H2S") << "H2S" << 101;
    QTest::newRow("H2s_Duo") << "\tH2s_Duo" << 101;
    QTest::newRow("SO2") << "SO2" << 121;
    QTest::newRow("CL2") << "CL2" << 131;
    QTest::newRow("CLO2") << "CLO2" << 141;
    QTest::newRow("NH3") << "NH3" << 171;
    QTest::newRow("NO2") << "NO2" << 151;
    QTest::newRow("PH3") << "PH3" << 181;
    QTest::newRow("HCN") << "HCN" << 191;
    QTest::newRow("LEL") << "LEL" << 21;
    QTest::newRow("H2") << "H2" << 201;
    QTest::newRow("VOC") << "VOC" << 31;
    QTest::newRow("CH4") << "CH4" << 41;
    QTest::newRow("CO2") << "CO2" << 71;
    // Exact comparison: case matters and blanks are not trimmed.
    QTest::newRow("co lower case") << "co" << 0;
    QTest::newRow("CO with blank") << " CO" << 0;
    QTest::newRow("Cl2 of the name table") << "Cl2" << 0;
    QTest::newRow("ClO2 of the name table") << "ClO2" << 0;
    QTest::newRow("NO has no code") << "NO" << 0;
    QTest::newRow("EX has no code") << "EX" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("co_duo with suffix") << "co_duo2" << 0;
}

void TestFormatting::gasCodeOfName()
{
    QFETCH(QString, name);
    QFETCH(int, code);
    QCOMPARE(GasCodeOfName(name), code);
}

// ---- Readings ----------------------------------------------------------------------------------

namespace {

void readingColumns()
{
    QTest::addColumn<int>("raw");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("appendUnit");
    QTest::addColumn<QString>("expected");
}

void addReading(const char* tag, int raw, int code, bool unit, const char* expected)
{
    QTest::newRow(tag) << raw << code << unit << QString::fromLatin1(expected);
}

QString withComma(QString text)
{
    return text.replace(QLatin1Char('.'), QLatin1Char(','));
}

} // namespace

void TestFormatting::formatGasValue_data()
{
    readingColumns();
    addReading("O2 20.9", 209, 11, true, "20.9 %");
    addReading("O2 without unit", 209, 11, false, "20.9");
    addReading("O2 zero", 0, 11, true, "N/A");
    addReading("O2 negative", -5, 11, true, "N/A");
    addReading("O2 small", 5, 10, true, "0.5 %");
    addReading("O2 code 19", 250, 19, true, "25.0 %");
    addReading("CO zero", 0, 81, true, "Disabled");
    addReading("LEL 5.5 to even 6", 55, 21, true, "  6 %");
    addReading("LEL 4.5 to even 4", 45, 21, true, "  4 %");
    addReading("LEL 1.5 to 2", 15, 20, true, "  2 %");
    addReading("LEL 2.5 to 2", 25, 29, true, "  2 %");
    addReading("LEL 4.6 to 5", 46, 21, true, "  5 %");
    addReading("LEL 100", 1000, 21, true, "100 %");
    addReading("LEL wider than 3", 10004, 21, true, "1000 %");
    addReading("CH4 code 28", 500, 28, true, " 50 %");
    addReading("LEL zero", 0, 29, true, "N/A");
    addReading("VOC 5.5 to 6", 55, 31, true, " 6 ppm");
    addReading("VOC 6.5 to 6", 65, 30, true, " 6 ppm");
    addReading("VOC 123.4", 1234, 39, true, "123 ppm");
    addReading("VOC zero", 0, 39, true, "N/A");
    addReading("EX 12.3 rounded", 123, 40, true, " 12 %");
    addReading("EX zero", 0, 40, true, "N/A");
    addReading("CH4 code 41", 2500, 41, true, "2.50 %");
    addReading("CH4 1.005 rounds up", 1005, 41, true, "1.01 %");
    addReading("CH4 0.004", 4, 41, true, "0.00 %");
    addReading("CH4 0.005", 5, 41, true, "0.01 %");
    addReading("CH4 zero", 0, 41, true, "Disabled");
    addReading("CO2 50", 50000, 71, true, "50.00 %");
    addReading("CO2 code 70", 1234, 70, false, "1.23");
    addReading("CO2 code 79 zero", 0, 79, true, "Disabled");
    addReading("CO code 80", 1, 80, true, "0.1 ppm");
    addReading("CO+", 12, 83, true, "1.2 ppm");
    addReading("H2S 35.0", 350, 101, true, "35.0 ppm");
    addReading("Cl2 code 139", 12, 139, true, "1.2 ppm");
    addReading("ClO2 12.34", 1234, 141, true, "12.34 ppm");
    addReading("ClO2 code 149", 5, 149, true, "0.05 ppm");
    addReading("NO2 code 150", 20, 150, true, "2.0 ppm");
    addReading("PH3 code 180", 1234, 180, true, "123.4 ppm");
    addReading("unknown code 209", 200, 209, true, "20.0 ppm");
    addReading("unknown code 0", 100, 0, true, "Disabled");
    addReading("unknown code 9", 100, 9, true, "Disabled");
    addReading("LEL code 42", 100, 42, true, "Disabled");
    addReading("unknown code 69", 100, 69, true, "Disabled");
    addReading("unknown code 210", 100, 210, true, "Disabled");
    addReading("unknown code 255", 100, 255, true, "Disabled");
    addReading("code 256", 100, 256, true, "Disabled");
}

void TestFormatting::formatGasValue()
{
    QFETCH(int, raw);
    QFETCH(int, code);
    QFETCH(bool, appendUnit);
    QFETCH(QString, expected);
    QCOMPARE(FormatGasValue(raw, code, appendUnit), expected);
}

void TestFormatting::formatGasValueCommaLocale()
{
    QFETCH(int, raw);
    QFETCH(int, code);
    QFETCH(bool, appendUnit);
    QFETCH(QString, expected);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(FormatGasValue(raw, code, appendUnit), withComma(expected));
}

void TestFormatting::formatGasEditText_data()
{
    QTest::addColumn<int>("raw");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("appendUnit");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("low");
    QTest::newRow("O2 20.9") << 209 << 11 << true << "20.9 %" << false;
    QTest::newRow("O2 zero") << 0 << 11 << true << "N/A" << true;
    QTest::newRow("LEL zero") << 0 << 29 << true << "N/A" << true;
    QTest::newRow("EX zero") << 0 << 40 << true << "N/A" << true;
    // Unlike FormatGasValue, VOC starts from "Disabled".
    QTest::newRow("VOC zero") << 0 << 30 << true << "Disabled" << true;
    QTest::newRow("VOC negative") << -10 << 39 << true << "Disabled" << true;
    QTest::newRow("VOC 5.5") << 55 << 31 << true << " 6 ppm" << false;
    QTest::newRow("LEL 4.5") << 45 << 21 << false << "  4" << false;
    QTest::newRow("CO zero") << 0 << 81 << true << "Disabled" << true;
    QTest::newRow("CO2 1.23") << 1234 << 71 << true << "1.23 %" << false;
    QTest::newRow("PH3 stays one decimal") << 1234 << 181 << true << "123.4 ppm" << false;
    QTest::newRow("unknown code") << 100 << 60 << true << "Disabled" << false;
}

void TestFormatting::formatGasEditText()
{
    QFETCH(int, raw);
    QFETCH(int, code);
    QFETCH(bool, appendUnit);
    QFETCH(QString, expected);
    QFETCH(bool, low);
    bool isLow = !low;
    QCOMPARE(FormatGasEditText(raw, code, appendUnit, &isLow), expected);
    QCOMPARE(isLow, low);
    QCOMPARE(FormatGasEditText(raw, code, appendUnit), expected);
}

void TestFormatting::formatGasReading_data()
{
    readingColumns();
    addReading("H2S -0.5", -5, 101, false, "-0.5");
    addReading("H2S missing", -999, 101, false, "N/A");
    addReading("H2S missing with unit", -999, 101, true, "N/A");
    addReading("H2S -99.8", -998, 101, false, "-99.8");
    addReading("H2S zero", 0, 101, true, "0.0 ppm");
    addReading("O2 zero", 0, 11, true, "0.0 %");
    addReading("O2 20.9", 209, 11, true, "20.9 %");
    addReading("VOC with a decimal", 55, 31, true, "5.5 ppm");
    addReading("VOC negative", -12, 39, false, "-1.2");
    addReading("LEL 5.5 to 6", 55, 21, true, "  6 %");
    addReading("LEL -1.5 to -2", -15, 21, true, " -2 %");
    addReading("LEL -2.5 to -2", -25, 21, true, " -2 %");
    addReading("LEL -0.4 to 0", -4, 21, true, "  0 %");
    addReading("LEL zero", 0, 20, true, "  0 %");
    addReading("EX 12.5 to 12", 125, 40, true, " 12 %");
    addReading("CH4 zero", 0, 41, true, "0.00 %");
    addReading("CO2 -1.005", -1005, 71, true, "-1.01 %");
    addReading("CO2 -0.004", -4, 79, false, "-0.00");
    addReading("CO 12.3", 123, 81, true, "12.3 ppm");
    addReading("NH3 code 179", 1234, 179, true, "123.4 ppm");
    addReading("PH3 code 180 two decimals", 1234, 180, true, "123.40 ppm");
    addReading("PH3 code 189 two decimals", 5, 189, true, "0.50 ppm");
    addReading("HCN code 190", 1234, 190, true, "123.4 ppm");
    addReading("ClO2 negative", -1, 140, true, "-0.01 ppm");
    addReading("unknown code 0", 100, 0, true, "N/A");
    addReading("LEL code 42", 100, 42, true, "N/A");
    addReading("unknown code 255", 0, 255, true, "N/A");
}

void TestFormatting::formatGasReading()
{
    QFETCH(int, raw);
    QFETCH(int, code);
    QFETCH(bool, appendUnit);
    QFETCH(QString, expected);
    QCOMPARE(FormatGasReading(raw, code, appendUnit), expected);
}

void TestFormatting::formatGasReadingCommaLocale()
{
    QFETCH(int, raw);
    QFETCH(int, code);
    QFETCH(bool, appendUnit);
    QFETCH(QString, expected);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(FormatGasReading(raw, code, appendUnit), withComma(expected));
}

// ---- Serials, versions, durations ----------------------------------------------------------------

void TestFormatting::serials_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("instr 0") << "instr" << qint64(0) << "000000000";
    QTest::newRow("instr 123") << "instr" << qint64(123) << "000000123";
    QTest::newRow("instr 999999999") << "instr" << qint64(999999999) << "999999999";
    QTest::newRow("instr 1000000000") << "instr" << qint64(1000000000) << "INVALID";
    QTest::newRow("instr INT_MAX") << "instr" << qint64(INT_MAX) << "INVALID";
    QTest::newRow("instr -1") << "instr" << qint64(-1) << "INVALID";
    QTest::newRow("instr INT_MIN") << "instr" << qint64(INT_MIN) << "INVALID";
    QTest::newRow("sensor 0") << "sensor" << qint64(0) << "000000";
    QTest::newRow("sensor 4711") << "sensor" << qint64(4711) << "004711";
    QTest::newRow("sensor 999999") << "sensor" << qint64(999999) << "999999";
    QTest::newRow("sensor 1000000") << "sensor" << qint64(1000000) << "INVALD";
    QTest::newRow("sensor -1") << "sensor" << qint64(-1) << "INVALD";
    QTest::newRow("dock 0") << "dock" << qint64(0) << "00000";
    QTest::newRow("dock 123") << "dock" << qint64(123) << "00123";
    QTest::newRow("dock 99999") << "dock" << qint64(99999) << "99999";
    QTest::newRow("dock 100000") << "dock" << qint64(100000) << "INVLD";
    QTest::newRow("dock 123456") << "dock" << qint64(123456) << "INVLD";
    QTest::newRow("dock UINT_MAX") << "dock" << qint64(UINT_MAX) << "INVLD";
}

void TestFormatting::serials()
{
    QFETCH(QString, kind);
    QFETCH(qint64, value);
    QFETCH(QString, expected);
    if (kind == QLatin1String("instr"))
        QCOMPARE(FormatInstrSerial(value), expected);
    else if (kind == QLatin1String("sensor"))
        QCOMPARE(FormatSensorSerial(value), expected);
    else
        QCOMPARE(FormatDockSerial(quint64(value)), expected);
}

void TestFormatting::formatHundredths_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("123") << 123 << "1.23";
    QTest::newRow("0") << 0 << "0.00";
    QTest::newRow("5") << 5 << "0.05";
    QTest::newRow("100") << 100 << "1.00";
    QTest::newRow("1000") << 1000 << "10.00";
    QTest::newRow("65535") << 65535 << "655.35";
}

void TestFormatting::formatHundredths()
{
    QFETCH(int, value);
    QFETCH(QString, expected);
    QCOMPARE(FormatHundredths(quint16(value)), expected);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(FormatHundredths(quint16(value)), withComma(expected));
}

void TestFormatting::formatDuration_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("expected");
    QTest::newRow("3725") << qint64(3725) << "01h 02m 05s";
    QTest::newRow("360000") << qint64(360000) << "100h 00m 00s";
    QTest::newRow("0") << qint64(0) << "00h 00m 00s";
    QTest::newRow("59") << qint64(59) << "00h 00m 59s";
    QTest::newRow("60") << qint64(60) << "00h 01m 00s";
    QTest::newRow("3599") << qint64(3599) << "00h 59m 59s";
    QTest::newRow("3600") << qint64(3600) << "01h 00m 00s";
    QTest::newRow("86399") << qint64(86399) << "23h 59m 59s";
    QTest::newRow("negative") << qint64(-3725) << "-01h 02m 05s";
}

void TestFormatting::formatDuration()
{
    QFETCH(qint64, seconds);
    QFETCH(QString, expected);
    QCOMPARE(FormatDuration(seconds), expected);
}

void TestFormatting::bitIsSet_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("bit");
    QTest::addColumn<int>("expected");
    for (int bit = 0; bit <= 9; ++bit)
        QTest::addRow("0xFF bit %d", bit) << 0xFF << bit << (bit < 8 ? 1 : 0);
    QTest::newRow("0xFF bit 31") << 0xFF << 31 << 0;
    QTest::newRow("0xFF bit 32 is bit 0") << 0xFF << 32 << 1;
    QTest::newRow("0x01 bit 32 is bit 0") << 0x01 << 32 << 1;
    QTest::newRow("0x01 bit 33 is bit 1") << 0x01 << 33 << 0;
    QTest::newRow("0x02 bit 33 is bit 1") << 0x02 << 33 << 1;
    QTest::newRow("0x05 bit 1") << 0x05 << 1 << 0;
    QTest::newRow("0x05 bit 2") << 0x05 << 2 << 1;
    QTest::newRow("0x80 bit 7") << 0x80 << 7 << 1;
    QTest::newRow("0x80 bit 6") << 0x80 << 6 << 0;
    QTest::newRow("0x00 bit 0") << 0x00 << 0 << 0;
    QTest::newRow("0xFF bit -1 is bit 31") << 0xFF << -1 << 0;
    QTest::newRow("0x01 bit -32 is bit 0") << 0x01 << -32 << 1;
}

void TestFormatting::bitIsSet()
{
    QFETCH(int, value);
    QFETCH(int, bit);
    QFETCH(int, expected);
    QCOMPARE(BitIsSet(quint8(value), bit), expected);
}

void TestFormatting::addTrailingBackslash_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("without") << "/srv/qc"
                             << "/srv/qc/";
    QTest::newRow("with") << "/srv/qc/"
                          << "/srv/qc/";
    QTest::newRow("root") << "/"
                          << "/";
    QTest::newRow("empty") << ""
                           << "/";
}

void TestFormatting::addTrailingBackslash()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(AddTrailingBackslash(text), expected);
}

void TestFormatting::checkIPAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("result");
    // Refused: the text comes back unchanged.
    for (const char* bad :
         {"1.2.3",      "1..2.3",           ".1.2.3",     "1.2.3.",     "1.2.3.256", "256.1.1.1",
          "1234.1.1.1", "1.1234.1.1",       "1.1.1234.1", "1.2.3.1234", "1.2.3.4.5", "",
          "1.2.3.a",    " 1.2.3.4",         "1.2.3.4 ",   "1.2.-3.4",   "1.2.3.+4",  "999.999.999.999",
          "0000.0.0.0", "127.000.000.0001", "1,2,3,4",    "...."})
        QTest::newRow(bad[0] ? bad : "empty")
            << QString::fromLatin1(bad) << false << QString::fromLatin1(bad);
    QTest::newRow("arabic-indic digit")
        << QString::fromUtf8("1.2.3.\u0664") << false << QString::fromUtf8("1.2.3.\u0664");
    QTest::newRow("fullwidth digit") << QString::fromUtf8("1.2.3.\uFF14") << false
                                     << QString::fromUtf8("1.2.3.\uFF14");
    // Accepted and normalised.
    QTest::newRow("0.0.0.0") << "0.0.0.0" << true << "0.0.0.0";
    QTest::newRow("leading zeros") << "010.001.002.003" << true << "10.1.2.3";
    QTest::newRow("all zeros") << "000.000.000.000" << true << "0.0.0.0";
    QTest::newRow("255s") << "255.255.255.255" << true << "255.255.255.255";
    QTest::newRow("loopback dock") << "127.0.0.2" << true << "127.0.0.2";
    QTest::newRow("mixed widths") << "1.22.133.4" << true << "1.22.133.4";
    QTest::newRow("leading zero part") << "192.168.01.010" << true << "192.168.1.10";
}

void TestFormatting::checkIPAddress()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, result);
    QString address = text;
    QCOMPARE(CheckIPAddress(address), valid);
    QCOMPARE(address, result);
}

// ---- Bytes and texts -----------------------------------------------------------------------------

void TestFormatting::bytesToTextKeepsZeros()
{
    const QByteArray bytes("a\0b\xE9", 4);
    const QString text = BytesToText(bytes);
    QCOMPARE(text.size(), 4);
    QCOMPARE(text.at(0), QChar('a'));
    QCOMPARE(text.at(1).unicode(), char16_t(0));
    QCOMPARE(text.at(2), QChar('b'));
    QCOMPARE(text.at(3).unicode(), char16_t(0xE9));
    QCOMPARE(BytesToText(QByteArray()), QString());
}

void TestFormatting::zBytesToText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("highest");
    QTest::addColumn<QString>("expected");
    QTest::newRow("stops at zero") << QByteArray("abc\0def", 7) << 6 << "abc";
    QTest::newRow("stops at highest index") << QByteArray("abcdef") << 2 << "abc";
    QTest::newRow("whole array") << QByteArray("abcdef") << 5 << "abcdef";
    QTest::newRow("index past a short array") << QByteArray("ab") << 15 << "ab";
    QTest::newRow("leading zero") << QByteArray("\0ab", 3) << 2 << "";
    QTest::newRow("negative index") << QByteArray("ab") << -1 << "";
    QTest::newRow("empty array") << QByteArray() << 3 << "";
    QTest::newRow("Latin-1 byte") << QByteArray("\xB5g") << 1 << QString::fromUtf8("\u00B5g");
}

void TestFormatting::zBytesToText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, highest);
    QFETCH(QString, expected);
    QCOMPARE(ZBytesToText(bytes, highest), expected);
}

void TestFormatting::textToBytesStaysInsideTheBuffer()
{
    // Room to spare: the text, a zero, and the rest untouched.
    char wide[8];
    std::fill(std::begin(wide), std::end(wide), 'x');
    QCOMPARE(TextToBytes(std::span<char>(wide), QStringLiteral("ab")), qsizetype(2));
    QCOMPARE(QByteArray(wide, 8), QByteArray("ab\0xxxxx", 8));

    // Too small: cut so that the zero still fits, nothing written past the end.
    char block[6];
    std::fill(std::begin(block), std::end(block), 'x');
    QCOMPARE(TextToBytes(std::span<char>(block, 4), QStringLiteral("abcdef")), qsizetype(3));
    QCOMPARE(QByteArray(block, 6), QByteArray("abc\0xx", 6));

    // Exactly the text plus its zero.
    quint8 exact[4];
    QCOMPARE(TextToBytes(std::span<quint8>(exact), QStringLiteral("abc")), qsizetype(3));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(exact), 4), QByteArray("abc\0", 4));

    // Single-byte characters; others become '?'.
    quint8 latin[4];
    QCOMPARE(TextToBytes(std::span<quint8>(latin), QString::fromUtf8("\u00E9\u2713")), qsizetype(2));
    QCOMPARE(latin[0], quint8(0xE9));
    QCOMPARE(latin[1], quint8('?'));
    QCOMPARE(latin[2], quint8(0));

    // No room at all: nothing written.
    QCOMPARE(TextToBytes(std::span<char>(), QStringLiteral("abc")), qsizetype(0));
}

QTEST_GUILESS_MAIN(TestFormatting)
#include "tst_formatting.moc"
