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

#include "host/IntegrityCheck.h"

#include "support/Shorthand.h"
#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

using tesr::Currency;

class TestWorkstations : public QObject {
    Q_OBJECT

private slots:
    void eightWorkstationsKeepTheLedgerInStep()
    {
        constexpr int Workstations = 8;
        const int operations = qEnvironmentVariableIntValue("TESR_LOAD_OPERATIONS") > 0
                                   ? qEnvironmentVariableIntValue("TESR_LOAD_OPERATIONS")
                                   : 6;
        // Three customers with three open orders each and some credit from the start.
        tesrtest::TestDatabase db;
        const int cash = db.addPaymentMethod("Cash");
        QStringList customers, orders;
        for (int c = 1; c <= 3; ++c) {
            const int id = db.addCustomer(QStringLiteral("Workstation Customer %1").arg(c));
            customers << QString::number(id);
            for (int o = 1; o <= 3; ++o) {
                orders << QStringLiteral("LOAD-%1-%2").arg(c).arg(o);
                db.addOrder(id, orders.last(), Currency::fromUnits(100000));
            }
            for (int p = 0; p < 2; ++p)
                db.addPayment(id, Currency::fromUnits(250), cash, tesrtest::at(2024, 1, 1, 10), "credit");
        }

        auto home = tesrtest::makeTempDir();
        std::vector<std::unique_ptr<QProcess>> workers;
        QElapsedTimer clock;
        clock.start();
        for (int w = 1; w <= Workstations; ++w) {
            auto& process = *workers.emplace_back(std::make_unique<QProcess>());
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("XDG_CONFIG_HOME", home->filePath(QStringLiteral("config%1").arg(w)));
            env.insert("XDG_DATA_HOME", home->filePath(QStringLiteral("data%1").arg(w)));
            process.setProcessEnvironment(env);
            process.start(QStringLiteral(TESR_WORKSTATION_EXE),
                          {db.url(), customers.join(u','), QString::number(operations), QString::number(1000 + w),
                           QString::number(w), home->filePath(QStringLiteral("logs%1").arg(w))});
        }

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
                failures << QStringLiteral("workstation %1 failed: ").arg(w) + summary.value("failure").toString() +
                                QString::fromUtf8(process.readAllStandardError()).right(2000);
            saves += summary.value("saves").toInt();
            allocations += summary.value("allocations").toInt();
            const QJsonObject movedHere = summary.value("moved").toObject();
            for (auto it = movedHere.begin(); it != movedHere.end(); ++it)
                moved[it.key()] += *Currency::parsePlain(it.value().toString());
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
            QCOMPARE(db.money("SELECT Payments" + order), moved.value(uid));
            QCOMPARE(db.money("SELECT Balance" + order), Currency::fromUnits(100000) - moved.value(uid));
        }
        QCOMPARE(db.count("SELECT COUNT(*) FROM PaymentAllocations"), allocations);
        // The script did real work: most operations saved something.
        QVERIFY2(saves >= Workstations * operations / 3, qPrintable(QString::number(saves)));

        std::printf("THROUGHPUT %s: %d saves by %d workstations x %d operations in %.1f s: "
                    "%.2f saves/s\n",
                    qPrintable(tesrtest::testEngineName()), saves, Workstations, operations, seconds, saves / seconds);
    }
};

TESR_TEST_MAIN(TestWorkstations)
#include "tst_workstations.moc"
