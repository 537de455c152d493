#pragma once

#include <QString>
#include <cstdint>

// The string and number functions that handlers use. Strings compare exactly
// and case-sensitively everywhere (QString's operator==). Character counts
// are UTF-16 code units, as QString counts them.
namespace zorv {

// Field n (counted from 1) of s split at delim; empty when there is none.
// An empty delimiter gives s itself as field 1.
QString NthField(const QString& s, const QString& delim, int n);

// Number of delimiters plus one; 0 for an empty s.
int CountFields(const QString& s, const QString& delim);

QString Left(const QString& s, int n);
QString Right(const QString& s, int n);
int Len(const QString& s);
QString Chr(int code);

// The leading number of s, independent of the locale: leading blanks and tabs
// skipped, optional sign, digits, optional fraction and exponent; 0 when the
// text does not begin with a number.
double Val(const QString& s);

// The shortest decimal text that reads back as the same double.
QString Str(double x);
QString Str(int x);

// x written by a number pattern (see README for the rules).
QString Format(double x, const QString& pattern);

// Round to nearest with halves away from zero, saturating at the int32
// bounds; NaN gives 0.
std::int32_t ToInt32(double x);

} // namespace zorv
