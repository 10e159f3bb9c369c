// The load test: eight workstation processes (tesr_workstation) on one company database of
// the test's engine, each working the real New Payment, Allocate Credit and Payment
// Allocations dialogs offscreen for a fixed number of operations, all at once on the same
// customers. Afterwards, by SQL: every figure in step with the allocation rows and no payment
// allocated above its Amount; every order's Payments and Balance moved by exactly what the
// workstations applied and removed (as their dialogs showed it); the allocation rows are the
// ones made less the ones removed. The saves per second are reported for the engine.
//
// TESR_LOAD_OPERATIONS sets the operations per workstation (default 6, which keeps the CI run
// short; try 60 for a real measurement).
//
// The crash test: three workstations at work on the same database, one of them killed
// (SIGKILL) at a random moment of a save and started again, TESR_CRASH_KILLS times (default 8;
// 200 for the long run). Each workstation journals what it is about to save and whether it was
// saved; a save cut short by a kill has no outcome. Afterwards `tesrhost --check` finds every
// figure in step, and the database is held against the journals: a save logged as saved is
// there exactly once, one logged as refused is not, one cut short is there whole or not at all;
// every allocation row was made by a save and every one gone was removed by one; every order's
// activity lines match what was written. TESR_CRASH_SEED repeats a run.

#include "host/IntegrityCheck.h"
#include "values/Regional.h"

#include "support/Shorthand.h"
#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <map>
#include <signal.h>
#include <tuple>

using tesr::Currency;

namespace {

// Three customers with three open orders (100,000 each) and two payments of credit each.
struct Book {
    QStringList customers, orders;
};

Book makeBook(tesrtest::TestDatabase& db)
{
    Book book;
    const int cash = db.addPaymentMethod("Cash");
    for (int c = 1; c <= 3; ++c) {
        const int id = db.addCustomer(QStringLiteral("Workstation Customer %1").arg(c));
        book.customers << QString::number(id);
        for (int o = 1; o <= 3; ++o) {
            book.orders << QStringLiteral("LOAD-%1-%2").arg(c).arg(o);
            db.addOrder(id, book.orders.last(), Currency::fromUnits(100000));
        }
        for (int p = 0; p < 2; ++p)
            db.addPayment(id, Currency::fromUnits(250), cash, tesrtest::at(2024, 1, 1, 10), "credit");
    }
    return book;
}

void startWorkstation(QProcess& process, const QString& home, const QStringList& args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", home + "/config");
    env.insert("XDG_DATA_HOME", home + "/data");
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TESR_WORKSTATION_EXE), args);
}

// An allocation as the journals and the database both name it: payment, order, amount.
using AllocationKey = std::tuple<int, QString, qint64>;

QString describe(const AllocationKey& key)
{
    return QStringLiteral("payment %1 to %2, %3")
        .arg(std::get<0>(key))
        .arg(std::get<1>(key), Currency::fromRaw(std::get<2>(key)).toPlainString());
}

// What the journals say about the allocations of one key, and what the database holds.
struct AllocationCount {
    int byNewPayment = 0;   // made by a new payment that is in the database
    int creditSaved = 0;    // Allocate Credit logged as saved
    int creditCutShort = 0; // Allocate Credit killed before its outcome was logged
    int present = 0;        // rows in the database
    int removed = 0;        // rows a removal targeted that are gone
};

// A workstation of the crash test and the journal lines read from it so far.
struct Station {
    std::unique_ptr<QProcess> process;
    QByteArray partial;
    QJsonObject summary;
    int intents = 0;
    bool killing = false;
};

} // namespace

class TestWorkstations : public QObject {
    Q_OBJECT

private slots:
    void eightWorkstationsKeepTheLedgerInStep()
    {
        constexpr int Workstations = 8;
        const int operations = qEnvironmentVariableIntValue("TESR_LOAD_OPERATIONS") > 0
                                   ? qEnvironmentVariableIntValue("TESR_LOAD_OPERATIONS")
                                   : 6;
        tesrtest::TestDatabase db;
        const Book book = makeBook(db);
        const QStringList& orders = book.orders;

        auto home = tesrtest::makeTempDir();
        std::vector<std::unique_ptr<QProcess>> workers;
        QElapsedTimer clock;
        clock.start();
        for (int w = 1; w <= Workstations; ++w)
            startWorkstation(
                *workers.emplace_back(std::make_unique<QProcess>()), home->filePath(QStringLiteral("w%1").arg(w)),
                {db.url(), book.customers.join(u','), QString::number(operations), QString::number(1000 + w),
                 QString::number(w), home->filePath(QStringLiteral("logs%1").arg(w))});

        int saves = 0, allocations = 0;
        QMap<QString, Currency> moved; // per order (upper case): applied less removed
        QStringList failures;
        for (int w = 1; w <= Workstations; ++w) {
            QProcess& process = *workers[w - 1];
            if (!process.waitForFinished(240000)) {
                process.kill();
                process.waitForFinished();
            }
            const QJsonObject summary =
                QJsonDocument::fromJson(process.readAllStandardOutput().trimmed().split('\n').last()).object();
            if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 || summary.isEmpty())
                failures << QStringLiteral("workstation %1 failed (exit code %2%3): %4 %5")
                                .arg(w)
                                .arg(process.exitCode())
                                .arg(process.exitStatus() == QProcess::CrashExit ? ", crashed" : "")
                                .arg(summary.value("failure").toString(),
                                     QString::fromUtf8(process.readAllStandardError()).right(2000));
            saves += summary.value("saves").toInt();
            allocations += summary.value("allocations").toInt();
            const QJsonObject movedHere = summary.value("moved").toObject();
            for (auto it = movedHere.begin(); it != movedHere.end(); ++it)
                moved[it.key()] = moved[it.key()].plus(*Currency::parsePlain(it.value().toString())).value();
            // Any error the host had to show (other than for a row another workstation had
            // removed first: the worker checks) is a fault.
            for (const QJsonValue& e : summary.value("errors").toArray())
                failures << QStringLiteral("workstation %1 was shown: %2").arg(w).arg(e.toString());
        }
        const double seconds = double(clock.elapsed()) / 1000.0;
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));

        // Every figure in step with the allocation rows, for the whole database.
        const tesr::host::IntegrityReport report = tesr::host::checkIntegrity(db.connection());
        QVERIFY2(report.ran && report.clean(), qPrintable(report.error));
        QCOMPARE(db.count("SELECT COUNT(*) FROM Payments WHERE Allocated > Amount OR Allocated < 0"), 0);
        // Every order moved by exactly what the workstations applied and removed.
        for (const QString& uid : orders) {
            const QString order = " FROM Orders WHERE UniqueID = '" + uid + "'";
            const Currency payments = db.money("SELECT Payments" + order), balance = db.money("SELECT Balance" + order);
            if (payments != moved.value(uid) || balance != Currency::fromUnits(100000).minus(moved.value(uid)))
                failures << QStringLiteral("order %1: Payments %2, Balance %3; the workstations moved %4")
                                .arg(uid, payments.toPlainString(), balance.toPlainString(),
                                     moved.value(uid).toPlainString());
        }
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));
        QCOMPARE(db.count("SELECT COUNT(*) FROM PaymentAllocations"), allocations);
        // The script did real work: most operations saved something.
        QVERIFY2(saves >= Workstations * operations / 3, qPrintable(QString::number(saves)));

        std::printf("THROUGHPUT %s: %d saves by %d workstations x %d operations in %.1f s: "
                    "%.2f saves/s\n",
                    qPrintable(tesrtest::testEngineName()), saves, Workstations, operations, seconds, saves / seconds);
    }

    void killedWorkstationsLoseNothing()
    {
        constexpr int Slots = 3;
        const int kills =
            qEnvironmentVariableIntValue("TESR_CRASH_KILLS") > 0 ? qEnvironmentVariableIntValue("TESR_CRASH_KILLS") : 8;
        const quint32 seed = qEnvironmentVariableIsSet("TESR_CRASH_SEED")
                                 ? quint32(qEnvironmentVariableIntValue("TESR_CRASH_SEED"))
                                 : QRandomGenerator::global()->bounded(1u << 30);
        qInfo("TESR_CRASH_SEED=%u", seed);
        QRandomGenerator rng(seed);
        tesrtest::TestDatabase db;
        const Book book = makeBook(db);
        auto home = tesrtest::makeTempDir();

        QList<QJsonObject> journal;
        QHash<QString, qint64> intentAt; // per tag: when its intent was read
        QList<qint64> saveTimes;         // intent to outcome, of the saves that ended
        QStringList failures;
        QElapsedTimer clock;
        clock.start();
        std::vector<Station> stations(Slots);
        int started = 0;
        auto read = [&](Station& st) {
            st.partial += st.process->readAllStandardOutput();
            for (qsizetype nl; (nl = st.partial.indexOf('\n')) >= 0; st.partial.remove(0, nl + 1)) {
                const QJsonObject entry = QJsonDocument::fromJson(st.partial.left(nl)).object();
                if (entry.contains("intent")) {
                    ++st.intents;
                    intentAt.insert(entry["tag"].toString(), clock.elapsed());
                } else if (entry.contains("done") && intentAt.contains(entry["done"].toString())) {
                    saveTimes << clock.elapsed() - intentAt.value(entry["done"].toString());
                } else if (!entry.contains("error")) {
                    st.summary = entry; // what a workstation says when it ends
                    continue;
                }
                journal << entry;
            }
        };
        auto start = [&](Station& st) {
            if (st.process)
                st.process->disconnect();
            st = Station{};
            st.process = std::make_unique<QProcess>();
            const QString name = QStringLiteral("w%1").arg(++started);
            QObject::connect(st.process.get(), &QProcess::readyReadStandardOutput, [&st, &read] { read(st); });
            // A workstation that ends on its own failed: what it said, and the end of its log.
            QObject::connect(st.process.get(), &QProcess::finished, [&st, &failures, name, &home] {
                if (st.killing)
                    return;
                QFile log(home->filePath(name + "/logs/tesrhost.log"));
                failures << QStringLiteral("%1 ended on its own (exit code %2%3): %4 %5\nIts log: %6")
                                .arg(name)
                                .arg(st.process->exitCode())
                                .arg(st.process->exitStatus() == QProcess::CrashExit ? ", crashed" : "")
                                .arg(st.summary.value("failure").toString(),
                                     QString::fromUtf8(st.process->readAllStandardError()).right(2000),
                                     log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()).right(3000)
                                                                   : QStringLiteral("none"));
            });
            startWorkstation(*st.process, home->filePath(name),
                             {db.url(), book.customers.join(u','), "1000000", QString::number(seed + started),
                              QString::number(started), home->filePath(name + "/logs"), name});
        };
        // SIGKILL once it runs (never to pid 0: that is this test's whole process group), then
        // what it wrote before it died; false when it did not stop.
        auto kill = [&](Station& st) {
            st.killing = true;
            st.process->waitForStarted(10000);
            if (const qint64 pid = st.process->processId(); pid > 0)
                ::kill(pid_t(pid), SIGKILL);
            const bool stopped = st.process->state() == QProcess::NotRunning || st.process->waitForFinished(10000);
            read(st);
            return stopped;
        };
        // However the test ends, no workstation outlives it or reports to a test that is gone.
        const auto stopAll = qScopeGuard([&] {
            for (Station& st : stations) {
                if (!st.process)
                    continue;
                st.process->disconnect();
                if (const qint64 pid = st.process->processId(); pid > 0)
                    ::kill(pid_t(pid), SIGKILL);
                st.process->waitForFinished(10000);
            }
        });
        // A moment within about one and a half saves' time of the save's start.
        auto moment = [&] {
            QList<qint64> times = saveTimes;
            std::sort(times.begin(), times.end());
            const qint64 typical = times.isEmpty() ? 100 : times[times.size() / 2];
            return int(rng.bounded(quint32(std::max<qint64>(20, typical * 3 / 2)) + 1));
        };

        for (Station& st : stations)
            start(st);
        for (int k = 0; k < kills && failures.isEmpty(); ++k) {
            Station& victim = stations[rng.bounded(quint32(Slots))];
            const int seen = victim.intents;
            QVERIFY2(QTest::qWaitFor([&] { return victim.intents > seen || !failures.isEmpty(); }, 60000),
                     "a workstation began no save for a minute");
            QTest::qWait(moment());
            QVERIFY2(kill(victim), "a workstation outlived SIGKILL");
            start(victim);
        }
        for (Station& st : stations)
            QVERIFY2(kill(st), "a workstation outlived SIGKILL");
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));

        // Every figure in step, as the host's own check sees it.
        const tesrtest::ProgramRun check = tesrtest::runProgram(
            QStringLiteral(TESRHOST_EXE), {"--database", db.url(), "--check"}, home->filePath("check"), 60000);
        QVERIFY2(check.exitCode == 0, qPrintable(check.out + check.err));
        QCOMPARE(db.count("SELECT COUNT(*) FROM Payments WHERE Allocated > Amount OR Allocated < 0"), 0);

        // The journals against the database.
        QHash<QString, QJsonObject> intents;
        QHash<QString, bool> saved; // per tag, when its outcome was logged
        for (const QJsonObject& e : journal) {
            if (e.contains("intent"))
                intents.insert(e["tag"].toString(), e);
            else if (e.contains("done"))
                saved.insert(e["done"].toString(), e["saved"].toBool());
            else
                failures << "a workstation was shown: " + e["error"].toString();
        }
        QMultiHash<QString, QPair<int, QVariant>> paymentsByMemo; // memo -> (ID, Amount)
        QHash<int, int> customerOf;
        for (auto rs = db.connection().OpenRecordset("SELECT ID, Description, Amount, CustomerID FROM Payments");
             rs && !rs->Eof(); rs->MoveNext()) {
            paymentsByMemo.insert(rs->FieldValue(1).toString(), {rs->FieldValue(0).toInt(), rs->FieldValue(2)});
            customerOf.insert(rs->FieldValue(0).toInt(), rs->FieldValue(3).toInt());
        }
        std::map<AllocationKey, AllocationCount> allocations;
        auto keyOf = [](int payment, const QString& order, const QString& amount) {
            return AllocationKey{payment, order.toUpper(), Currency::parsePlain(amount).value_or(Currency()).raw()};
        };
        QHash<int, AllocationKey> targeted; // allocation ID -> what it was
        QSet<int> removedSaved, removedCutShort;
        int cutShort = 0, cutShortWritten = 0, savesLogged = 0, rows = 0;
        for (const QJsonObject& e : std::as_const(intents)) {
            const QString tag = e["tag"].toString(), kind = e["intent"].toString();
            const bool logged = saved.contains(tag);
            cutShort += logged ? 0 : 1;
            savesLogged += saved.value(tag) ? 1 : 0;
            if (kind == u"pay") {
                const QList<QPair<int, QVariant>> rows = paymentsByMemo.values(tag);
                if (rows.size() > 1 || (logged && saved.value(tag) != (rows.size() == 1)))
                    failures << QStringLiteral("new payment %1 (%2): logged as %3, in the database %4 time(s)")
                                    .arg(tag, logged ? (saved.value(tag) ? "saved" : "not saved") : "cut short")
                                    .arg(rows.size());
                if (rows.size() != 1)
                    continue;
                cutShortWritten += logged ? 0 : 1;
                const auto [id, amount] = rows.first();
                if (Currency::fromVariant(amount) != Currency::parsePlain(e["amount"].toString()) ||
                    customerOf.value(id) != e["customer"].toInt())
                    failures << QStringLiteral("new payment %1 was written as payment %2 of %3 for customer %4")
                                    .arg(tag)
                                    .arg(id)
                                    .arg(amount.toString())
                                    .arg(customerOf.value(id));
                const QJsonObject parts = e["orders"].toObject();
                for (auto it = parts.begin(); it != parts.end(); ++it)
                    ++allocations[keyOf(id, it.key(), it.value().toString())].byNewPayment;
            } else if (kind == u"credit") {
                AllocationCount& c =
                    allocations[keyOf(e["payment"].toInt(), e["order"].toString(), e["amount"].toString())];
                if (!logged)
                    ++c.creditCutShort;
                else if (saved.value(tag))
                    ++c.creditSaved;
            } else {
                const int id = e["allocation"].toInt();
                targeted.insert(id, keyOf(e["payment"].toInt(), e["order"].toString(), e["amount"].toString()));
                if (!logged)
                    removedCutShort.insert(id);
                else if (saved.value(tag))
                    removedSaved.insert(id);
            }
        }
        for (auto it = paymentsByMemo.cbegin(); it != paymentsByMemo.cend(); ++it)
            if (it.key() != u"credit" && !intents.contains(it.key()))
                failures << QStringLiteral("payment %1 (memo \"%2\") was saved by nobody")
                                .arg(it.value().first)
                                .arg(it.key());
        QSet<int> present;
        for (auto rs =
                 db.connection().OpenRecordset("SELECT ID, PaymentID, OrderUniqueID, Amount FROM PaymentAllocations");
             rs && !rs->Eof(); rs->MoveNext()) {
            present.insert(rs->FieldValue(0).toInt());
            ++allocations[AllocationKey{rs->FieldValue(1).toInt(), rs->FieldValue(2).toString().toUpper(),
                                        Currency::fromVariant(rs->FieldValue(3)).value_or(Currency()).raw()}]
                  .present;
        }
        for (auto it = targeted.cbegin(); it != targeted.cend(); ++it) {
            if (present.contains(it.key())) {
                if (removedSaved.contains(it.key()))
                    failures << QStringLiteral("allocation %1 was logged as removed and is still there").arg(it.key());
                continue;
            }
            ++allocations[it.value()].removed;
            if (!removedSaved.contains(it.key()))
                cutShortWritten += removedCutShort.contains(it.key()) ? 1 : 0;
            if (!removedSaved.contains(it.key()) && !removedCutShort.contains(it.key()))
                failures << QStringLiteral("allocation %1 (%2) is gone, yet no removal of it went through")
                                .arg(it.key())
                                .arg(describe(it.value()));
        }
        // Made = still there + removed since; every one accounted for by a save, none twice.
        QMultiHash<int, QString> orderLines; // per order ID
        QHash<QString, int> orderIds;
        for (auto rs = db.connection().OpenRecordset("SELECT ID, UniqueID FROM Orders"); rs && !rs->Eof();
             rs->MoveNext())
            orderIds.insert(rs->FieldValue(1).toString().toUpper(), rs->FieldValue(0).toInt());
        for (const auto& [key, c] : allocations) {
            const int made = c.present + c.removed, sure = c.byNewPayment + c.creditSaved;
            cutShortWritten += std::clamp(made - sure, 0, c.creditCutShort);
            rows += made;
            if (made < sure || made > sure + c.creditCutShort)
                failures << QStringLiteral("%1: %2 allocation(s) made (%3 there, %4 removed); the journals account "
                                           "for %5 saved and %6 cut short")
                                .arg(describe(key))
                                .arg(made)
                                .arg(c.present)
                                .arg(c.removed)
                                .arg(sure)
                                .arg(c.creditCutShort);
            const QString amount = tesr::Regional::formatCurrency(Currency::fromRaw(std::get<2>(key)));
            for (int n = 0; n < made; ++n)
                orderLines.insert(orderIds.value(std::get<1>(key)),
                                  (n < c.byNewPayment ? QStringLiteral("A payment of %1 was applied.")
                                                      : QStringLiteral("A credit of %1 was applied."))
                                      .arg(amount));
        }
        // Every save's activity lines were written with it: one per order it paid.
        QMultiHash<int, QString> foundOrder;
        for (auto rs = db.connection().OpenRecordset(
                 "SELECT OrderID, Description FROM ActivityHistory WHERE OrderID IS NOT NULL");
             rs && !rs->Eof(); rs->MoveNext())
            foundOrder.insert(rs->FieldValue(0).toInt(), rs->FieldValue(1).toString());
        // Line by line: what is missing, what is there without a save.
        auto compareLines = [&](const char* what, const QMultiHash<int, QString>& expected,
                                const QMultiHash<int, QString>& found) {
            for (const int id :
                 QSet<int>(expected.keyBegin(), expected.keyEnd()) | QSet<int>(found.keyBegin(), found.keyEnd())) {
                QStringList extra = found.values(id);
                for (const QString& line : expected.values(id))
                    if (!extra.removeOne(line))
                        failures << QStringLiteral("%1 %2 lacks the activity line \"%3\"").arg(what).arg(id).arg(line);
                for (const QString& line : std::as_const(extra))
                    failures << QStringLiteral("%1 %2 has an activity line no save wrote: \"%3\"")
                                    .arg(what)
                                    .arg(id)
                                    .arg(line);
            }
        };
        compareLines("order", orderLines, foundOrder);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));
        // The kills did land in saves.
        QVERIFY2(cutShort > 0, "no kill landed in a save");

        std::printf("CRASH %s: %d kills, %d of them during a save (%d of those written whole, the rest not at "
                    "all); %d saves logged, %d allocation rows checked\n",
                    qPrintable(tesrtest::testEngineName()), kills + Slots, cutShort, cutShortWritten, savesLogged,
                    rows);
    }
};

TESR_TEST_MAIN(TestWorkstations)
#include "tst_workstations.moc"
