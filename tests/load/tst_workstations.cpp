// The load test: eight workstation processes (tesr_workstation) on one company database of
// the test's engine, each working the real New Payment, Allocate Credit and Payment
// Allocations dialogs offscreen for a fixed number of operations, all at once on the same
// customers. The saves per second are reported for the engine.
//
// TESR_LOAD_OPERATIONS sets the operations per workstation (default 6, which keeps the CI run
// short; try 60 for a real measurement).
//
// The crash test: three workstations at work on the same database, one of them killed
// (SIGKILL) at a random moment of a save and started again, TESR_CRASH_KILLS times (default 8;
// 200 for the long run). TESR_CRASH_SEED repeats a run.
//
// Each workstation journals what it is about to save (as its dialog shows it) and whether it
// was saved; a save cut short by a kill has no outcome. Afterwards every figure is in step
// (the host's check) and no payment is allocated above its Amount, and the database is held
// against the journals: a save logged as saved is there exactly once, one logged as refused is
// not, one cut short is there whole or not at all; every allocation row was made by a save and
// every one gone was removed by one; every order's activity lines match what was written. With
// the figures in step, that is every order moved by exactly what the workstations applied and
// removed.

#include "values/Regional.h"

#include "support/Shorthand.h"
#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include <QElapsedTimer>
#include <QFile>
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

int envInt(const char* name, int fallback)
{
    return qEnvironmentVariableIntValue(name) > 0 ? qEnvironmentVariableIntValue(name) : fallback;
}

// An allocation as the journals and the database both name it: payment, order, amount.
using AllocationKey = std::tuple<int, QString, qint64>;

AllocationKey keyOf(int payment, const QString& order, std::optional<Currency> amount)
{
    return {payment, order.toUpper(), amount.value_or(Currency()).raw()};
}

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

struct Tally {
    int cutShort = 0, cutShortWritten = 0, saved = 0, rows = 0;
};

// Every query row as its values.
QList<QVariantList> rowsOf(tesrtest::TestDatabase& db, const char* statement)
{
    QList<QVariantList> rows;
    for (auto rs = db.connection().OpenRecordset(QString::fromLatin1(statement)); rs && !rs->Eof(); rs->MoveNext()) {
        rows.append(QVariantList());
        for (int i = 0; i < rs->FieldCount(); ++i)
            rows.last() << rs->FieldValue(i);
    }
    return rows;
}

// The database held against the journals: answers what disagrees.
QStringList checkAgainstJournals(tesrtest::TestDatabase& db, const QList<QJsonObject>& journal, Tally& tally)
{
    QStringList failures;
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
    QMultiHash<QString, QVariantList> paymentsByMemo; // memo -> (ID, Amount, CustomerID)
    for (const QVariantList& r : rowsOf(db, "SELECT Description, ID, Amount, CustomerID FROM Payments"))
        paymentsByMemo.insert(r[0].toString(), r.mid(1));
    std::map<AllocationKey, AllocationCount> allocations;
    QHash<int, AllocationKey> targeted; // allocation ID -> what it was
    QSet<int> removedSaved, removedCutShort;
    for (const QJsonObject& e : std::as_const(intents)) {
        const QString tag = e["tag"].toString(), kind = e["intent"].toString();
        const bool logged = saved.contains(tag);
        const AllocationKey key =
            keyOf(e["payment"].toInt(), e["order"].toString(), Currency::parsePlain(e["amount"].toString()));
        tally.cutShort += logged ? 0 : 1;
        tally.saved += saved.value(tag) ? 1 : 0;
        if (kind == u"pay") {
            const QList<QVariantList> rows = paymentsByMemo.values(tag);
            if (rows.size() > 1 || (logged && saved.value(tag) != (rows.size() == 1)))
                failures << QStringLiteral("new payment %1 (%2): in the database %3 time(s)")
                                .arg(tag, logged ? (saved.value(tag) ? "saved" : "not saved") : "cut short")
                                .arg(rows.size());
            if (rows.size() != 1)
                continue;
            tally.cutShortWritten += logged ? 0 : 1;
            const int id = rows[0][0].toInt();
            if (Currency::fromVariant(rows[0][1]) != Currency::parsePlain(e["amount"].toString()) ||
                rows[0][2].toInt() != e["customer"].toInt())
                failures << QStringLiteral("new payment %1 was written as payment %2 of %3 for customer %4")
                                .arg(tag, rows[0][0].toString(), rows[0][1].toString(), rows[0][2].toString());
            const QJsonObject parts = e["orders"].toObject();
            for (auto it = parts.begin(); it != parts.end(); ++it)
                ++allocations[keyOf(id, it.key(), Currency::parsePlain(it.value().toString()))].byNewPayment;
        } else if (kind == u"credit") {
            if (!logged)
                ++allocations[key].creditCutShort;
            else if (saved.value(tag))
                ++allocations[key].creditSaved;
        } else {
            const int id = e["allocation"].toInt();
            targeted.insert(id, key);
            if (!logged)
                removedCutShort.insert(id);
            else if (saved.value(tag))
                removedSaved.insert(id);
        }
    }
    for (auto it = paymentsByMemo.cbegin(); it != paymentsByMemo.cend(); ++it)
        if (it.key() != u"credit" && !intents.contains(it.key()))
            failures << QStringLiteral("payment %1 (memo \"%2\") was saved by nobody")
                            .arg(it.value()[0].toString(), it.key());
    QSet<int> present;
    for (const QVariantList& r : rowsOf(db, "SELECT ID, PaymentID, OrderUniqueID, Amount FROM PaymentAllocations")) {
        present.insert(r[0].toInt());
        ++allocations[keyOf(r[1].toInt(), r[2].toString(), Currency::fromVariant(r[3]))].present;
    }
    for (auto it = targeted.cbegin(); it != targeted.cend(); ++it) {
        const bool removed = removedSaved.contains(it.key()), cut = removedCutShort.contains(it.key());
        if (present.contains(it.key())) {
            if (removed)
                failures << QStringLiteral("allocation %1 was logged as removed and is still there").arg(it.key());
            continue;
        }
        ++allocations[it.value()].removed;
        tally.cutShortWritten += !removed && cut ? 1 : 0;
        if (!removed && !cut)
            failures << QStringLiteral("allocation %1 (%2) is gone, yet no removal of it went through")
                            .arg(it.key())
                            .arg(describe(it.value()));
    }
    // Made = still there + removed since; every one accounted for by a save, none twice; and
    // one activity line on its order for each.
    QMap<QString, std::pair<QStringList, QStringList>> lines; // per order: expected, found
    for (const auto& [key, c] : allocations) {
        const int made = c.present + c.removed, sure = c.byNewPayment + c.creditSaved;
        tally.cutShortWritten += std::clamp(made - sure, 0, c.creditCutShort);
        tally.rows += made;
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
            lines[std::get<1>(key)].first << (n < c.byNewPayment ? QStringLiteral("A payment of %1 was applied.")
                                                                 : QStringLiteral("A credit of %1 was applied."))
                                                 .arg(amount);
    }
    for (const QVariantList& r : rowsOf(db, "SELECT Orders.UniqueID, ActivityHistory.Description FROM ActivityHistory "
                                            "LEFT JOIN Orders ON Orders.ID = ActivityHistory.OrderID WHERE "
                                            "ActivityHistory.OrderID IS NOT NULL"))
        lines[r[0].toString().toUpper()].second << r[1].toString();
    for (auto it = lines.begin(); it != lines.end(); ++it) {
        auto& [expected, found] = it.value();
        expected.sort();
        found.sort();
        if (expected != found)
            failures << QStringLiteral("order %1 has the activity lines \"%2\"; its saves wrote \"%3\"")
                            .arg(it.key(), found.join("\", \""), expected.join("\", \""));
    }
    return failures;
}

// A workstation process and what it has written so far.
struct Station {
    std::unique_ptr<QProcess> process;
    QString name;
    QByteArray partial;  // a journal line not yet ended
    QJsonObject summary; // its last line, written as it ends
    int intents = 0;
    bool inSave = false; // its last intent has no outcome yet, as far as read
    bool killing = false;
};

// Workstations on one database with three customers, each with three open orders (100,000
// each) and two payments of credit; their journals, and any workstation that failed.
struct Run {
    tesrtest::TestDatabase db;
    QStringList customers;
    std::unique_ptr<QTemporaryDir> home = tesrtest::makeTempDir();
    QList<QJsonObject> journal;
    QHash<QString, qint64> intentAt; // per tag: when its intent was read
    QList<qint64> saveTimes;         // intent to outcome, of the saves that ended
    QStringList failures;
    QElapsedTimer clock;
    int started = 0;
    quint32 seeds = 1000; // the workstations' seeds follow on from this

    Run()
    {
        const int cash = db.addPaymentMethod("Cash");
        for (int c = 1; c <= 3; ++c) {
            const int id = db.addCustomer(QStringLiteral("Workstation Customer %1").arg(c));
            customers << QString::number(id);
            for (int o = 1; o <= 3; ++o)
                db.addOrder(id, QStringLiteral("LOAD-%1-%2").arg(c).arg(o), Currency::fromUnits(100000));
            for (int p = 0; p < 2; ++p)
                db.addPayment(id, Currency::fromUnits(250), cash, tesrtest::at(2024, 1, 1, 10), "credit");
        }
        clock.start();
    }

    void read(Station& st)
    {
        st.partial += st.process->readAllStandardOutput();
        for (qsizetype nl; (nl = st.partial.indexOf('\n')) >= 0; st.partial.remove(0, nl + 1)) {
            const QJsonObject entry = QJsonDocument::fromJson(st.partial.left(nl)).object();
            if (entry.contains("intent")) {
                ++st.intents;
                st.inSave = true;
                intentAt.insert(entry["tag"].toString(), clock.elapsed());
            } else if (entry.contains("done") && intentAt.contains(entry["done"].toString())) {
                st.inSave = false;
                saveTimes << clock.elapsed() - intentAt.value(entry["done"].toString());
            } else if (!entry.contains("error")) {
                st.summary = entry;
                continue;
            }
            journal << entry;
        }
    }

    void start(Station& st, int operations)
    {
        if (st.process)
            st.process->disconnect();
        st = Station{};
        st.process = std::make_unique<QProcess>();
        st.name = QStringLiteral("w%1").arg(++started);
        QObject::connect(st.process.get(), &QProcess::readyReadStandardOutput, [this, &st] { read(st); });
        // A workstation that fails, or one killed by anyone but the test: what it said, and
        // the end of its log.
        QObject::connect(st.process.get(), &QProcess::finished, [this, &st] {
            read(st);
            if (st.killing || (st.process->exitStatus() == QProcess::NormalExit && st.process->exitCode() == 0 &&
                               !st.summary.isEmpty() && st.summary["failure"].toString().isEmpty()))
                return;
            QFile log(home->filePath(st.name + "/logs/tesrhost.log"));
            failures << QStringLiteral("%1 ended (exit code %2%3): %4 %5\nIts log: %6")
                            .arg(st.name)
                            .arg(st.process->exitCode())
                            .arg(st.process->exitStatus() == QProcess::CrashExit ? ", crashed" : "")
                            .arg(st.summary["failure"].toString(),
                                 QString::fromUtf8(st.process->readAllStandardError()).right(2000),
                                 log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()).right(3000)
                                                               : QStringLiteral("none"));
        });
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", home->filePath(st.name + "/config"));
        env.insert("XDG_DATA_HOME", home->filePath(st.name + "/data"));
        st.process->setProcessEnvironment(env);
        st.process->start(QStringLiteral(TESR_WORKSTATION_EXE),
                          {db.url(), customers.join(u','), QString::number(operations),
                           QString::number(seeds + started), QString::number(started),
                           home->filePath(st.name + "/logs"), st.name});
    }

    // SIGKILL once it runs (never to pid 0: that is this test's whole process group), then
    // what it wrote before it died; false when it did not stop.
    bool kill(Station& st)
    {
        st.killing = true;
        st.process->waitForStarted(10000);
        if (const qint64 pid = st.process->processId(); pid > 0)
            ::kill(pid_t(pid), SIGKILL);
        const bool stopped = st.process->state() == QProcess::NotRunning || st.process->waitForFinished(10000);
        read(st);
        return stopped;
    }

    // Every figure in step, as the host's own check sees it, none above its Amount, and the
    // journals borne out.
    QStringList check(Tally& tally)
    {
        const tesrtest::ProgramRun run = tesrtest::runProgram(
            QStringLiteral(TESRHOST_EXE), {"--database", db.url(), "--check"}, home->filePath("check"), 60000);
        if (run.exitCode != 0)
            return {run.out + run.err};
        if (const int over = db.count("SELECT COUNT(*) FROM Payments WHERE Allocated > Amount OR Allocated < 0"))
            return {QStringLiteral("%1 payment(s) allocated beyond their Amount").arg(over)};
        return checkAgainstJournals(db, journal, tally);
    }
};

} // namespace

class TestWorkstations : public QObject {
    Q_OBJECT

private slots:
    void eightWorkstationsKeepTheLedgerInStep()
    {
        constexpr int Workstations = 8;
        const int operations = envInt("TESR_LOAD_OPERATIONS", 6);
        Run run;
        std::vector<Station> stations(Workstations);
        for (Station& st : stations)
            run.start(st, operations);
        const bool ended = QTest::qWaitFor(
            [&] {
                return std::all_of(stations.begin(), stations.end(),
                                   [](const Station& st) { return st.process->state() == QProcess::NotRunning; });
            },
            240000);
        const double seconds = double(run.clock.elapsed()) / 1000.0;
        for (Station& st : stations)
            QVERIFY2(ended || run.kill(st), "a workstation outlived SIGKILL");
        QVERIFY2(ended, "the workstations did not finish within four minutes");
        QVERIFY2(run.failures.isEmpty(), qPrintable(run.failures.join(u'\n')));
        Tally tally;
        const QStringList failures = run.check(tally);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));
        QCOMPARE(tally.cutShort, 0);
        // The script did real work: most operations saved something.
        QVERIFY2(tally.saved >= Workstations * operations / 3, qPrintable(QString::number(tally.saved)));
        std::printf("THROUGHPUT %s: %d saves by %d workstations x %d operations in %.1f s: "
                    "%.2f saves/s\n",
                    qPrintable(tesrtest::testEngineName()), tally.saved, Workstations, operations, seconds,
                    tally.saved / seconds);
    }

    void killedWorkstationsLoseNothing()
    {
        constexpr int Slots = 3;
        const int kills = envInt("TESR_CRASH_KILLS", 8);
        const quint32 seed = qEnvironmentVariableIsSet("TESR_CRASH_SEED")
                                 ? quint32(qEnvironmentVariableIntValue("TESR_CRASH_SEED"))
                                 : QRandomGenerator::global()->bounded(1u << 30);
        qInfo("TESR_CRASH_SEED=%u", seed);
        QRandomGenerator rng(seed);
        Run run;
        run.seeds = seed;
        std::vector<Station> stations(Slots);
        // However the test ends, no workstation outlives it or reports to a test that is gone.
        const auto stopAll = qScopeGuard([&] {
            for (Station& st : stations)
                if (st.process) {
                    st.process->disconnect();
                    run.kill(st);
                }
        });
        // A moment within about one and a half saves' time of the save's start.
        auto moment = [&] {
            QList<qint64> times = run.saveTimes;
            std::sort(times.begin(), times.end());
            const qint64 typical = times.isEmpty() ? 100 : times[times.size() / 2];
            return int(rng.bounded(quint32(std::max<qint64>(20, typical * 3 / 2)) + 1));
        };
        for (Station& st : stations)
            run.start(st, 1000000);
        // A few kills more when none seemed to land in a save (a busy machine's timing), so the
        // run always tests what it is for.
        int inSave = 0, k = 0;
        for (; (k < kills || (inSave == 0 && k < 4 * kills)) && run.failures.isEmpty(); ++k) {
            Station& victim = stations[rng.bounded(quint32(Slots))];
            const int seen = victim.intents;
            QVERIFY2(QTest::qWaitFor([&] { return victim.intents > seen || !run.failures.isEmpty(); }, 60000),
                     "a workstation began no save for a minute");
            QTest::qWait(moment());
            inSave += victim.inSave ? 1 : 0;
            QVERIFY2(run.kill(victim), "a workstation outlived SIGKILL");
            run.start(victim, 1000000);
        }
        for (Station& st : stations)
            QVERIFY2(run.kill(st), "a workstation outlived SIGKILL");
        QVERIFY2(run.failures.isEmpty(), qPrintable(run.failures.join(u'\n')));
        Tally tally;
        const QStringList failures = run.check(tally);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));
        QVERIFY2(tally.cutShort > 0, "no kill landed in a save");
        std::printf("CRASH %s: %d kills, %d of them during a save (%d of those written whole, the rest not at "
                    "all); %d saves logged, %d allocation rows checked\n",
                    qPrintable(tesrtest::testEngineName()), k + Slots, tally.cutShort, tally.cutShortWritten,
                    tally.saved, tally.rows);
    }
};

TESR_TEST_MAIN(TestWorkstations)
#include "tst_workstations.moc"
