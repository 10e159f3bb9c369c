// Allocate Credit for a customer with 2,000 open orders and 500 unallocated payments, measured
// against QtSql doing the same database work raw, in the same run and taking turns:
//   - opening (BM_OpenToFirstPaint/N, N times those sizes: 1 and 10): the real form loaded,
//     prepared, shown and activated until both lists are filled and painted, against the two list
//     SELECTs (translated once beforehand) each run through a forward-only QSqlQuery on a fresh
//     session, every column read; target at most 2x at these sizes, 1.5x at ten times them;
//   - saving 200 allocations: OK pressed on the real form (checks, the re-read of the payment,
//     200 apply commands and activity lines in one transaction), against the same statements
//     run raw in one transaction; target at most 1.3x.

#include "entry/Library.h"
#include "forms/frmAllocateCredit/frmAllocateCredit.h"
#include "host/DemoData.h"
#include "host/ReferenceHost.h"
#include "ledger/Dialect.h"
#include "ledger/Statements.h"
#include "platform/controls/PushButton.h"
#include "platform/controls/ReportControl.h"
#include "shared/modSharedSQL.h"
#include "shared/modSharedStrings.h"
#include "support/BenchSupport.h"
#include "values/Regional.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <memory>

namespace {

using namespace tesr;
using namespace tesr::bench;

constexpr int kOrders = 2000;
constexpr int kPayments = 500;
constexpr int kAllocations = 200;
constexpr double kOpenTarget = 2.0;   // at the sizes above
constexpr double kOpenTarget10 = 1.5; // at ten times them
constexpr double kSaveTarget = 1.3;

const QString PaymentsList = QStringLiteral(
    "SELECT Payments.ID, Payments.PaymentMethodID, Payments.CustomerID, Payments.PaymentDate, "
    "dbo.PaymentDetails(Payments.ID) AS theDetails, Payments.Amount, Payments.Allocated, Payments.AddedOn, "
    "PaymentMethods.PaymentMethod FROM Payments INNER JOIN PaymentMethods ON Payments.PaymentMethodID = "
    "PaymentMethods.ID WHERE (Payments.CustomerID = %1) AND (Payments.Allocated <> Payments.Amount)");
const QString OrdersList = QStringLiteral("SELECT ID, OrderNumber, Sidemark, Balance, UniqueID FROM Orders WHERE "
                                          "CustomerID = %1 AND Balance <> 0 AND (State = 2 OR State = 3)");

struct Fixture {
    QTemporaryDir dir;
    QString path;
    QString error;
    int customer = 0;
    std::shared_ptr<host::ReferenceHost> host;
    Library library;
    // No session of its own: the fixture outlives the thread's session pool at exit.
    std::unique_ptr<ledger::Dialect> dialect = ledger::makeDialect(ledger::Engine::SQLite);
    QString paymentsRaw;
    QString ordersRaw;

    explicit Fixture(int scale)
    {
        path = dir.filePath(QStringLiteral("bench.db"));
        if (!host::createDemoDatabase(path, &error))
            return;
        customer = host::addCustomerWithOpenOrders(path, kOrders * scale, kPayments * scale, &error);
        if (customer < 1)
            return;
        host = referenceHost(path, dir.filePath(QStringLiteral("logs")), nullptr);
        library.Initialize(host);
        paymentsRaw = dialect->translate(PaymentsList.arg(customer)).value(0);
        ordersRaw = dialect->translate(OrdersList.arg(customer)).value(0);
    }
    ~Fixture() { library.PreTerminate(); }

    bool ready() const { return !paymentsRaw.isEmpty() && !ordersRaw.isEmpty(); }
};

// The database of `scale` times the sizes above; one at a time (the last asked for).
Fixture& fixture(int scale = 1)
{
    return oneScaleAtATime<Fixture>(scale);
}

// The form as the Library opens it, shown without blocking, until its first activation has
// filled both lists and it has painted itself.
std::unique_ptr<frmAllocateCredit> openForm(Fixture& f)
{
    auto form = std::make_unique<frmAllocateCredit>();
    form->Load();
    form->Prepare(f.customer, f.library);
    form->show();
    while (!form->DataLoaded())
        QCoreApplication::processEvents();
    form->repaint();
    return form;
}

ReportControl* grid(QWidget* form, const char* name)
{
    return form->findChild<ReportControl*>(QString::fromLatin1(name));
}

// The raw floor of opening: each list read on a session of its own (as each of the screen's list
// loads takes its own connection), every column read.
int readListsRaw(const Fixture& f)
{
    int rows = 0;
    for (const QString& statement : {f.paymentsRaw, f.ordersRaw}) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
            db.setDatabaseName(f.path);
            db.open();
            rows += readForward(db, statement);
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    }
    return rows;
}

void report(benchmark::State& state, double raw, double ours, double target, const QString& what)
{
    state.counters["raw_ms"] = msEach(state, raw);
    state.counters["ours_ms"] = msEach(state, ours);
    reportRatio(state, what + u':', ours, raw, target, Bound::AtMost);
}

void BM_OpenToFirstPaint(benchmark::State& state)
{
    const int scale = int(state.range(0));
    Fixture& f = fixture(scale);
    if (!f.ready()) {
        state.SkipWithError(qPrintable(QStringLiteral("no database: ") + f.error));
        return;
    }
    // Warm both sides once (page cache, fonts, first widgets).
    openForm(f).reset();
    readListsRaw(f);
    double raw = 0, ours = 0;
    int turn = 0;
    int shown = 0;
    for (auto _ : state) {
        auto timeRaw = timed(raw, [&] { benchmark::DoNotOptimize(readListsRaw(f)); });
        auto timeOurs = [&] {
            const auto t0 = Clock::now();
            auto form = openForm(f);
            ours += since(t0);
            shown =
                grid(form.get(), "rptPayments")->Records().Count() + grid(form.get(), "rptOrders")->Records().Count();
            form->Unload();
        };
        takeTurns(turn, {timeRaw, timeOurs});
    }
    report(state, raw, ours, scale >= 10 ? kOpenTarget10 : kOpenTarget,
           QStringLiteral("open to first paint, %L1 orders and %L2 payments, vs the two SELECTs raw")
               .arg(kOrders * scale)
               .arg(kPayments * scale));
    const int rows = (kOrders + kPayments) * scale;
    if (shown != rows)
        state.SkipWithError(qPrintable(QStringLiteral("the lists hold %1 rows, not %2").arg(shown).arg(rows)));
}

// The statements one save runs, raw: per order the three statements of the apply command and the
// activity line the host writes, all in one transaction.
bool saveRaw(const Fixture& f, QSqlDatabase& db, int paymentID, const std::vector<std::pair<int, QString>>& orders,
             Currency amount)
{
    const ledger::Dialect& dialect = *f.dialect;
    QSqlQuery q(db);
    bool ok = q.exec(QStringLiteral("BEGIN IMMEDIATE"));
    const QString text = modSharedStrings::FillTemplate(QStringLiteral("A credit of {0} was applied."),
                                                        {Regional::formatCurrency(amount)});
    for (const auto& [orderID, uniqueID] : orders) {
        const QString apply =
            ledger::FillMarkers(ledger::ApplyAllocationByID, {{u"<pid>", QString::number(paymentID)},
                                                              {u"<oid>", QString::number(orderID)},
                                                              {u"<ouid>", modSharedSQL::FixSQLQuotes(uniqueID)},
                                                              {u"<a>", amount.toPlainString()}});
        QStringList statements = dialect.prepareCommand(apply).statements;
        statements << dialect.translate(QStringLiteral("INSERT INTO ActivityHistory (CustomerID, OrderID, Description, "
                                                       "UserID) VALUES((SELECT CustomerID FROM Orders WHERE ID = %1), "
                                                       "%1, '%2', 1)")
                                            .arg(orderID)
                                            .arg(modSharedSQL::FixSQLQuotes(text)));
        for (const QString& s : statements)
            ok = q.exec(s) && ok;
    }
    ok = q.exec(QStringLiteral("COMMIT")) && ok;
    return ok;
}

void BM_Save200Allocations(benchmark::State& state)
{
    Fixture& f = fixture();
    if (!f.ready()) {
        state.SkipWithError(qPrintable(QStringLiteral("no database: ") + f.error));
        return;
    }
    const Currency amount = Currency::fromRaw(2500); // 0.25 per order: every payment holds 50.00
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("rawsave"));
    db.setDatabaseName(f.path);
    db.open();
    double raw = 0, ours = 0;
    int turn = 0;
    int payment = 0; // each save, ours or raw, uses a payment of its own
    QString failure;
    for (auto _ : state) {
        auto timeRaw = [&] {
            auto form = openForm(f); // only to learn the payment and orders the form would use
            ReportControl* payments = grid(form.get(), "rptPayments");
            ReportControl* orders = grid(form.get(), "rptOrders");
            const int paymentID = payments->Records().Record(payment++)->Tag().toInt();
            std::vector<std::pair<int, QString>> targets;
            for (int i = 0; i < kAllocations; ++i) {
                const ReportRecord* r = orders->Records().Record(i);
                targets.emplace_back(r->Tag().toInt(), r->Item(frmAllocateCredit::OrdUniqueID)->Value().toString());
            }
            form->Unload();
            const auto t0 = Clock::now();
            if (!saveRaw(f, db, paymentID, targets, amount))
                failure = QStringLiteral("the raw save failed");
            raw += since(t0);
        };
        auto timeOurs = [&] {
            auto form = openForm(f);
            ReportControl* payments = grid(form.get(), "rptPayments");
            ReportControl* orders = grid(form.get(), "rptOrders");
            payments->SetFocusedRow(payments->Rows().FindRow(payments->Records().Record(payment++)));
            for (int i = 0; i < kAllocations; ++i) {
                ReportRecordItem* item = orders->Records().Record(i)->Item(frmAllocateCredit::OrdAllocate);
                item->SetValue(QVariant::fromValue(amount));
            }
            auto* ok = form->findChild<PushButton*>(QStringLiteral("cmdOK"));
            const auto t0 = Clock::now();
            ok->click();
            ours += since(t0);
            if (form->Cancelled)
                failure = QStringLiteral("the form did not save");
        };
        takeTurns(turn, {timeRaw, timeOurs});
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("rawsave"));
    report(state, raw, ours, kSaveTarget, QStringLiteral("save of 200 allocations vs the same statements raw"));
    if (!failure.isEmpty())
        state.SkipWithError(qPrintable(failure));
}

} // namespace

// The saves use the first size's database, so they run before the larger one is built.
BENCHMARK(BM_OpenToFirstPaint)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(6);
BENCHMARK(BM_Save200Allocations)->Unit(benchmark::kMillisecond)->Iterations(6);
BENCHMARK(BM_OpenToFirstPaint)->Arg(10)->Unit(benchmark::kMillisecond)->Iterations(3);
