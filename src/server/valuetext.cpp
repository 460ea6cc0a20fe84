#include "server/valuetext.h"

#include "core/textutil.h"

#include <QByteArray>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace telviox::valuetext {

namespace {

QString withBlank(const QString &value, int parity)
{
    return parity == 1 ? value + QLatin1Char(' ') : QLatin1Char(' ') + value;
}

// Nearest integer, halves to the even neighbour.
double roundHalfEven(double v)
{
    const double down = std::floor(v);
    const double diff = v - down;
    if (diff < 0.5)
        return down;
    if (diff > 0.5)
        return down + 1.0;
    return std::fmod(down, 2.0) == 0.0 ? down : down + 1.0;
}

bool isDigit(QChar c)
{
    return textutil::isDecimalDigit(c.unicode());
}

// Nearest integer of the type, nothing when it does not fit.
template <typename Int> std::optional<Int> toInteger(double v)
{
    if (!std::isfinite(v))
        return std::nullopt;
    const double r = roundHalfEven(v);
    if (r < double(std::numeric_limits<Int>::min()) || r > double(std::numeric_limits<Int>::max()))
        return std::nullopt;
    return Int(r);
}

} // namespace

QString fixed3(double v)
{
    if (!std::isfinite(v))
        return QString::number(v);
    // A float times 1000 is exact in a double, so rounding the product rounds
    // the value itself; halves go away from zero as the formatted texts always did.
    const double thousandths = std::round(std::fabs(v) * 1000.0);
    QString digits = QString::number(thousandths, 'f', 0);
    if (digits.size() < 4)
        digits = digits.rightJustified(4, QLatin1Char('0'));
    digits.insert(digits.size() - 3, QLatin1Char('.'));
    return v < 0 ? QLatin1Char('-') + digits : digits;
}

QString singleChannel(float v, int parity)
{
    return withBlank(fixed3(v), parity);
}

QString eightChannel(float v, int parity)
{
    const QString number = fixed3(v);
    return withBlank(v > 0 ? QLatin1Char('+') + number : number, parity);
}

QString digital16(qint16 v, int parity)
{
    return withBlank(textutil::hexString(quint16(v)), parity);
}

QString digital32(qint32 v, int parity)
{
    return withBlank(textutil::hexString(quint32(v)), parity);
}

QString counter(qint32 count, int parity)
{
    const qint64 magnitude = std::llabs(qint64(count));
    QString digits = QString::number(magnitude).rightJustified(9, QLatin1Char('0'));
    if (count < 0)
        digits.prepend(QLatin1Char('-'));
    return withBlank(digits, parity);
}

double readNumber(const QString &text)
{
    int i = 0;
    const int n = int(text.size());
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    const int start = i;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    int mantissaDigits = 0;
    while (i < n && isDigit(text[i])) {
        ++i;
        ++mantissaDigits;
    }
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && isDigit(text[i])) {
            ++i;
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        return 0.0;
    // An exponent counts only when digits follow it; "2e" reads as 2.
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        int j = i + 1;
        if (j < n && (text[j] == QLatin1Char('+') || text[j] == QLatin1Char('-')))
            ++j;
        if (j < n && isDigit(text[j])) {
            while (j < n && isDigit(text[j]))
                ++j;
            i = j;
        }
    }
    QByteArray number = text.mid(start, i - start).toLatin1();
    bool negative = false;
    if (number.startsWith('+') || number.startsWith('-')) {
        negative = number.startsWith('-');
        number.remove(0, 1);
    }
    // from_chars reads the point whatever the locale. A number too large for a
    // double reads as infinity, which no conversion below accepts; one too
    // small reads as 0.
    double value = 0.0;
    const auto result = std::from_chars(number.constData(), number.constData() + number.size(),
                                        value);
    if (result.ec == std::errc::result_out_of_range)
        value = number.contains("e-") || number.contains("E-") ? 0.0 : HUGE_VAL;
    return negative ? -value : value;
}

std::optional<float> toSingle(double v)
{
    if (!std::isfinite(v) || std::fabs(v) > double(FLT_MAX))
        return std::nullopt;
    return float(v);
}

std::optional<qint16> toInt16(double v)
{
    return toInteger<qint16>(v);
}

std::optional<qint32> toInt32(double v)
{
    return toInteger<qint32>(v);
}

} // namespace telviox::valuetext
