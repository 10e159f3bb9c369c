#include "host/IntegrityCheck.h"

#include "values/Regional.h"

#include <QMap>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

#include <memory>

namespace tesr::host {

namespace {

// Sums are rounded to four places in SQL so that an engine keeping money in binary floating
// point (SQLite) compares like one with decimals; each candidate is then compared exactly here.
// A figure with more than four decimals differs from itself rounded.
const QString PaymentsOutOfStep = QStringLiteral(
    "SELECT p.ID, p.CustomerID, p.Amount, p.Allocated, ROUND(COALESCE(a.Total, 0), 4) AS Expected FROM Payments p "
    "LEFT JOIN (SELECT PaymentID, SUM(Amount) AS Total FROM PaymentAllocations GROUP BY PaymentID) a "
    "ON a.PaymentID = p.ID WHERE p.Allocated <> ROUND(COALESCE(a.Total, 0), 4) OR p.Allocated IS NULL OR "
    "p.Allocated <> ROUND(p.Allocated, 4) OR p.Amount IS NULL OR "
    "(ROUND(COALESCE(a.Total, 0), 4) > 0 AND ROUND(COALESCE(a.Total, 0), 4) > p.Amount) OR "
    "(ROUND(COALESCE(a.Total, 0), 4) < 0 AND ROUND(COALESCE(a.Total, 0), 4) < p.Amount) ORDER BY p.ID");
const QString OrdersOutOfStep = QStringLiteral(
    "SELECT o.ID, o.CustomerID, o.OrderNumber, o.Total, o.Payments, o.Balance, ROUND(COALESCE(a.Total, 0), 4) AS "
    "Applied FROM Orders o LEFT JOIN (SELECT OrderUniqueID, SUM(Amount) AS Total FROM PaymentAllocations GROUP BY "
    "OrderUniqueID) a ON a.OrderUniqueID = o.UniqueID WHERE o.Payments <> ROUND(COALESCE(a.Total, 0), 4) OR "
    "o.Balance <> ROUND(COALESCE(o.Total, 0) - ROUND(COALESCE(a.Total, 0), 4), 4) OR o.Payments IS NULL OR "
    "o.Balance IS NULL OR o.Total IS NULL OR o.Payments <> ROUND(o.Payments, 4) OR o.Balance <> ROUND(o.Balance, 4) "
    "OR o.Total <> ROUND(o.Total, 4) ORDER BY o.ID");
const QString AllocationsOfNoPayment =
    QStringLiteral("SELECT a.ID, a.PaymentID, a.OrderUniqueID, a.Amount FROM PaymentAllocations a WHERE NOT EXISTS "
                   "(SELECT 1 FROM Payments p WHERE p.ID = a.PaymentID) ORDER BY a.ID");
const QString CountRows =
    QStringLiteral("SELECT (SELECT COUNT(*) FROM Payments) AS PaymentRows, (SELECT COUNT(*) FROM Orders) AS OrderRows");

// A money column as stored: the amount, and (odd) what the row holds instead when that is no
// amount of at most four decimals, with the raw value for the repair's guard.
struct Stored {
    QVariant raw;
    Currency amount; // 0 when there is none
    QString odd;     // "NULL", "50.00001", "NaN", a text; empty: `amount` is exactly the value
    bool exact() const { return odd.isEmpty(); }
};

Stored stored(const QVariant& value)
{
    Stored s{value, Currency(), QString()};
    if (!value.isValid() || value.isNull()) {
        s.odd = QStringLiteral("NULL");
        return s;
    }
    const std::optional<Currency> amount = Currency::fromVariant(value);
    s.amount = amount.value_or(Currency());
    const int type = value.metaType().id();
    if (type == QMetaType::Double || type == QMetaType::Float) {
        // A binary fraction is exact when it is the double nearest the amount's decimal value.
        const double d = value.toDouble();
        if (!amount || double(amount->raw()) / double(Currency::Scale) != d)
            s.odd = QString::number(d, 'g', QLocale::FloatingPointShortest);
    } else if (!amount) {
        s.odd = value.toString();
    } else if (type == QMetaType::QString || type == QMetaType::QByteArray) {
        const QString text = value.toString().trimmed();
        if (Currency::parsePlain(text) != amount || text.section(u'.', 1).remove(QRegularExpression("0+$")).size() > 4)
            s.odd = text;
    }
    return s;
}

QString sqlText(const QString& text)
{
    return QString(text).replace(u'\'', QStringLiteral("''"));
}

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
             orderId > 0 ? QString::number(orderId) : QStringLiteral("NULL"), sqlText(text), QString::number(userId));
}

// The repair's guard: the column still holds what the check read. A number with more than four
// decimals is matched within a hundred-thousandth (every save moves money by at least a
// ten-thousandth), anything else that is no number by its text.
QString holds(const QString& column, const Stored& s)
{
    if (s.raw.isNull() || !s.raw.isValid())
        return column + QStringLiteral(" IS NULL");
    if (s.exact())
        return column + QStringLiteral(" = ") + s.amount.toPlainString();
    bool number = false;
    const double d = s.raw.toDouble(&number);
    if (number && std::isfinite(d))
        return QStringLiteral("%1 BETWEEN %2 AND %3")
            .arg(column, QString::number(d - 0.00001, 'f', 8), QString::number(d + 0.00001, 'f', 8));
    return QStringLiteral("%1 = '%2'").arg(column, sqlText(s.odd));
}

// How an amount reads in an activity line: formatted, or what the row held.
QString shownAs(const Stored& s)
{
    return s.exact() ? Regional::formatCurrency(s.amount) : s.odd;
}

// The row's finding `d` for one figure: what the row holds, and what the allocations say.
Drift finding(Drift d, Drift::Figure figure, const Stored& s, Currency expected, const QString& unrepairable = {})
{
    d.figure = figure;
    d.recorded = s.amount;
    d.stored = s.odd;
    d.expected = expected;
    d.unrepairable = unrepairable;
    return d;
}

struct OrderRow {
    int id = 0;
    int customerId = 0;
    Stored payments; // as read, for the guard
    Stored balance;
    bool paymentsOff = false;
    Currency expectedPayments;
    std::optional<Currency> expectedBalance; // none: the Total is no amount
};

struct PaymentRow {
    int id = 0;
    int customerId = 0;
    Stored allocated;
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
            const Stored allocated = stored(rs->Field(QStringLiteral("Allocated")));
            const Stored amount = stored(rs->Field(QStringLiteral("Amount")));
            const Currency expected = stored(rs->Field(QStringLiteral("Expected"))).amount;
            Drift d;
            d.id = rs->Field(QStringLiteral("ID")).toInt();
            d.customerId = rs->Field(QStringLiteral("CustomerID")).toInt();
            if (!allocated.exact() || allocated.amount != expected) {
                report.drifts << finding(d, Drift::Figure::PaymentAllocated, allocated, expected);
                if (paymentRows)
                    *paymentRows << PaymentRow{d.id, d.customerId, allocated, expected};
            }
            const bool beyond = expected > Currency() ? expected > amount.amount : expected < amount.amount;
            if (!amount.exact() || (expected != Currency() && beyond))
                report.drifts << finding(d, Drift::Figure::PaymentAmount, amount, expected,
                                         amount.exact() ? QStringLiteral("its allocations must be corrected")
                                                        : QStringLiteral("its amount must be corrected"));
        }
        rs->Close();
    } else {
        return report;
    }
    if (auto rs = open(connection, OrdersOutOfStep, &report.error)) {
        for (; !rs->Eof(); rs->MoveNext()) {
            const Stored payments = stored(rs->Field(QStringLiteral("Payments")));
            const Stored balance = stored(rs->Field(QStringLiteral("Balance")));
            const Stored total = stored(rs->Field(QStringLiteral("Total")));
            const Currency applied = stored(rs->Field(QStringLiteral("Applied"))).amount;
            const std::optional<Currency> expectedBalance =
                total.exact() ? total.amount.minus(applied) : std::optional<Currency>();
            Drift d;
            d.id = rs->Field(QStringLiteral("ID")).toInt();
            d.customerId = rs->Field(QStringLiteral("CustomerID")).toInt();
            d.orderNumber = rs->Field(QStringLiteral("OrderNumber")).toString().trimmed();
            const bool paymentsOff = !payments.exact() || payments.amount != applied;
            const bool balanceOff = !balance.exact() || !expectedBalance || balance.amount != *expectedBalance;
            if (paymentsOff)
                report.drifts << finding(d, Drift::Figure::OrderPayments, payments, applied);
            if (balanceOff) {
                // A balance that cannot be worked out is left for a person.
                QString why;
                if (!expectedBalance)
                    why = total.exact() ? QStringLiteral("its total less its payments is beyond any amount")
                                        : QStringLiteral("its Total is %1, not an amount").arg(total.odd);
                report.drifts << finding(d, Drift::Figure::OrderBalance, balance, expectedBalance.value_or(Currency()),
                                         why);
            }
            if ((paymentsOff || balanceOff) && orderRows)
                *orderRows << OrderRow{d.id, d.customerId, payments, balance, paymentsOff, applied, expectedBalance};
        }
        rs->Close();
    } else {
        return report;
    }
    if (auto rs = open(connection, AllocationsOfNoPayment, &report.error)) {
        for (; !rs->Eof(); rs->MoveNext()) {
            Drift d;
            d.id = rs->Field(QStringLiteral("ID")).toInt();
            d.paymentId = rs->Field(QStringLiteral("PaymentID")).toInt();
            d.orderNumber = rs->Field(QStringLiteral("OrderUniqueID")).toString().trimmed();
            report.drifts << finding(d, Drift::Figure::AllocationPayment, stored(rs->Field(QStringLiteral("Amount"))),
                                     Currency(), QStringLiteral("only a person can tell where its money came from"));
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
    switch (figure) {
    case Figure::PaymentAllocated:
    case Figure::PaymentAmount:
        return QStringLiteral("Payment %1").arg(id);
    case Figure::AllocationPayment:
        return QStringLiteral("Allocation %1").arg(id);
    case Figure::OrderPayments:
    case Figure::OrderBalance:
        break;
    }
    return orderNumber.isEmpty() ? QStringLiteral("Order ID %1").arg(id)
                                 : QStringLiteral("Order %1 (ID %2)").arg(orderNumber, QString::number(id));
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
    case Figure::PaymentAmount:
        return QStringLiteral("Amount");
    case Figure::AllocationPayment:
        return QStringLiteral("PaymentID");
    }
    return QString();
}

QString Drift::recordedText() const
{
    return stored.isEmpty() ? Regional::formatCurrency(recorded) : stored;
}

QString Drift::expectedText() const
{
    if (figure == Figure::AllocationPayment)
        return QStringLiteral("no payment %1").arg(paymentId);
    return unrepairable.isEmpty() || figure == Figure::PaymentAmount ? Regional::formatCurrency(expected)
                                                                     : QStringLiteral("?");
}

QString Drift::describe() const
{
    const QString who = customerId > 0 ? QStringLiteral(" (customer %1)").arg(customerId) : QString();
    const QString is = stored.isEmpty() ? recorded.toPlainString() : stored;
    const QString left = unrepairable.isEmpty() ? QString() : QStringLiteral("; not repaired: ") + unrepairable;
    QString text;
    switch (figure) {
    case Figure::PaymentAllocated:
        text = QStringLiteral("%1%2: Allocated is %3, its allocations add up to %4");
        break;
    case Figure::OrderPayments:
        text = QStringLiteral("%1%2: Payments is %3, the allocations naming it add up to %4");
        break;
    case Figure::OrderBalance:
        text = unrepairable.isEmpty() ? QStringLiteral("%1%2: Balance is %3, its total less its payments is %4")
                                      : QStringLiteral("%1%2: Balance is %3");
        break;
    case Figure::PaymentAmount:
        text = stored.isEmpty() ? QStringLiteral("%1%2: Amount is %3, its allocations add up to %4")
                                : QStringLiteral("%1%2: Amount is %3");
        break;
    case Figure::AllocationPayment:
        // One pass: an order reference may hold anything, "%1" included.
        return QStringLiteral("%1 (order %2, %3): names payment %4, which does not exist%5")
            .arg(row(), orderNumber, is, QString::number(paymentId), left);
    }
    return text.arg(row(), who, is, expected.toPlainString()) + left;
}

QString IntegrityReport::summary() const
{
    if (!ran)
        return QStringLiteral("The check could not be made: %1").arg(error);
    const QString checked =
        QStringLiteral("Checked %1 payment%2 and %3 order%4")
            .arg(QString::number(paymentsChecked), paymentsChecked == 1 ? QString() : QStringLiteral("s"),
                 QString::number(ordersChecked), ordersChecked == 1 ? QString() : QStringLiteral("s"));
    if (drifts.isEmpty())
        return checked + QStringLiteral(": every figure is in step.");
    const qsizetype forPerson =
        std::count_if(drifts.cbegin(), drifts.cend(), [](const Drift& d) { return !d.unrepairable.isEmpty(); });
    const QString person =
        forPerson == 0 ? QString() : QStringLiteral(", %1 of them for a person to correct").arg(forPerson);
    return checked +
           (drifts.size() == 1 ? QStringLiteral(": 1 figure is out of step")
                               : QStringLiteral(": %1 figures are out of step").arg(drifts.size())) +
           person + u'.';
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
        result.left.clear();
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
                                   .arg(p.expected.toPlainString(), QString::number(p.id),
                                        holds(QStringLiteral("Allocated"), p.allocated));
        const QString text =
            QStringLiteral("Integrity check: the allocated total of payment %1 was corrected from %2 "
                           "to %3, the sum of its allocations.")
                .arg(QString::number(p.id), shownAs(p.allocated), Regional::formatCurrency(p.expected));
        if (!run(update, true) || !run(activityStatement(p.customerId, 0, text, userId), false))
            return fail(result.error);
        ++result.rowsCorrected;
    }
    for (const OrderRow& o : orders) {
        // A balance that cannot be worked out is left as it is; the payments are still set right.
        const bool balance = o.expectedBalance.has_value();
        if (!balance && !o.paymentsOff)
            continue;
        const QString update =
            QStringLiteral("UPDATE Orders SET Payments = %1%2 WHERE ID = %3 AND %4 AND %5")
                .arg(o.expectedPayments.toPlainString(),
                     balance ? QStringLiteral(", Balance = ") + o.expectedBalance->toPlainString() : QString(),
                     QString::number(o.id), holds(QStringLiteral("Payments"), o.payments),
                     holds(QStringLiteral("Balance"), o.balance));
        const QString text =
            balance ? QStringLiteral("Integrity check: payments corrected from %1 to %2 and balance from %3 to %4, as "
                                     "the allocations applied to this order add up.")
                          .arg(shownAs(o.payments), Regional::formatCurrency(o.expectedPayments), shownAs(o.balance),
                               Regional::formatCurrency(*o.expectedBalance))
                    : QStringLiteral("Integrity check: payments corrected from %1 to %2, as the allocations applied "
                                     "to this order add up.")
                          .arg(shownAs(o.payments), Regional::formatCurrency(o.expectedPayments));
        if (!run(update, true) || !run(activityStatement(o.customerId, o.id, text, userId), false))
            return fail(result.error);
        ++result.rowsCorrected;
    }
    if (!connection.CommitTrans())
        return fail(connection.LastError());
    result.ok = true;
    for (const Drift& d : report.drifts)
        (d.unrepairable.isEmpty() ? result.repaired : result.left) << d;
    return result;
}

} // namespace tesr::host
