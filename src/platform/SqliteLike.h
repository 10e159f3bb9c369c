#pragma once

// SQLite's own LIKE knows no [...] classes and folds the case of ASCII letters only. A session
// given this function reads every LIKE (and LIKE ... ESCAPE) of the module's T-SQL as SQL
// Server does (ledger/LikePattern.h).

#include <QSqlDatabase>
#include <QString>

namespace tesr {

// Replaces like() on the session's connection; false, with the reason in *error, when the
// session is no open SQLite session of the system's SQLite library.
bool installTsqlLike(const QSqlDatabase& db, QString* error = nullptr);

} // namespace tesr
