#pragma once

// SQLite statements through the engine's own interface, on the handle of the QtSql session:
// each statement shape is compiled once per session and kept (the least recently used goes
// when there are too many), then run with each statement's values bound. Compiling is what a
// statement with its values written into it costs most, the schema's triggers included.

#include "ledger/Literals.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <list>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace tesr::sql {

class SqliteStatements {
public:
    static constexpr int MaxShapes = 96;

    explicit SqliteStatements(sqlite3* db) : m_db(db) {}
    ~SqliteStatements();
    SqliteStatements(const SqliteStatements&) = delete;
    SqliteStatements& operator=(const SqliteStatements&) = delete;

    // A command shape compiled: its statements as the engine reads them, how many values each
    // takes, and the compiled statements.
    struct Shape {
        QStringList statements;
        std::vector<int> markers;
        std::vector<sqlite3_stmt*> compiled;
    };

    // The shape `key`, compiled on first use from the statements `translate` gives; nullptr
    // with the engine's words in *why, and which statement it was in *failed, when one does not
    // compile.
    Shape* shape(const QString& key, const std::function<QStringList()>& translate, QString* why, int* failed);

    // Runs one compiled statement with `count` values of `command` bound: *changes gets the rows it
    // changed, or -1 for a query (whose rows are read and dropped).
    bool run(sqlite3_stmt* statement, QStringView command, const ledger::LiteralSpan* values, int count, int* changes,
             QString* why);

    // Runs a statement without values (transaction control), compiled once.
    bool control(const QString& statement, QString* why);

    // The engine connection itself, for readers that step through a query's rows.
    sqlite3* handle() const { return m_db; }

    qint64 lastInsertId() const;
    bool inTransaction() const;
    QString engineWords() const;

    // Room a command's shape and values are worked out in, kept from one command to the next.
    QString scratchShape;
    std::vector<ledger::LiteralSpan> scratchValues;

private:
    sqlite3* m_db;
    std::list<std::pair<QString, Shape>> m_shapes; // most recently used first
    QHash<QString, std::list<std::pair<QString, Shape>>::iterator> m_byKey;
};

} // namespace tesr::sql
