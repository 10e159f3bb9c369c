#pragma once

// The literal lifter: a statement as the module writes it (values written into the text) turned
// into its shape, the same text with '?' in place of each value, and the values with the types
// their literals give them. Statements of one shape differ only in their values, so an engine
// compiles a shape once and runs it with each statement's values bound; a shape also says what
// a statement did without saying what it wrote (names, card digits, memos).
//
// What stays literal, because an engine reads it as part of the statement's form rather than as
// a value: everything in statements other than SELECT, INSERT, UPDATE, DELETE, WITH, VALUES and
// MERGE (DDL, PRAGMA, SET, transaction control); select lists (a literal there names its column);
// ORDER BY and GROUP BY lists (a number there is a column position); a TOP, LIMIT, OFFSET or
// FETCH count; type sizes (VARCHAR(10)); LIKE patterns and ESCAPE characters (the engine
// adaptation may rewrite a pattern); typed or prefixed strings (N'...', DATE '...'); numbers that
// do not fit 64 bits; and every literal of a command that already holds a parameter marker.

#include <QList>
#include <QString>
#include <QStringView>

#include <vector>

namespace tesr::ledger {

struct Literal {
    enum class Type : quint8 {
        Integer, // digits only, fits 64 bits
        Decimal, // a decimal point or an exponent: an approximate number on SQLite, exact elsewhere
        Text     // a '...' string
    };
    Type type = Type::Text;
    // Integer and Decimal: the number as written; Text: the value, its doubled quotes undone.
    QString text;

    friend bool operator==(const Literal&, const Literal&) = default;
};

struct LiftedCommand {
    QString shape;           // the command with '?' for each lifted literal
    QList<Literal> literals; // in the order of their '?'
};

// Lifts the literals of a command (one statement, or several separated by ';').
LiftedCommand liftLiterals(QStringView command);

// A lifted literal as its place in the command it was lifted from; for a text, the characters
// between its quotes, doubled quotes still doubled.
struct LiteralSpan {
    Literal::Type type = Literal::Type::Text;
    qsizetype begin = 0;
    qsizetype length = 0;
    bool doubledQuotes = false; // a text that holds a quote (written twice)

    QStringView in(QStringView command) const { return command.mid(begin, length); }
    Literal literal(QStringView command) const;
};

// liftLiterals without copying the values (what a connection runs for every statement): the
// shape into *shape and the literals' places into *spans, both emptied first.
void liftLiteralSpans(QStringView command, QString* shape, std::vector<LiteralSpan>* spans);

// The command a lifted one was made from: each '?' of the shape given its literal back.
QString restoreLiterals(const LiftedCommand& lifted);

// A shape with its markers numbered as PostgreSQL writes them: $1, $2, ...
QString numberMarkers(QStringView shape);

// The '?' markers of a shape (or of one statement of it), not counting any inside literals,
// names or comments.
int countMarkers(QStringView shape);

} // namespace tesr::ledger
