#include "framework/Strings.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

// Format(x, pattern): a number written by a pattern of digit places and
// literal text. The rules, with examples, are in the README; in short:
//   #  a digit if needed        0  a digit always       .  the decimal point
//   ,  thousands grouping (between integer digit places)
//   %  percent (the number is multiplied by 100; the % is written)
//   e/E scientific, followed by an optional + or - and the exponent's digit places
//   +  the sign, + or -         -  the sign when negative
//   \  the next character as it stands; any other character as it stands
//   up to three sections split at ';': positive; negative; zero
//
// Rounding works on the shortest decimal text of the number (the one Str
// gives), half away from zero, so 2.675 with "0.00" gives "2.68" as the user
// reads it, not the "2.67" its binary value would give. The work and the text
// grow with the pattern's length and the number's digits only: a double has
// at most 309 integer digits and no non-zero digit beyond its 340th decimal.
namespace zorv {
namespace {

// A non-negative number as decimal digits: d1.d2d3... x 10^exp10, no
// trailing zeros; no digits at all for zero.
struct Decimal {
    std::string digits;
    qsizetype exp10 = 0;

    bool isZero() const { return digits.empty(); }
    // The digit at the place of 10^power.
    char digitAt(qsizetype power) const
    {
        const qsizetype index = exp10 - power;
        return index >= 0 && index < static_cast<qsizetype>(digits.size()) ? digits[static_cast<std::size_t>(index)]
                                                                            : '0';
    }
};

Decimal toDecimal(double magnitude)
{
    Decimal d;
    if (magnitude == 0.0)
        return d;
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific);
    if (error != std::errc())
        return d;
    const char* p = buffer;
    for (; p < end && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            d.digits.push_back(*p);
    // to_chars writes no terminating NUL: the exponent is read within bounds.
    if (p < end) {
        const char* exponent = p + 1;
        if (exponent < end && *exponent == '+')
            ++exponent;
        long value = 0;
        std::from_chars(exponent, end, value);
        d.exp10 = value;
    }
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    return d;
}

// Rounds half away from zero to the place of 10^lowest.
void roundAt(Decimal& d, qsizetype lowest)
{
    if (d.isZero())
        return;
    const qsizetype keep = d.exp10 - lowest + 1;
    if (keep >= static_cast<qsizetype>(d.digits.size()))
        return;
    if (keep < 0) {
        d.digits.clear();
        return;
    }
    const bool up = d.digits[static_cast<std::size_t>(keep)] >= '5';
    d.digits.resize(static_cast<std::size_t>(keep));
    if (up) {
        qsizetype i = keep - 1;
        while (i >= 0 && d.digits[static_cast<std::size_t>(i)] == '9')
            d.digits[static_cast<std::size_t>(i--)] = '0';
        if (i < 0) {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exp10;
        } else {
            ++d.digits[static_cast<std::size_t>(i)];
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
}

enum class Kind { Literal, IntPlace, FracPlace, Point, Sign, Exponent, GroupMark };

struct Token {
    Kind kind;
    QChar ch; // the literal, the sign place (+ or -), the exponent letter
};

// One section of a pattern, read once into its parts.
struct Section {
    std::vector<Token> tokens;
    qsizetype intPlaces = 0;
    qsizetype fracPlaces = 0;
    qsizetype minIntDigits = 0;  // places from the leftmost integer 0 on
    qsizetype minFracDigits = 0; // places up to the rightmost decimal 0
    bool grouping = false;
    bool percent = false;
    bool placesSign = false;
    bool hasPoint = false;
    bool scientific = false;
    bool exponentPlus = false;
    qsizetype exponentDigits = 1;

    bool writesNumber() const { return intPlaces > 0 || hasPoint || scientific; }
};

bool isPlace(QChar c)
{
    return c == u'0' || c == u'#';
}

Section parseSection(const QString& s)
{
    Section sec;
    const qsizetype n = s.size();
    qsizetype firstIntZero = -1;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = s[i];
        if (c == u'\\') {
            sec.tokens.push_back({Kind::Literal, i + 1 < n ? s[++i] : c});
        } else if (isPlace(c) && !sec.scientific) {
            if (sec.hasPoint) {
                ++sec.fracPlaces;
                if (c == u'0')
                    sec.minFracDigits = sec.fracPlaces;
                sec.tokens.push_back({Kind::FracPlace, c});
            } else {
                if (c == u'0' && firstIntZero < 0)
                    firstIntZero = sec.intPlaces;
                ++sec.intPlaces;
                sec.tokens.push_back({Kind::IntPlace, c});
            }
        } else if (c == u'.' && !sec.hasPoint && !sec.scientific) {
            sec.hasPoint = true;
            sec.tokens.push_back({Kind::Point, c});
        } else if (c == u',' && !sec.hasPoint && !sec.scientific && sec.intPlaces > 0) {
            sec.tokens.push_back({Kind::GroupMark, c}); // decided below
        } else if (c == u'%') {
            sec.percent = true;
            sec.tokens.push_back({Kind::Literal, c});
        } else if (c == u'+' || c == u'-') {
            sec.placesSign = true;
            sec.tokens.push_back({Kind::Sign, c});
        } else if ((c == u'e' || c == u'E') && !sec.scientific) {
            // An exponent only when digit places follow, so letters of a unit
            // ("Vset") stay literal.
            qsizetype j = i + 1;
            const bool signed_ = j < n && (s[j] == u'+' || s[j] == u'-');
            if (signed_)
                ++j;
            if (j < n && isPlace(s[j])) {
                sec.scientific = true;
                sec.exponentPlus = signed_ && s[i + 1] == u'+';
                qsizetype zeros = 0;
                for (; j < n && isPlace(s[j]); ++j)
                    zeros += s[j] == u'0' ? 1 : 0;
                sec.exponentDigits = zeros > 0 ? zeros : 1;
                sec.tokens.push_back({Kind::Exponent, c});
                i = j - 1;
            } else {
                sec.tokens.push_back({Kind::Literal, c});
            }
        } else {
            sec.tokens.push_back({Kind::Literal, c});
        }
    }
    sec.minIntDigits = firstIntZero < 0 ? 0 : sec.intPlaces - firstIntZero;

    // A comma groups only when integer digit places lie on both sides of it;
    // anywhere else it is written as it stands.
    qsizetype placesSeen = 0;
    for (Token& token : sec.tokens) {
        if (token.kind == Kind::IntPlace)
            ++placesSeen;
        else if (token.kind == Kind::GroupMark) {
            if (placesSeen > 0 && placesSeen < sec.intPlaces)
                sec.grouping = true;
            else
                token.kind = Kind::Literal;
        }
    }
    return sec;
}

struct Rendered {
    QString text;
    bool zero = false; // the number is 0 at the section's precision
};

Rendered render(const Section& sec, Decimal value, bool negative, bool autoMinus)
{
    if (sec.percent && !value.isZero())
        value.exp10 += 2; // on the decimal digits, so 0.285 gives exactly 28.5

    // The integer and decimal digits to write.
    std::string intDigits;
    std::string fracDigits;
    qsizetype exponent = 0;
    if (sec.scientific) {
        const qsizetype mantissaInt = sec.intPlaces > 0 ? sec.intPlaces : 1;
        if (!value.isZero()) {
            roundAt(value, value.exp10 - (mantissaInt + sec.fracPlaces - 1));
            exponent = value.exp10 - (mantissaInt - 1);
            for (qsizetype k = 0; k < mantissaInt; ++k)
                intDigits.push_back(value.digits.size() > static_cast<std::size_t>(k)
                                        ? value.digits[static_cast<std::size_t>(k)]
                                        : '0');
        }
        for (qsizetype k = 0; k < sec.fracPlaces; ++k)
            fracDigits.push_back(value.digitAt(exponent - 1 - k));
    } else {
        roundAt(value, -sec.fracPlaces);
        for (qsizetype power = value.exp10; !value.isZero() && power >= 0; --power)
            intDigits.push_back(value.digitAt(power));
        for (qsizetype k = 1; k <= sec.fracPlaces; ++k)
            fracDigits.push_back(value.digitAt(-k));
    }
    Rendered out;
    out.zero = value.isZero();
    if (out.zero)
        negative = autoMinus = false; // what rounds to 0 is written as 0, unsigned

    if (static_cast<qsizetype>(intDigits.size()) < sec.minIntDigits)
        intDigits.insert(0, static_cast<std::size_t>(sec.minIntDigits) - intDigits.size(), '0');
    qsizetype fracShown = static_cast<qsizetype>(fracDigits.size());
    while (fracShown > sec.minFracDigits && fracDigits[static_cast<std::size_t>(fracShown - 1)] == '0')
        --fracShown;
    // The number never vanishes: "#" writes 0 for zero.
    if (intDigits.empty() && fracShown == 0)
        intDigits.assign(1, '0');

    QString& text = out.text;
    const qsizetype intCount = static_cast<qsizetype>(intDigits.size());
    bool minusPending = autoMinus;
    auto numeric = [&](QChar c) {
        if (minusPending) {
            text.append(u'-');
            minusPending = false;
        }
        text.append(c);
    };
    auto intDigit = [&](qsizetype j) {
        numeric(QChar::fromLatin1(intDigits[static_cast<std::size_t>(j)]));
        const qsizetype right = intCount - 1 - j;
        if (sec.grouping && right > 0 && right % 3 == 0)
            text.append(u',');
    };
    // Integer digits beyond the pattern's places go where the integer part
    // starts: at the first integer place, else at the point, else before the
    // exponent.
    const qsizetype extra = intCount > sec.intPlaces ? intCount - sec.intPlaces : 0;
    bool extraWritten = false;
    auto writeExtra = [&] {
        if (extraWritten)
            return;
        extraWritten = true;
        for (qsizetype j = 0; j < extra; ++j)
            intDigit(j);
    };

    if (!sec.writesNumber())
        minusPending = false;
    qsizetype intPlace = 0;
    qsizetype fracPlace = 0;
    for (const Token& token : sec.tokens) {
        switch (token.kind) {
        case Kind::Literal:
            text.append(token.ch);
            break;
        case Kind::GroupMark:
            break; // the digits carry the grouping
        case Kind::IntPlace: {
            writeExtra();
            const qsizetype j = intCount - sec.intPlaces + intPlace++;
            if (j >= 0)
                intDigit(j);
            break;
        }
        case Kind::Point:
            writeExtra();
            if (sec.fracPlaces == 0 || fracShown > 0)
                numeric(u'.');
            break;
        case Kind::FracPlace:
            if (fracPlace < fracShown)
                numeric(QChar::fromLatin1(fracDigits[static_cast<std::size_t>(fracPlace)]));
            ++fracPlace;
            break;
        case Kind::Sign:
            if (negative)
                text.append(u'-');
            else if (token.ch == u'+')
                text.append(u'+');
            break;
        case Kind::Exponent: {
            writeExtra();
            text.append(token.ch);
            if (exponent < 0)
                text.append(u'-');
            else if (sec.exponentPlus)
                text.append(u'+');
            QString digits = QString::number(exponent < 0 ? -exponent : exponent);
            if (digits.size() < sec.exponentDigits)
                digits.prepend(QString(sec.exponentDigits - digits.size(), u'0'));
            text.append(digits);
            break;
        }
        }
    }
    return out;
}

// The pattern's sections, split at each ';' not taken literally by '\'.
// Sections after the third are not used.
std::vector<QString> splitSections(const QString& pattern)
{
    std::vector<QString> sections(1);
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == u';') {
            if (sections.size() == 3)
                break;
            sections.emplace_back();
            continue;
        }
        sections.back().append(c);
        if (c == u'\\' && i + 1 < pattern.size())
            sections.back().append(pattern[++i]);
    }
    return sections;
}

} // namespace

QString Format(double x, const QString& pattern)
{
    if (pattern.isEmpty())
        return {};
    if (std::isnan(x))
        return QStringLiteral("NAN");
    if (std::isinf(x))
        return x < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");

    const std::vector<QString> parts = splitSections(pattern);
    const Section positive = parseSection(parts[0]);
    // An empty negative or zero section stands for the first one.
    std::optional<Section> negativeSection;
    std::optional<Section> zeroSection;
    if (parts.size() > 1 && !parts[1].isEmpty())
        negativeSection = parseSection(parts[1]);
    if (parts.size() > 2 && !parts[2].isEmpty())
        zeroSection = parseSection(parts[2]);

    const bool negative = x < 0;
    const Decimal magnitude = toDecimal(std::fabs(x));
    // A negative section writes its own sign, if any; otherwise the minus
    // sign stays, so a negative voltage never goes out as a positive one.
    const Section& chosen = negative && negativeSection ? *negativeSection : positive;
    const bool autoMinus = negative && !negativeSection && !positive.placesSign;
    Rendered result = render(chosen, magnitude, negative, autoMinus);
    if (result.zero && (negative || zeroSection))
        result = render(zeroSection ? *zeroSection : positive, Decimal{}, false, false);
    return result.text;
}

} // namespace zorv
