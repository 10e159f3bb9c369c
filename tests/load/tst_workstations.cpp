// The load test: eight workstation processes (tesr_workstation) on one company database of
// the test's engine, each working the real New Payment, Allocate Credit and Payment
// Allocations dialogs offscreen for a fixed number of operations, all at once on the same
// customers. Afterwards, by SQL: every payment's Allocated is the sum of its allocations and
// none is above its Amount; every order's Payments and Balance moved by exactly what the
// workstations applied and removed (as their dialogs showed it); the allocation rows are the
// ones made less the ones removed. The saves per second are reported for the engine.
//
// TESR_LOAD_OPERATIONS sets the operations per workstation (default 6, which keeps the CI run
// short; try 60 for a real measurement).

#include "host/IntegrityCheck.h"
#include "platform/SqlConnection.h"

#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>

#include <memory>
#include <vector>

using tesr::Currency;

namespace {

constexpr int Workstations = 8;
constexpr int Customers = 3;
constexpr int OrdersPerCustomer = 3;

int operationsPerWorkstation()
{
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("TESR_LOAD_OPERATIONS", &ok);
    return ok && n > 0 ? n : 6;
}

} // namespace

class TestWorkstations : public QObject {
    Q_OBJECT

private slots:
    void eightWorkstationsKeepTheLedgerInStep();
};

void TestWorkstations::eightWorkstationsKeepTheLedgerInStep()
{
    tesrtest::ScratchDatabase scratch;
    QString error;
    auto conn = tesr::openCompanyConnection(scratch.url(), &error);
    QVERIFY2(conn, qPrintable(error));
    auto exec = [&](const QString& sql) {
        if (!conn->Execute(sql))
            qFatal("%s\n%s", qPrintable(sql), qPrintable(conn->LastError()));
    };
    auto insert = [&](const QString& sql) {
        const qint64 id = conn->ExecuteInsert(sql);
        if (id < 1)
            qFatal("%s\n%s", qPrintable(sql), qPrintable(conn->LastError()));
        return int(id);
    };
    auto money = [&](const QString& sql) {
        auto rs = conn->OpenRecordset(sql);
        return rs && !rs->Eof() ? Currency::fromVariant(rs->FieldValue(0)).value_or(Currency()) : Currency();
    };
    auto count = [&](const QString& sql) {
        auto rs = conn->OpenRecordset(sql);
        return rs && !rs->Eof() ? rs->FieldValue(0).toInt() : -1;
    };

    // Customers with open orders and some credit to allocate from the start.
    exec(QStringLiteral("INSERT INTO PaymentMethods (PaymentMethod, MethodType) VALUES ('Cash', 0)"));
    QStringList customers;
    QStringList orders;
    for (int c = 1; c <= Customers; ++c) {
        const int id = insert(QStringLiteral("INSERT INTO Customers (CustomerName, Active, SalesRepID) VALUES "
                                             "('Workstation Customer %1', 1, 1)")
                                  .arg(c));
        customers << QString::number(id);
        for (int o = 1; o <= OrdersPerCustomer; ++o) {
            const QString uid = QStringLiteral("LOAD-%1-%2").arg(c).arg(o);
            orders << uid;
            insert(QStringLiteral("INSERT INTO Orders (UniqueID, CustomerID, OrderNumber, Sidemark, State, StatusCode, "
                                  "Total, DepositAmount, Payments, Balance) VALUES ('%1', %2, '%3', 'Load', 3, 0, "
                                  "100000, 0, 0, 100000)")
                       .arg(uid, QString::number(id), uid.mid(5)));
        }
        for (int p = 0; p < 2; ++p)
            insert(QStringLiteral("INSERT INTO Payments (PaymentMethodID, CustomerID, PaymentDate, Description, "
                                  "CardNumber, NameOnCard, ExpireMonth, ExpireYear, Amount, Allocated) VALUES (1, %1, "
                                  "'20240101 10:00:00', 'credit', '', '', 0, 0, 250, 0)")
                       .arg(id));
    }

    const int operations = operationsPerWorkstation();
    auto home = tesrtest::makeTempDir();
    std::vector<std::unique_ptr<QProcess>> workers;
    QElapsedTimer clock;
    clock.start();
    for (int w = 1; w <= Workstations; ++w) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home->filePath(QStringLiteral("config%1").arg(w)));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home->filePath(QStringLiteral("data%1").arg(w)));
        process->setProcessEnvironment(env);
        process->start(QStringLiteral(TESR_WORKSTATION_EXE),
                       {QStringLiteral("--database"), scratch.url(), QStringLiteral("--customers"),
                        customers.join(u','), QStringLiteral("--operations"), QString::number(operations),
                        QStringLiteral("--seed"), QString::number(1000 + w), QStringLiteral("--user"),
                        QString::number(w), QStringLiteral("--log-dir"),
                        home->filePath(QStringLiteral("logs%1").arg(w))});
        workers.push_back(std::move(process));
    }

    int saves = 0;
    int refused = 0;
    int allocationsMade = 0;
    int removals = 0;
    QMap<QString, Currency> delta; // per order (upper case): applied less removed
    QStringList failures;
    for (size_t w = 0; w < workers.size(); ++w) {
        QProcess& process = *workers[w];
        if (!process.waitForFinished(240000)) {
            process.kill();
            process.waitForFinished();
            failures << QStringLiteral("workstation %1 did not finish").arg(w + 1);
            continue;
        }
        const QByteArray out = process.readAllStandardOutput();
        const QJsonObject summary = QJsonDocument::fromJson(out.trimmed().split('\n').last()).object();
        if (process.exitCode() != 0 || summary.isEmpty()) {
            failures << QStringLiteral("workstation %1 (exit %2): %3 %4")
                            .arg(w + 1)
                            .arg(process.exitCode())
                            .arg(summary.value(QStringLiteral("failure")).toString(),
                                 QString::fromUtf8(process.readAllStandardError()).right(2000));
            continue;
        }
        saves += summary.value(QStringLiteral("newPayments")).toInt() +
                 summary.value(QStringLiteral("credits")).toInt() + summary.value(QStringLiteral("removals")).toInt();
        refused += summary.value(QStringLiteral("refused")).toInt();
        allocationsMade += summary.value(QStringLiteral("allocationsMade")).toInt();
        removals += summary.value(QStringLiteral("removals")).toInt();
        const QJsonObject applied = summary.value(QStringLiteral("applied")).toObject();
        for (auto it = applied.begin(); it != applied.end(); ++it)
            delta[it.key()] += *Currency::parsePlain(it.value().toString());
        const QJsonObject removed = summary.value(QStringLiteral("removed")).toObject();
        for (auto it = removed.begin(); it != removed.end(); ++it)
            delta[it.key()] -= *Currency::parsePlain(it.value().toString());
        // Any error the host had to show, other than for a row another workstation had removed
        // first (the worker checks), is a fault.
        for (const QJsonValue& e : summary.value(QStringLiteral("errors")).toArray())
            failures << QStringLiteral("workstation %1 was shown: %2").arg(w + 1).arg(e.toString());
        refused += int(summary.value(QStringLiteral("lostRaces")).toArray().size());
    }
    const double seconds = double(clock.elapsed()) / 1000.0;
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));

    // Every figure in step with the allocation rows, for the whole database.
    const tesr::host::IntegrityReport report = tesr::host::checkIntegrity(*conn);
    QVERIFY2(report.ran, qPrintable(report.error));
    QStringList drifts;
    for (const auto& d : report.drifts)
        drifts << d.describe();
    QVERIFY2(report.clean(), qPrintable(drifts.join(u'\n')));
    // No payment taken above its amount by a race.
    QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM Payments WHERE Allocated > Amount OR Allocated < 0")), 0);
    // Every order moved by exactly what the workstations applied and removed.
    for (const QString& uid : orders) {
        const Currency moved = delta.value(uid.toUpper());
        QCOMPARE(money(QStringLiteral("SELECT Payments FROM Orders WHERE UniqueID = '%1'").arg(uid)), moved);
        QCOMPARE(money(QStringLiteral("SELECT Balance FROM Orders WHERE UniqueID = '%1'").arg(uid)),
                 Currency::fromUnits(100000) - moved);
    }
    QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM PaymentAllocations")), allocationsMade - removals);
    // The script did real work: most operations saved something.
    QVERIFY2(saves >= Workstations * operations / 3, qPrintable(QString::number(saves)));

    const QString line = QStringLiteral("%1: %2 saves (%3 refused as out of date) by %4 workstations x %5 operations "
                                        "in %6 s: %7 saves/s")
                             .arg(tesrtest::testEngineName())
                             .arg(saves)
                             .arg(refused)
                             .arg(Workstations)
                             .arg(operations)
                             .arg(seconds, 0, 'f', 1)
                             .arg(double(saves) / seconds, 0, 'f', 2);
    qInfo("%s", qPrintable(line));
    std::printf("THROUGHPUT %s\n", qPrintable(line));
    conn->Close();
}

TESR_TEST_MAIN(TestWorkstations)
#include "tst_workstations.moc"
