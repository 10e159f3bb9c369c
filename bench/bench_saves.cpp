// Saves against the engine's own speed, on SQLite and on PostgreSQL, measured in the same run and
// alternated inside every iteration:
//   ours   OK pressed in New Payment on a payment of one unit to each of the customer's N open
//          orders, from the click until the save has committed and the dialog has closed, less
//          the time Cancel takes to close the same dialog (keeping the window's place on disk);
//   limit  the same statements (recorded from one of our saves, with their values) run directly
//          on the engine, each statement shape prepared once, in one transaction: SQLite through
//          its C interface, PostgreSQL through libpq with the whole transaction in one round trip;
//   today  (200 allocations) the recorded statements sent the way the connection sent them
//          before statements were reused: each as text through QtSql, one round trip each, and a
//          savepoint pair around each command inside the transaction.
// Targets: on SQLite, ours within 1.5x of the limit at 200, 1,000 and 10,000 allocations; on
// PostgreSQL, ours at least 3x faster than today's way at 200 allocations, and growing linearly:
// the time per allocation at 5,000 allocations within 1.3x of that at 1,000. The distance to the
// PostgreSQL limit is shown without a target.

#include "entry/Library.h"
#include "host/ReferenceHost.h"
#include "ledger/Literals.h"
#include "ledger/Schema.h"
#include "platform/SqlConnection.h"
#include "platform/controls/ComboBox.h"
#include "platform/controls/PushButton.h"
#include "platform/controls/ReportControl.h"
#include "support/BenchSupport.h"
#include "values/Currency.h"

#include <benchmark/benchmark.h>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QHash>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

namespace {

using namespace tesr::bench;
using tesr::Currency;
using tesr::ledger::Engine;
using tesr::ledger::Literal;

// Statements that only open, close or mark a transaction: not part of the work itself.
bool isControl(const QString& statement)
{
    for (const char* word : {"BEGIN", "COMMIT", "ROLLBACK", "SAVEPOINT", "RELEASE"})
        if (statement.startsWith(QLatin1StringView(word), Qt::CaseInsensitive))
            return true;
    return false;
}

// A company database with a customer of `orders` open orders (and 1,000 orders of others), the
// reference host over it and the module.
struct Company {
    Engine engine;
    QTemporaryDir dir;
    QString url;
    int customer = 0;
    QString error;
    std::shared_ptr<tesr::host::ReferenceHost> host;
    tesr::Library library;

    Company(Engine e, int orders) : engine(e)
    {
        if (engine == Engine::SQLite) {
            url = dir.filePath(QStringLiteral("company.db"));
            auto parsed = *tesr::DatabaseUrl::parse(url);
            auto c = tesr::SqlConnection::open(parsed, tesr::SqlConnection::OpenMode::CreateIfMissing, &error);
            QSqlDatabase db = c ? c->database() : QSqlDatabase();
            if (!c || !tesr::ledger::createSchema(db, Engine::SQLite, &error))
                return;
        } else {
            url = newPostgresCompany(QStringLiteral("saves%1").arg(orders), &error);
            if (url.isEmpty())
                return;
        }
        if (!fill(orders))
            return;
        host = referenceHost(url, dir.filePath(QStringLiteral("logs")));
        library.Initialize(host);
    }
    ~Company() { library.PreTerminate(); }

    bool fill(int orders)
    {
        auto c = tesr::openCompanyConnection(url, &error);
        if (!c || !c->BeginTrans())
            return false;
        bool ok =
            c->Execute(QStringLiteral("INSERT INTO PaymentMethods (PaymentMethod, MethodType) VALUES ('Cash', 0)"));
        for (int k = 1; ok && k <= 100; ++k) {
            const qint64 id = c->ExecuteInsert(
                QStringLiteral("INSERT INTO Customers (CustomerName, Active) VALUES ('Customer %1', 1)").arg(k));
            ok = id > 0;
            if (k == 1)
                customer = int(id);
            const int count = k == 1 ? orders : 10;
            for (int o = 1; ok && o <= count; ++o)
                ok =
                    c->Execute(QStringLiteral("INSERT INTO Orders (UniqueID, CustomerID, OrderNumber, Sidemark, State, "
                                              "StatusCode, Total, Balance) VALUES ('{%1-%2}', %1, '%2', 'Sidemark "
                                              "%2', 3, 100, 1000000, 1000000)")
                                   .arg(id)
                                   .arg(o));
        }
        ok = ok && c->CommitTrans();
        if (!ok)
            error = c->LastError();
        return ok;
    }

    bool ready(benchmark::State& state) const
    {
        if (host && customer > 0)
            return true;
        state.SkipWithError(qPrintable(error.isEmpty() ? QStringLiteral("no company database") : error));
        return false;
    }
};

Company& company(Engine engine, int orders)
{
    return keptUntilQuit<Company>(std::pair{int(engine), orders},
                                  [=] { return std::make_unique<Company>(engine, orders); });
}

// Runs `onScreen` on the New Payment dialog once it has loaded (every event-loop turn looks).
struct Watcher {
    QTimer timer;
    std::function<bool(QWidget*)> onScreen; // true when done
    explicit Watcher(std::function<bool(QWidget*)> f) : onScreen(std::move(f))
    {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (w && w->objectName() == QLatin1String("frmNewPayment") && onScreen(w))
                timer.stop();
        });
        timer.start();
    }
};

// The time it takes to close the loaded dialog without saving (Cancel), added to `seen`: closing
// is part of every OK press (the window's place and size are kept on disk) but no part of the
// save.
void closeOnce(Company& company, int orders, Spent& seen)
{
    Watcher watch([&](QWidget* w) {
        auto* grid = w->findChild<tesr::ReportControl*>(QStringLiteral("rptOrders"));
        if (!grid || grid->Records().Count() != orders)
            return false;
        auto* cancel = w->findChild<tesr::PushButton*>(QStringLiteral("cmdCancel"));
        cancel->setFocus();
        timed(seen, [&] { cancel->click(); })();
        return true;
    });
    company.library.ShowNewPayment(company.customer);
}

// One save of one unit to each of the customer's orders, through the dialog: the time from OK
// until the dialog closed; false when it did not save. With `recorded`, the statements the save
// sent, as the engine received them.
bool saveOnce(Company& company, int orders, Spent& seen, QStringList* recorded = nullptr)
{
    const Currency each = Currency::fromUnits(1);
    Watcher watch([&](QWidget* w) {
        auto* grid = w->findChild<tesr::ReportControl*>(QStringLiteral("rptOrders"));
        auto* amount = w->findChild<tesr::ComboBox*>(QStringLiteral("cboAmount"));
        if (!grid || !amount || grid->Records().Count() != orders || amount->Text().isEmpty())
            return false;
        for (int r = 0; r < grid->Records().Count(); ++r) {
            tesr::ReportRecord* record = grid->Records().Record(r);
            record->Item(4)->SetValue(QVariant::fromValue(each));
            record->Item(5)->SetMoney(record->Item(2)->Value().value<Currency>().minus(each));
        }
        amount->SetText(QString::number(orders));
        w->findChild<tesr::ComboBox*>(QStringLiteral("cboPaymentMethod"))->SetListIndex(0);
        auto* ok = w->findChild<tesr::PushButton*>(QStringLiteral("cmdOK"));
        ok->setFocus();
        if (recorded)
            tesr::setStatementHook([recorded](const QString& statement) {
                recorded->append(statement);
                return true;
            });
        timed(seen, [&] { ok->click(); })();
        tesr::setStatementHook({});
        return true;
    });
    return company.library.ShowNewPayment(company.customer) > 0;
}

// ---- the limit: prepared statements in one transaction, directly on the engine -----------------

// The recorded work as shapes and values.
struct Work {
    QStringList shapes; // distinct, in order of first use
    std::vector<std::pair<int, QList<Literal>>> steps;

    explicit Work(const QStringList& recorded)
    {
        QHash<QString, int> known;
        for (const QString& statement : recorded) {
            if (isControl(statement))
                continue;
            tesr::ledger::LiftedCommand lifted = tesr::ledger::liftLiterals(statement);
            auto it = known.constFind(lifted.shape);
            if (it == known.constEnd()) {
                it = known.insert(lifted.shape, int(shapes.size()));
                shapes << lifted.shape;
            }
            steps.emplace_back(it.value(), std::move(lifted.literals));
        }
    }
};

class SqliteLimit {
public:
    SqliteLimit(const QString& path, const Work& work) : m_work(work)
    {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            return;
        sqlite3_busy_timeout(m_db, 5000);
        for (const QString& shape : work.shapes) {
            sqlite3_stmt* statement = nullptr;
            sqlite3_prepare16_v3(m_db, shape.utf16(), int(shape.size() * 2), SQLITE_PREPARE_PERSISTENT, &statement,
                                 nullptr);
            m_statements.push_back(statement);
        }
    }
    ~SqliteLimit()
    {
        for (sqlite3_stmt* statement : m_statements)
            sqlite3_finalize(statement);
        sqlite3_close(m_db);
    }
    bool ready() const
    {
        for (sqlite3_stmt* statement : m_statements)
            if (!statement)
                return false;
        return m_db != nullptr;
    }

    bool run()
    {
        bool ok = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
        for (const auto& [shape, values] : m_work.steps) {
            sqlite3_stmt* statement = m_statements[size_t(shape)];
            for (int i = 0; i < values.size(); ++i) {
                const Literal& v = values[i];
                if (v.type == Literal::Type::Integer)
                    sqlite3_bind_int64(statement, i + 1, v.text.toLongLong());
                else if (v.type == Literal::Type::Decimal)
                    sqlite3_bind_double(statement, i + 1, v.text.toDouble());
                else
                    sqlite3_bind_text16(statement, i + 1, v.text.utf16(), int(v.text.size() * 2), SQLITE_STATIC);
            }
            int rc = sqlite3_step(statement);
            while (rc == SQLITE_ROW)
                rc = sqlite3_step(statement);
            ok = ok && rc == SQLITE_DONE;
            sqlite3_reset(statement);
        }
        return sqlite3_exec(m_db, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr) == SQLITE_OK && ok;
    }

private:
    const Work& m_work;
    sqlite3* m_db = nullptr;
    std::vector<sqlite3_stmt*> m_statements;
};

class PostgresLimit {
public:
    PostgresLimit(const QString& url, const Work& work) : m_work(work)
    {
        m_conn = PQconnectdb(url.toUtf8().constData());
        if (PQstatus(m_conn) != CONNECTION_OK)
            return;
        PQclear(PQexec(m_conn, "SET search_path TO dbo, public"));
        for (int k = 0; k < work.shapes.size(); ++k) {
            PGresult* r = PQprepare(m_conn, QByteArray::number(k).prepend("limit").constData(),
                                    tesr::ledger::numberMarkers(work.shapes[k]).toUtf8().constData(), 0, nullptr);
            m_ready = PQresultStatus(r) == PGRES_COMMAND_OK && (k == 0 || m_ready);
            PQclear(r);
        }
        for (const auto& [shape, values] : work.steps) {
            std::vector<QByteArray> texts;
            for (const Literal& v : values)
                texts.push_back(v.text.toUtf8());
            m_values.push_back(std::move(texts));
        }
    }
    ~PostgresLimit() { PQfinish(m_conn); }
    bool ready() const { return m_ready; }

    // The whole transaction in one round trip.
    bool run()
    {
        bool ok = PQenterPipelineMode(m_conn) == 1;
        ok = ok && PQsendQueryParams(m_conn, "BEGIN", 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
        for (size_t s = 0; ok && s < m_work.steps.size(); ++s) {
            std::vector<const char*> values;
            for (const QByteArray& v : m_values[s])
                values.push_back(v.constData());
            ok = PQsendQueryPrepared(m_conn, QByteArray::number(m_work.steps[s].first).prepend("limit").constData(),
                                     int(values.size()), values.data(), nullptr, nullptr, 0) == 1;
        }
        ok = ok && PQsendQueryParams(m_conn, "COMMIT", 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
        ok = ok && PQpipelineSync(m_conn) == 1;
        for (bool synced = false; !synced;) {
            PGresult* r = PQgetResult(m_conn);
            if (!r)
                continue;
            const ExecStatusType status = PQresultStatus(r);
            synced = status == PGRES_PIPELINE_SYNC;
            ok = ok && (synced || status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK);
            PQclear(r);
        }
        return PQexitPipelineMode(m_conn) == 1 && ok;
    }

private:
    const Work& m_work;
    PGconn* m_conn = nullptr;
    bool m_ready = false;
    std::vector<std::vector<QByteArray>> m_values;
};

// The save's statements the way the connection sent them before statements were reused and
// commands went in one round trip: each as text, one round trip each, and each command inside
// the save's transaction between a savepoint and its release (on SQLite only commands of several
// statements, the apply commands). The recorded work is cut into the save's commands: an apply
// command is the allocation row and the two updates after it.
QStringList todaysWay(const QStringList& recorded, Engine engine)
{
    QStringList work;
    for (const QString& statement : recorded)
        if (!isControl(statement))
            work << statement;
    QStringList out{engine == Engine::SQLite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN")};
    for (qsizetype i = 0; i < work.size();) {
        const qsizetype size =
            work[i].startsWith(QLatin1StringView("INSERT INTO PaymentAllocations"), Qt::CaseInsensitive) ? 3 : 1;
        const bool guarded = engine == Engine::PostgreSQL || size > 1;
        if (guarded)
            out << QStringLiteral("SAVEPOINT tesr_command");
        out << work.mid(i, size);
        if (guarded)
            out << QStringLiteral("RELEASE SAVEPOINT tesr_command");
        i += size;
    }
    out << QStringLiteral("COMMIT");
    return out;
}

bool asText(const QSqlDatabase& db, const QStringList& recorded)
{
    bool ok = true;
    for (const QString& statement : recorded) {
        QSqlQuery query(db);
        ok = query.exec(statement) && ok;
    }
    return ok;
}

// ---- the benchmarks ---------------------------------------------------------------------------

// PostgreSQL: ms per allocation of our save and of the limit, by size.
std::map<int, double> postgresPerAllocation, postgresLimitPerAllocation;

void saveBench(benchmark::State& state, Engine engine)
{
    const int orders = int(state.range(0));
    Company& c = company(engine, orders);
    if (!c.ready(state))
        return;
    QStringList recorded;
    Spent first;
    if (!saveOnce(c, orders, first, &recorded)) {
        state.SkipWithError("the save did not go through");
        return;
    }
    const Work work(recorded);
    SqliteLimit sqliteLimit(engine == Engine::SQLite ? c.url : QString(), work);
    PostgresLimit postgresLimit(engine == Engine::PostgreSQL ? c.url : QString(), work);
    const bool limitReady = engine == Engine::SQLite ? sqliteLimit.ready() : postgresLimit.ready();
    auto session = tesr::openCompanyConnection(c.url);
    auto* text = static_cast<tesr::SqlConnection*>(session.get());
    if (!limitReady || !text) {
        state.SkipWithError("the limit's statements do not prepare");
        return;
    }
    const bool withToday = orders == 200;
    const QStringList todays = todaysWay(recorded, engine);
    Spent ok, close, limit, today;
    int turn = 0, failed = 0;
    for (auto _ : state) {
        takeTurns(
            turn,
            {[&] {
                 failed += !saveOnce(c, orders, ok);
                 closeOnce(c, orders, close);
             },
             timed(limit, [&] { failed += !(engine == Engine::SQLite ? sqliteLimit.run() : postgresLimit.run()); }),
             timed(today, [&] { failed += withToday && !asText(text->database(), todays); })});
    }
    if (failed > 0) {
        state.SkipWithError(qPrintable(QStringLiteral("%1 saves failed").arg(failed)));
        return;
    }
    // The save: OK until closed, less what closing alone takes.
    const Spent ours{ok.wall - close.wall, ok.cpu - close.cpu};
    state.counters["ours_ms"] = msEach(state, ours.wall);
    state.counters["close_ms"] = msEach(state, close.wall);
    state.counters["limit_ms"] = msEach(state, limit.wall);
    // On SQLite both sides run in this process; on PostgreSQL the limit's work is the server's.
    if (engine == Engine::SQLite)
        state.counters["cpu_ratio"] = limit.cpu > 0 ? ours.cpu / limit.cpu : 0;
    else
        state.counters["ours_cpu_ms"] = msEach(state, ours.cpu);
    state.counters["statements"] = double(work.steps.size());
    if (withToday)
        state.counters["today_ms"] = msEach(state, today.wall);
    const QString size = QStringLiteral("save of %L1 allocations").arg(orders);
    const QString cpu = QStringLiteral("; processor time %1x").arg(ours.cpu / limit.cpu, 0, 'f', 2);
    if (engine == Engine::SQLite) {
        reportRatio(state, size + QStringLiteral(" vs prepared statements in one transaction (SQLite C API):"),
                    ours.wall, limit.wall, 1.5, Bound::AtMost,
                    cpu + (withToday
                               ? QStringLiteral("; today's way (as text) %1x").arg(today.wall / limit.wall, 0, 'f', 1)
                               : QString()));
        return;
    }
    const double perAllocation = msEach(state, ours.wall) / orders;
    postgresPerAllocation[orders] = perAllocation;
    postgresLimitPerAllocation[orders] = msEach(state, limit.wall) / orders;
    const QString toLimit =
        QStringLiteral("; %1x the limit (libpq, prepared, one round trip)").arg(ours.wall / limit.wall, 0, 'f', 1);
    if (withToday) {
        reportRatio(state, size + QStringLiteral(": faster than today's way (as text, a round trip each):"), today.wall,
                    ours.wall, 3.0, Bound::AtLeast, toLimit);
    } else if (orders == 5000 && postgresPerAllocation.count(1000)) {
        // Updating one payment row once per allocation in one transaction makes the server walk
        // that row's versions each time: the limit grows too, and is shown beside.
        reportRatio(state, size + QStringLiteral(": time per allocation vs at 1,000 allocations:"), perAllocation,
                    postgresPerAllocation[1000], 1.3, Bound::AtMost,
                    toLimit +
                        QStringLiteral("; the limit's own growth %1x")
                            .arg(postgresLimitPerAllocation[orders] / postgresLimitPerAllocation[1000], 0, 'f', 2));
    } else {
        state.counters["ratio"] = ours.wall / limit.wall;
        state.SetLabel(
            (size + QStringLiteral(": %1 ms per allocation").arg(perAllocation, 0, 'f', 3) + toLimit).toStdString());
    }
}

void BM_SaveSqlite(benchmark::State& state)
{
    saveBench(state, Engine::SQLite);
}
BENCHMARK(BM_SaveSqlite)->Arg(200)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_SaveSqlite)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_SavePostgres(benchmark::State& state)
{
    saveBench(state, Engine::PostgreSQL);
}
BENCHMARK(BM_SavePostgres)->Arg(200)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(6);
BENCHMARK(BM_SavePostgres)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace
