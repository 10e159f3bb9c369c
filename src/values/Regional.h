#pragma once

// The user's regional settings: how money, dates and numbers are shown and read back.
// Everything goes through QLocale() (the default locale), which the host sets from its
// configuration at start-up. Short dates always carry a four-digit year.

#include "values/Currency.h"
#include "values/OleDate.h"

#include <QLocale>
#include <QString>
#include <QVariant>

#include <optional>

namespace tesr::Regional {

QLocale locale();

// Currency format with every option at the regional default: "$1,234.50", "($5.00)"...
QString formatCurrency(Currency value);
// The same for a figure that may be out of range (a sum or difference too large for money):
// such a figure is shown as OutOfRangeText, never as some other amount.
QString formatCurrency(const std::optional<Currency>& value);
inline constexpr QStringView OutOfRangeText = u"(out of range)";

// The locale's short date pattern with the year widened to four digits ("M/d/yyyy").
QString shortDatePattern();
QString formatShortDate(const OleDate& value);
QString formatLongTime(const OleDate& value);
// Date and time; the date alone at midnight, the time alone on day 0.
QString formatGeneralDate(const OleDate& value);
// "Short Date", "Long Date", "General Date", "Long Time", "Short Time" or a QLocale pattern.
QString formatDate(const OleDate& value, const QString& displayFormat);

// A date typed by a user: the short date form (two- or four-digit year), ISO yyyy-MM-dd,
// optionally followed by a time. Nothing when the text is not a date.
std::optional<OleDate> parseDate(const QString& text);

// Numeric in the user's number format: optional sign, digits with the locale's grouping,
// the locale's decimal separator, an optional exponent. No currency symbol.
std::optional<double> parseNumber(const QString& text);
bool isNumeric(const QString& text);
// The same reading, exact, as money (more than four decimals round half to even).
std::optional<Currency> parseCurrency(const QString& text);
// An amount as a user types it into a money box or cell: the number as parseCurrency reads
// it, with the locale's currency symbol (or its ISO code, or "$") once before or after it, and
// a negative written with a sign or in brackets, as the locale's currency format shows one
// ("-$5.00", "($5.00)", "5,00 €"). Nothing when the text is no amount.
std::optional<Currency> parseMoneyEntry(const QString& text);
// The same reading, rounded to a whole number exactly (halves to even: "2.5" gives 2).
// Nothing when the text is not numeric or the number does not fit 64 bits.
std::optional<qint64> parseWholeNumber(const QString& text);

// Numbers as machines write them (record documents, stored values), whatever the user's
// settings: optional blanks, optional leading sign, digits with an optional '.', an optional
// exponent; never grouped.
bool isPlainNumeric(const QString& text);
std::optional<double> parsePlainNumber(const QString& text);
std::optional<Currency> parsePlainCurrency(const QString& text);
std::optional<qint64> parsePlainWholeNumber(const QString& text);

// A number as plain decimal text for a statement or a field: no grouping, no exponent, '.'
// as the decimal point, the shortest digits that read back as the same double ("1234.5").
QString plainNumberText(double value);

// The number of decimals the locale's currency format shows (2 for en_US, 0 for ja_JP).
int currencyDigits();

// The platform's default text form of a loosely typed value: whole numbers in plain decimal,
// money as a plain number with the locale's decimal separator (no symbol, no grouping), dates
// as formatGeneralDate, texts unchanged. A null or invalid value has no text.
std::optional<QString> defaultText(const QVariant& value);

} // namespace tesr::Regional
