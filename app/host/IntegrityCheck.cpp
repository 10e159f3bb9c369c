#include "host/IntegrityCheck.h"

#include "values/Regional.h"

#include <QMap>

#include <memory>

namespace tesr::host {

namespace {

// Sums are rounded to four places in SQL so that an engine keeping money in binary floating
// point (SQLite) compares like one with decimals; each candidate is then compared exactly here.
const QString PaymentsOutOfStep =
    QStringLiteral("SELECT p.ID, p.CustomerID, p.Allocated, ROUND(COALESCE(a.Total, 0), 4) AS Expected FROM Payments p "
                   "LEFT JOIN (SELECT PaymentID, SUM(Amount) AS Total FROM PaymentAllocations GROUP BY PaymentID) a "
                   "ON a.PaymentID = p.ID WHERE p.Allocated <> ROUND(COALESCE(a.Total, 0), 4) OR p.Allocated IS NULL "
                   "ORDER BY p.ID");
const QString OrdersOutOfStep = QStringLiteral(
    "SELECT o.ID, o.CustomerID, o.OrderNumber, o.Total, o.Payments, o.Balance, ROUND(COALESCE(a.Total, 0), 4) AS "
    "Applied FROM Orders o LEFT JOIN (SELECT OrderUniqueID, SUM(Amount) AS Total FROM PaymentAllocations GROUP BY "
    "OrderUniqueID) a ON a.OrderUniqueID = o.UniqueID WHERE o.Payments <> ROUND(COALESCE(a.Total, 0), 4) OR "
    "o.Balance <> ROUND(COALESCE(o.Total, 0) - ROUND(COALESCE(a.Total, 0), 4), 4) OR o.Payments IS NULL OR "
    "o.Balance IS NULL ORDER BY o.ID");
const QString CountRows =
    QStringLiteral("SELECT (SELECT COUNT(*) FROM Payments) AS PaymentRows, (SELECT COUNT(*) FROM Orders) AS OrderRows");

QString sqlText(const QString& text)
{
    return QString(text).replace(u'\'', QStringLiteral("''"));
}

// A NULL figure reads as 0 and is written back as 0 with the rest.
std::unique_ptr<Recordset> open(Connection& connection, const QString& statement, QString* error)
{
    auto rs = connection.OpenRecordset(statement);
    if (!rs || rs->State() != Recordset::adStateOpen) {
        *error = connection.LastError();
        return nullptr;
    }
    return rs;
}

QString activityStatement(int customerId, int orderId, const QString& text, int userId)
{
    return QStringLiteral("INSERT INTO ActivityHistory (CustomerID, OrderID, Description, UserID) VALUES(%1, %2, "
                          "'%3', %4)")
        .arg(customerId > 0 ? QString::number(customerId) : QStringLiteral("NULL"),
             orderId > 0 ? QString::number(orderId) : QStringLiteral("NULL"), sqlText(text))
        .arg(userId);
}

// "written as" for a figure whose row holds NULL: the guard must match NULL, not 0.
QString holds(const QString& column, const QVariant& value)
{
    if (value.isNull() || !value.isValid())
        return column + QStringLiteral(" IS NULL");
    return column + QStringLiteral(" = ") + Currency::fromVariantOrZero(value).toPlainString();
}

struct OrderRow {
    int id = 0;
    int customerId = 0;
    QVariant payments; // as read, for the guard
    QVariant balance;
    Currency expectedPayments;
    Currency expectedBalance;
};

struct PaymentRow {
    int id = 0;
    int customerId = 0;
    QVariant allocated;
    Currency expected;
};

// The check, with the rows behind it (for the repair's guards).
IntegrityReport examine(Connection& connection, QList<PaymentRow>* paymentRows, QList<OrderRow>* orderRows)
{
    IntegrityReport report;
    if (auto rs = open(connection, CountRows, &report.error)) {
        if (!rs->Eof()) {
            report.paymentsChecked = rs->Field(QStringLiteral("PaymentRows")).toInt();
            report.ordersChecked = rs->Field(QStringLiteral("OrderRows")).toInt();
        }
        rs->Close();
    } else {
        return report;
    }
    if (auto rs = open(connection, PaymentsOutOfStep, &report.error)) {
        for (; !rs->Eof(); rs->MoveNext()) {
            const QVariant allocated = rs->Field(QStringLiteral("Allocated"));
            const Currency expected = Currency::fromVariantOrZero(rs->Field(QStringLiteral("Expected")));
            if (!allocated.isNull() && Currency::fromVariantOrZero(allocated) == expected)
                continue; // equal once read exactly
            Drift d;
            d.figure = Drift::Figure::PaymentAllocated;
            d.id = rs->Field(QStringLiteral("ID")).toInt();
            d.customerId = rs->Field(QStringLiteral("CustomerID")).toInt();
            d.recorded = Currency::fromVariantOrZero(allocated);
            d.expected = expected;
            report.drifts << d;
            if (paymentRows)
                *paymentRows << PaymentRow{d.id, d.customerId, allocated, expected};
        }
        rs->Close();
    } else {
        return report;
    }
    if (auto rs = open(connection, OrdersOutOfStep, &report.error)) {
        for (; !rs->Eof(); rs->MoveNext()) {
            const QVariant payments = rs->Field(QStringLiteral("Payments"));
            const QVariant balance = rs->Field(QStringLiteral("Balance"));
            const Currency applied = Currency::fromVariantOrZero(rs->Field(QStringLiteral("Applied")));
            const Currency expectedBalance =
                Currency::fromVariantOrZero(rs->Field(QStringLiteral("Total"))).minus(applied).value_or(Currency());
            Drift d;
            d.id = rs->Field(QStringLiteral("ID")).toInt();
            d.customerId = rs->Field(QStringLiteral("CustomerID")).toInt();
            d.orderNumber = rs->Field(QStringLiteral("OrderNumber")).toString().trimmed();
            bool any = false;
            if (payments.isNull() || Currency::fromVariantOrZero(payments) != applied) {
                d.figure = Drift::Figure::OrderPayments;
                d.recorded = Currency::fromVariantOrZero(payments);
                d.expected = applied;
                report.drifts << d;
                any = true;
            }
            if (balance.isNull() || Currency::fromVariantOrZero(balance) != expectedBalance) {
                d.figure = Drift::Figure::OrderBalance;
                d.recorded = Currency::fromVariantOrZero(balance);
                d.expected = expectedBalance;
                report.drifts << d;
                any = true;
            }
            if (any && orderRows)
                *orderRows << OrderRow{d.id, d.customerId, payments, balance, applied, expectedBalance};
        }
        rs->Close();
    } else {
        return report;
    }
    report.ran = true;
    return report;
}

} // namespace

QString Drift::row() const
{
    if (figure == Figure::PaymentAllocated)
        return QStringLiteral("Payment %1").arg(id);
    return orderNumber.isEmpty() ? QStringLiteral("Order ID %1").arg(id)
                                 : QStringLiteral("Order %1 (ID %2)").arg(orderNumber).arg(id);
}

QString Drift::figureName() const
{
    switch (figure) {
    case Figure::PaymentAllocated:
        return QStringLiteral("Allocated");
    case Figure::OrderPayments:
        return QStringLiteral("Payments");
    case Figure::OrderBalance:
        return QStringLiteral("Balance");
    }
    return QString();
}

QString Drift::describe() const
{
    const QString who = customerId > 0 ? QStringLiteral(" (customer %1)").arg(customerId) : QString();
    switch (figure) {
    case Figure::PaymentAllocated:
        return QStringLiteral("%1%2: Allocated is %3, its allocations add up to %4")
            .arg(row(), who, recorded.toPlainString(), expected.toPlainString());
    case Figure::OrderPayments:
        return QStringLiteral("%1%2: Payments is %3, the allocations naming it add up to %4")
            .arg(row(), who, recorded.toPlainString(), expected.toPlainString());
    case Figure::OrderBalance:
        return QStringLiteral("%1%2: Balance is %3, its total less its payments is %4")
            .arg(row(), who, recorded.toPlainString(), expected.toPlainString());
    }
    return QString();
}

QString IntegrityReport::summary() const
{
    if (!ran)
        return QStringLiteral("The check could not be made: %1").arg(error);
    const QString checked = QStringLiteral("Checked %1 payment%2 and %3 order%4")
                                .arg(paymentsChecked)
                                .arg(paymentsChecked == 1 ? "" : "s")
                                .arg(ordersChecked)
                                .arg(ordersChecked == 1 ? "" : "s");
    if (drifts.isEmpty())
        return checked + QStringLiteral(": every figure is in step.");
    return checked + (drifts.size() == 1 ? QStringLiteral(": 1 figure is out of step.")
                                         : QStringLiteral(": %1 figures are out of step.").arg(drifts.size()));
}

IntegrityReport checkIntegrity(Connection& connection)
{
    return examine(connection, nullptr, nullptr);
}

RepairResult repairIntegrity(Connection& connection, int userId)
{
    RepairResult result;
    if (!connection.BeginTrans()) {
        result.error = connection.LastError();
        return result;
    }
    auto fail = [&](const QString& why) {
        connection.RollbackTrans();
        result.error = why;
        result.repaired.clear();
        result.rowsCorrected = 0;
        return result;
    };
    QList<PaymentRow> payments;
    QList<OrderRow> orders;
    const IntegrityReport report = examine(connection, &payments, &orders);
    if (!report.ran)
        return fail(report.error);

    const QString changedMeanwhile = QStringLiteral(
        "The figures changed while they were being repaired (another workstation saved meanwhile); nothing was "
        "repaired. Run the check again.");
    auto run = [&](const QString& statement, bool mustChangeOneRow) {
        int rows = 0;
        if (!connection.Execute(statement, &rows)) {
            result.error = connection.LastError();
            return false;
        }
        if (mustChangeOneRow && rows != 1) {
            result.error = changedMeanwhile;
            return false;
        }
        return true;
    };
    for (const PaymentRow& p : payments) {
        const QString update = QStringLiteral("UPDATE Payments SET Allocated = %1 WHERE ID = %2 AND %3")
                                   .arg(p.expected.toPlainString())
                                   .arg(p.id)
                                   .arg(holds(QStringLiteral("Allocated"), p.allocated));
        const QString text = QStringLiteral("Integrity check: the allocated total of payment %1 was corrected from %2 "
                                            "to %3, the sum of its allocations.")
                                 .arg(p.id)
                                 .arg(Regional::formatCurrency(Currency::fromVariantOrZero(p.allocated)),
                                      Regional::formatCurrency(p.expected));
        if (!run(update, true) || !run(activityStatement(p.customerId, 0, text, userId), false))
            return fail(result.error);
        ++result.rowsCorrected;
    }
    for (const OrderRow& o : orders) {
        const QString update =
            QStringLiteral("UPDATE Orders SET Payments = %1, Balance = %2 WHERE ID = %3 AND %4 AND %5")
                .arg(o.expectedPayments.toPlainString(), o.expectedBalance.toPlainString())
                .arg(o.id)
                .arg(holds(QStringLiteral("Payments"), o.payments), holds(QStringLiteral("Balance"), o.balance));
        const QString text =
            QStringLiteral("Integrity check: payments corrected from %1 to %2 and balance from %3 to %4, as the "
                           "allocations applied to this order add up.")
                .arg(Regional::formatCurrency(Currency::fromVariantOrZero(o.payments)),
                     Regional::formatCurrency(o.expectedPayments),
                     Regional::formatCurrency(Currency::fromVariantOrZero(o.balance)),
                     Regional::formatCurrency(o.expectedBalance));
        if (!run(update, true) || !run(activityStatement(o.customerId, o.id, text, userId), false))
            return fail(result.error);
        ++result.rowsCorrected;
    }
    if (!connection.CommitTrans())
        return fail(connection.LastError());
    result.ok = true;
    result.repaired = report.drifts;
    return result;
}

} // namespace tesr::host
