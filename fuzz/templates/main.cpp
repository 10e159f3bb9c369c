// Template filling. The input is a template and its arguments, separated by "\x1f".
//   - FillTemplate: with arguments free of braces every marker {n} of an argument it has is
//     filled, and the text grows by exactly what the fillings add; without arguments the
//     template comes back as it is;
//   - the allocation statements filled with the input as an order's UniqueID (quotes doubled,
//     as every caller does), an ID and an amount: every engine receives exactly the template's
//     statements, with the UniqueID literal whole in each statement that names it — no text
//     can break a statement out of its quotes.

#include "FuzzSupport.h"

#include "ledger/Dialect.h"
#include "ledger/Statements.h"
#include "shared/modSharedSQL.h"
#include "shared/modSharedStrings.h"
#include "values/Currency.h"

#include <QVariantList>

#include <algorithm>

using tesr::ledger::Engine;

namespace {

void fillTemplate(const QString& input)
{
    const QStringList parts = input.split(QChar(0x1f));
    const QString& templateText = parts.first();
    QVariantList args;
    // Arguments that cannot make a marker where none was (no braces, no digits, not empty):
    // then each marker of the template is filled on its own.
    bool plain = true;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        args << parts[i];
        plain = plain && !parts[i].isEmpty() && std::none_of(parts[i].begin(), parts[i].end(), [](QChar c) {
                    return c == u'{' || c == u'}' || c.isDigit();
                });
    }
    const QString filled = tesr::modSharedStrings::FillTemplate(templateText, args);
    if (args.isEmpty())
        FUZZ_CHECK(filled == templateText, fuzz::shown(filled));
    if (!plain)
        return;
    qsizetype expected = templateText.size();
    for (int n = 0; n <= 16 && n < args.size(); ++n) {
        const QString marker = u'{' + QString::number(n) + u'}';
        expected += templateText.count(marker) * (parts[n + 1].size() - marker.size());
        FUZZ_CHECK(!filled.contains(marker), fuzz::shown(templateText) + " kept " + marker);
    }
    FUZZ_CHECK(filled.size() == expected, fuzz::shown(filled));
    FUZZ_CHECK(filled.contains(u"{17}") == templateText.contains(u"{17}"), fuzz::shown(filled));
}

void allocationStatements(const QString& input, std::size_t size)
{
    static const auto sqlite = tesr::ledger::makeDialect(Engine::SQLite);
    static const auto postgres = tesr::ledger::makeDialect(Engine::PostgreSQL);
    const QString uniqueId = tesr::modSharedSQL::FixSQLQuotes(input);
    const QString literal = u'\'' + uniqueId + u'\'';
    const QString amount = tesr::Currency::fromRaw(qint64(size) * 12345 - 999).toPlainString();
    const QString id = QString::number(size);
    for (const QStringView statement :
         {tesr::ledger::ApplyAllocationByUniqueID, tesr::ledger::ApplyAllocationByID, tesr::ledger::RemoveAllocation}) {
        const QString command = tesr::ledger::FillMarkers(
            statement, {{u"<pid>", id}, {u"<ouid>", uniqueId}, {u"<oid>", id}, {u"<aid>", id}, {u"<a>", amount}});
        const QStringList pieces = statement.toString().split(QStringLiteral("; "));
        FUZZ_CHECK(tesr::ledger::splitStatements(command).size() == pieces.size(), fuzz::shown(command));
        for (const auto* dialect : {sqlite.get(), postgres.get()}) {
            const QStringList statements = dialect->translate(command);
            FUZZ_CHECK(statements.size() == pieces.size(), dialect->displayName() + ": " + fuzz::shown(statements));
            for (qsizetype k = 0; k < pieces.size(); ++k)
                if (pieces[k].contains(u"'<ouid>'"))
                    FUZZ_CHECK(statements[k].contains(literal),
                               dialect->displayName() + ": " + fuzz::shown(statements[k]));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString input = fuzz::text(data, size);
    fillTemplate(input);
    allocationStatements(input, size);
    return 0;
}
