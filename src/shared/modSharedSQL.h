#pragma once

// Pieces that go between the quotes of a SQL Server statement.

#include "values/OleDate.h"

#include <QString>

#include <optional>

namespace tesr::modSharedSQL {

// Every single quote doubled; nothing else changed, no surrounding quotes added.
QString FixSQLQuotes(const QString& value);

// "yyyyMMdd HH:mm:ss" (e.g. 20180301 21:05:07), independent of regional settings; "NULL"
// when allowNull is true and the date is the absent date or earlier.
QString FormatSQLDate(const OleDate& date, bool allowNull);

// A box's text as a statement may carry it unquoted: the whole number it holds (an optional
// sign and digits, blanks around) in plain decimal when it lies within [low, high]; "NULL"
// for an empty box; nothing for anything else, which the caller refuses. No text typed or
// stored ever reaches a statement this way except as a number checked here.
std::optional<QString> SQLWholeNumber(const QString& text, qint64 low, qint64 high);

} // namespace tesr::modSharedSQL
