#include "common/Formatting.h"

#include <QLocale>

#include <QStringList>

#include <algorithm>

namespace vx8 {

namespace {

bool inRange(int code, int low, int high)
{
    return code >= low && code <= high;
}

QString unknownGas(int code)
{
    return QStringLiteral("Unknown (%1)").arg(code);
}

QString padLeft(const QString& text, int width)
{
    return text.size() >= width ? text : QString(width - text.size(), QLatin1Char(' ')) + text;
}

// raw / divisor with the given number of decimals, blank-padded on the left to width ("%W.Df").
// Works on the integer so that no binary fraction gets in the way: where the quotient has more
// decimals than shown (a divisor of 1000 shown with two), the last digit is rounded half away from
// zero, so 1005 / 1000 reads "1.01".
QString fixedText(qint64 raw, int divisor, int decimals, int width)
{
    qint64 scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    const bool negative = raw < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(raw) : quint64(raw);
    const quint64 numerator = magnitude * quint64(scale);
    quint64 quotient = numerator / quint64(divisor);
    if (2 * (numerator % quint64(divisor)) >= quint64(divisor))
        ++quotient;
    QString text = negative ? QStringLiteral("-") : QString();
    text += QString::number(quotient / quint64(scale));
    if (decimals > 0) {
        text += DecimalSeparator();
        text += QStringLiteral("%1").arg(quotient % quint64(scale), decimals, 10, QLatin1Char('0'));
    }
    return padLeft(text, width);
}

// raw / divisor rounded to the nearest integer, ties to even, right-aligned in width ("%W.1d").
QString roundedText(qint64 raw, int divisor, int width)
{
    const bool negative = raw < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(raw) : quint64(raw);
    quint64 quotient = magnitude / quint64(divisor);
    const quint64 twice = 2 * (magnitude % quint64(divisor));
    if (twice > quint64(divisor) || (twice == quint64(divisor) && (quotient & 1)))
        ++quotient;
    QString text = (negative && quotient != 0) ? QStringLiteral("-") : QString();
    text += QString::number(quotient);
    return padLeft(text, width);
}

enum class Variant
{
    Value,
    Edit,
    Reading
};

// The number and unit text of a reading, or an empty number for codes that show none.
struct ReadingText
{
    QString number;
    QString unit;
};

ReadingText readingText(int raw, int code, Variant variant)
{
    const int divisor = GasDivisor(code);
    const QString percent = QStringLiteral(" %");
    const QString ppm = QStringLiteral(" ppm");
    if (inRange(code, 10, 19))
        return {fixedText(raw, divisor, 1, 2), percent};
    if (inRange(code, 20, 29) || code == 40)
        return {roundedText(raw, divisor, 3), percent};
    if (inRange(code, 30, 39)) {
        if (variant == Variant::Reading)
            return {fixedText(raw, divisor, 1, 2), ppm};
        return {roundedText(raw, divisor, 2), ppm};
    }
    if (code == 41 || inRange(code, 70, 79))
        return {fixedText(raw, divisor, 2, 2), percent};
    if (inRange(code, 140, 149))
        return {fixedText(raw, divisor, 2, 2), ppm};
    if (inRange(code, 80, 139) || inRange(code, 150, 209)) {
        if (variant == Variant::Reading && inRange(code, 180, 189))
            return {fixedText(raw, divisor, 2, 2), ppm};
        return {fixedText(raw, divisor, 1, 2), ppm};
    }
    return {};
}

QString formatReading(int raw, int code, bool appendUnit, Variant variant, const QString& initial,
                      bool showNumber)
{
    if (!showNumber)
        return initial;
    const ReadingText reading = readingText(raw, code, variant);
    if (reading.number.isEmpty())
        return initial;
    return appendUnit ? reading.number + reading.unit : reading.number;
}

// printf-style "%W.Wd": at least width digits, zero-padded, a minus sign in front when negative.
QString zeroPadded(qint64 value, int width)
{
    const bool negative = value < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(value) : quint64(value);
    QString digits = QString::number(magnitude);
    if (digits.size() < width)
        digits.prepend(QString(width - digits.size(), QLatin1Char('0')));
    return negative ? QStringLiteral("-") + digits : digits;
}

QString serialText(qint64 value, int width, const char* invalid)
{
    const QString text = zeroPadded(value, width);
    return text.size() > width ? QString::fromLatin1(invalid) : text;
}

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

template <typename Byte> qsizetype copyText(std::span<Byte> buffer, const QString& text)
{
    if (buffer.empty())
        return 0;
    const QByteArray bytes = text.toLatin1();
    const qsizetype count = std::min<qsizetype>(bytes.size(), qsizetype(buffer.size()) - 1);
    for (qsizetype i = 0; i < count; ++i)
        buffer[size_t(i)] = Byte(bytes[i]);
    buffer[size_t(count)] = Byte(0);
    return count;
}

} // namespace

QString DecimalSeparator()
{
    return QLocale().decimalPoint();
}

QString GasName(int code)
{
    if (inRange(code, 10, 19))
        return QStringLiteral("O2");
    if (code == 28 || code == 41)
        return QStringLiteral("CH4");
    if (inRange(code, 20, 29) || code == 42)
        return QStringLiteral("LEL");
    if (inRange(code, 30, 39))
        return QStringLiteral("VOC");
    if (code == 40)
        return QStringLiteral("EX");
    if (inRange(code, 70, 79))
        return QStringLiteral("CO2");
    if (code == 83)
        return QStringLiteral("CO+");
    if (code == 84)
        return QStringLiteral("CO-");
    if (inRange(code, 80, 99))
        return QStringLiteral("CO");
    if (inRange(code, 100, 119))
        return QStringLiteral("H2S");
    if (inRange(code, 120, 129))
        return QStringLiteral("SO2");
    if (inRange(code, 130, 139))
        return QStringLiteral("Cl2");
    if (inRange(code, 140, 149))
        return QStringLiteral("ClO2");
    if (inRange(code, 150, 159))
        return QStringLiteral("NO2");
    if (inRange(code, 160, 169))
        return QStringLiteral("NO");
    if (inRange(code, 170, 179))
        return QStringLiteral("NH3");
    if (inRange(code, 180, 189))
        return QStringLiteral("PH3");
    if (inRange(code, 190, 199))
        return QStringLiteral("HCN");
    return unknownGas(code);
}

int GasDivisor(int code)
{
    if (code == 41 || inRange(code, 70, 79))
        return 1000;
    if (inRange(code, 140, 149))
        return 100;
    return 10;
}

double GasResolution(int code)
{
    if (inRange(code, 0, 9) || inRange(code, 41, 79) || inRange(code, 140, 149) || inRange(code, 210, 255))
        return 0.01;
    if (inRange(code, 20, 29))
        return 1.0;
    return 0.1;
}

QString GasUnit(int code)
{
    if (inRange(code, 10, 29) || code == 41 || inRange(code, 70, 79))
        return QStringLiteral("%");
    return QStringLiteral("ppm");
}

int GasDecimals(int code)
{
    if (inRange(code, 20, 29))
        return 0;
    if (code == 41 || inRange(code, 70, 79) || inRange(code, 140, 149))
        return 2;
    return 1;
}

int GasCodeOfName(const QString& name)
{
    const QString folded = name.toLower().trimmed();
    int code = 0;
    if (name == QLatin1String("O2"))
        code = 11;
    if (name == QLatin1String("CO") || folded == QLatin1String("co_duo"))
        code = 81;
    if (name == QLatin1String("CO+"))
        code = 83;
    if (name == QLatin1String("CO-"))
        code = 84;
    if (name == QLatin1String("H2S") || folded == QLatin1String("h2s_duo"))
        code = 101;
    if (name == QLatin1String("SO2"))
        code = 121;
    if (name == QLatin1String("CL2"))
        code = 131;
    if (name == QLatin1String("CLO2"))
        code = 141;
    if (name == QLatin1String("NH3"))
        code = 171;
    if (name == QLatin1String("NO2"))
        code = 151;
    if (name == QLatin1String("PH3"))
        code = 181;
    if (name == QLatin1String("HCN"))
        code = 191;
    if (name == QLatin1String("LEL"))
        code = 21;
    if (name == QLatin1String("H2"))
        code = 201;
    if (name == QLatin1String("VOC"))
        code = 31;
    if (name == QLatin1String("CH4"))
        code = 41;
    if (name == QLatin1String("CO2"))
        code = 71;
    return code;
}

QString FormatGasValue(int raw, int code, bool appendUnit)
{
    const QString initial = inRange(code, 10, 40) ? QStringLiteral("N/A") : QStringLiteral("Disabled");
    return formatReading(raw, code, appendUnit, Variant::Value, initial, raw > 0);
}

QString FormatGasEditText(int raw, int code, bool appendUnit, bool* lowValue)
{
    if (lowValue)
        *lowValue = raw <= 0;
    const QString initial =
        (inRange(code, 10, 29) || code == 40) ? QStringLiteral("N/A") : QStringLiteral("Disabled");
    return formatReading(raw, code, appendUnit, Variant::Edit, initial, raw > 0);
}

QString FormatGasReading(int raw, int code, bool appendUnit)
{
    return formatReading(raw, code, appendUnit, Variant::Reading, QStringLiteral("N/A"), raw != NoReading);
}

QString FormatInstrSerial(qint64 serial)
{
    return serialText(serial, 9, "INVALID");
}

QString FormatSensorSerial(qint64 serial)
{
    return serialText(serial, 6, "INVALD");
}

QString FormatDockSerial(quint64 serial)
{
    const QString text = QStringLiteral("%1").arg(serial, 5, 10, QLatin1Char('0'));
    return text.size() > 5 ? QStringLiteral("INVLD") : text;
}

QString FormatHundredths(quint16 value)
{
    return fixedText(value, 100, 2, 2);
}

QString FormatDuration(qint64 seconds)
{
    const bool negative = seconds < 0;
    const quint64 total = negative ? quint64(0) - quint64(seconds) : quint64(seconds);
    const QString text = QStringLiteral("%1h %2m %3s")
                             .arg(total / 3600, 2, 10, QLatin1Char('0'))
                             .arg((total / 60) % 60, 2, 10, QLatin1Char('0'))
                             .arg(total % 60, 2, 10, QLatin1Char('0'));
    return negative ? QStringLiteral("-") + text : text;
}

int BitIsSet(quint8 value, int bitNumber)
{
    // The shift count is taken mod 32 as the processor does; "& 31" also maps negative numbers
    // onto 0..31 instead of shifting by a negative count.
    const quint32 bit = quint32(bitNumber) & 31u;
    return ((quint32(value) >> bit) & 1u) ? 1 : 0;
}

QString AddTrailingBackslash(const QString& text)
{
    if (text.endsWith(QLatin1Char('/')))
        return text;
    return text + QLatin1Char('/');
}

bool CheckIPAddress(QString& address)
{
    const QString& text = address;
    const qsizetype n = text.size();
    if (n < 1 || n > 15)
        return false;

    qsizetype dots[3] = {0, 0, 0}; // 1-based positions
    int dotCount = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('.')) {
            if (dotCount < 3)
                dots[dotCount] = i + 1;
            ++dotCount;
        } else if (!isAsciiDigit(c)) {
            return false;
        }
    }
    if (dotCount != 3)
        return false;

    if (text.startsWith(QLatin1Char('.')) || text.endsWith(QLatin1Char('.')) ||
        text.contains(QLatin1String("..")))
        return false;

    const auto between = [](qsizetype d, qsizetype low, qsizetype high) { return d >= low && d <= high; };
    if (!between(dots[0], 2, 4) || !between(dots[1] - dots[0], 2, 4) || !between(dots[2] - dots[1], 2, 4) ||
        !between(n - dots[2], 1, 3))
        return false;

    const qsizetype starts[4] = {0, dots[0], dots[1], dots[2]};
    const qsizetype ends[4] = {dots[0] - 1, dots[1] - 1, dots[2] - 1, n};
    QStringList parts;
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const int value = text.mid(starts[i], ends[i] - starts[i]).toInt(&ok, 10);
        if (!ok || value < 0 || value > 255)
            return false;
        parts << QString::number(value);
    }
    address = parts.join(QLatin1Char('.'));
    return true;
}

QString BytesToText(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.constData(), bytes.size());
}

QString ZBytesToText(const QByteArray& bytes, qsizetype highestIndex)
{
    const qsizetype limit = std::min<qsizetype>(highestIndex + 1, bytes.size());
    qsizetype length = 0;
    while (length < limit && bytes.at(length) != '\0')
        ++length;
    return QString::fromLatin1(bytes.constData(), length);
}

qsizetype TextToBytes(std::span<char> buffer, const QString& text)
{
    return copyText(buffer, text);
}

qsizetype TextToBytes(std::span<quint8> buffer, const QString& text)
{
    return copyText(buffer, text);
}

} // namespace vx8
