#pragma once

// Pieces that go between the quotes of a SQL Server statement.

#include "values/OleDate.h"

#include <QString>

namespace tesr::modSharedSQL {

// Every single quote doubled; nothing else changed, no surrounding quotes added.
QString FixSQLQuotes(const QString& value);

// "yyyyMMdd HH:mm:ss" (e.g. 20180301 21:05:07), independent of regional settings; "NULL"
// when allowNull is true and the date is the absent date or earlier.
QString FormatSQLDate(const OleDate& date, bool allowNull);

} // namespace tesr::modSharedSQL
