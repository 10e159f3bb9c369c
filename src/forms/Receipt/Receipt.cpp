#include "forms/Receipt/Receipt.h"

#include "ledger/Statements.h"
#include "platform/HelperTools.h"
#include "platform/HostServices.h"
#include "shared/modSharedDateTime.h"
#include "values/Regional.h"

#include <QDateTime>
#include <QRegularExpression>

namespace tesr::receipt {

namespace {

constexpr QStringView PaymentStatement =
    u"SELECT Payments.ID, Payments.CustomerID, Payments.PaymentMethodID, Payments.PaymentDate, "
    u"Payments.Description, Payments.CardNumber, Payments.Amount, Payments.Allocated, PaymentMethods.PaymentMethod "
    u"FROM Payments LEFT JOIN PaymentMethods ON PaymentMethods.ID = Payments.PaymentMethodID "
    u"WHERE Payments.ID = <pid>";

// Each allocation with its order, and what later allocations took off the order's balance.
constexpr QStringView AllocationsStatement =
    u"SELECT PaymentAllocations.ID, PaymentAllocations.AddedOn, PaymentAllocations.OrderUniqueID, "
    u"PaymentAllocations.Amount, Orders.ID AS OrderID, Orders.OrderNumber, Orders.Sidemark, Orders.Balance, "
    u"(SELECT SUM(Later.Amount) FROM PaymentAllocations Later "
    u"WHERE Later.OrderUniqueID = PaymentAllocations.OrderUniqueID AND Later.ID > PaymentAllocations.ID) "
    u"AS LaterApplied "
    u"FROM PaymentAllocations LEFT JOIN Orders ON Orders.UniqueID = PaymentAllocations.OrderUniqueID "
    u"WHERE PaymentAllocations.PaymentID = <pid> ORDER BY PaymentAllocations.ID";

QString option(SharedCodeLibrary& host, const char* key)
{
    return host.Options().GetUserOption(QStringLiteral("Receipts"), QString::fromLatin1(key), QString()).toString();
}

} // namespace

QString LastFourDigits(const QString& cardNumber)
{
    QString digits;
    for (const QChar c : cardNumber)
        if (c.isDigit())
            digits += c;
    return digits.right(4);
}

std::optional<Receipt> ReadReceipt(SharedCodeLibrary& host, int paymentID, QString* error)
{
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    std::unique_ptr<Connection> conn = host.CurrentCompanyConn();
    if (!conn)
        return fail(QObject::tr("There is no connection to the company database."));
    std::unique_ptr<DataTools> tools = helperFactory().CreateDataTools();
    auto open = [&](QStringView statement) {
        const QString text = ledger::FillMarkers(statement, {{u"<pid>", QString::number(paymentID)}});
        std::unique_ptr<Recordset> rs = tools ? tools->OpenRecordset(text, conn.get(), 0, -1) : nullptr;
        return rs && rs->State() == Recordset::adStateOpen ? std::move(rs) : nullptr;
    };

    Receipt r;
    r.paymentID = paymentID;
    int customerID = 0;
    int methodID = 0;
    QString cardNumber;
    Currency allocated;
    {
        std::unique_ptr<Recordset> rs = open(PaymentStatement);
        if (!rs || rs->Eof()) {
            const QString why =
                rs ? QObject::tr("There is no payment %1.").arg(paymentID)
                   : QObject::tr("The payment could not be read: %1").arg(tools ? tools->LastErrorText(0) : QString());
            if (rs)
                rs->Close();
            conn->Close();
            return fail(why);
        }
        customerID = rs->Field(QStringLiteral("CustomerID")).toInt();
        methodID = rs->Field(QStringLiteral("PaymentMethodID")).toInt();
        const OleDate date = OleDate::fromVariant(rs->Field(QStringLiteral("PaymentDate"))).value_or(OleDate::absent());
        r.paymentDate = date.isAbsent() ? date : modSharedDateTime::UTCToLocal(date);
        r.memo = rs->Field(QStringLiteral("Description")).toString().trimmed();
        cardNumber = rs->Field(QStringLiteral("CardNumber")).toString();
        r.method = rs->Field(QStringLiteral("PaymentMethod")).toString().trimmed();
        r.amount = Currency::fromVariantOrZero(rs->Field(QStringLiteral("Amount")));
        allocated = Currency::fromVariantOrZero(rs->Field(QStringLiteral("Allocated")));
        rs->Close();
    }
    if (std::unique_ptr<Recordset> rs = open(AllocationsStatement)) {
        for (; !rs->Eof(); rs->MoveNext()) {
            AppliedLine line;
            line.appliedOn = OleDate::fromVariant(rs->Field(QStringLiteral("AddedOn"))).value_or(OleDate::absent());
            line.amount = Currency::fromVariantOrZero(rs->Field(QStringLiteral("Amount")));
            const QVariant orderID = rs->Field(QStringLiteral("OrderID"));
            line.orderKnown = orderID.isValid() && !orderID.isNull();
            if (line.orderKnown) {
                line.orderNumber = rs->Field(QStringLiteral("OrderNumber")).toString();
                line.sidemark = rs->Field(QStringLiteral("Sidemark")).toString().trimmed();
                line.balanceAfter = Currency::fromVariantOrZero(rs->Field(QStringLiteral("Balance")))
                                        .plus(Currency::fromVariantOrZero(rs->Field(QStringLiteral("LaterApplied"))));
            } else {
                line.orderNumber = rs->Field(QStringLiteral("OrderUniqueID")).toString();
            }
            r.applied.push_back(line);
        }
        rs->Close();
    }
    conn->Close();

    r.customerName = host.Common().GetCustomerName(customerID).trimmed();
    // Only a card method has card digits to show, and never more than the last four.
    const QString lastFour = LastFourDigits(cardNumber);
    if (methodID > 0 && host.Common().GetPaymentMethodType2(methodID) != 0 && !lastFour.isEmpty())
        r.method = QObject::tr("%1 ending in %2").arg(r.method.isEmpty() ? QObject::tr("Card") : r.method, lastFour);
    r.credit = r.amount.minus(allocated);
    r.shopName = option(host, "ShopName").trimmed();
    for (const QString& line : option(host, "ShopAddress").split(QRegularExpression(QStringLiteral("[\\n|]"))))
        if (!line.trimmed().isEmpty())
            r.shopAddress << line.trimmed();
    r.footer = option(host, "Footer").trimmed();
    if (r.footer.isEmpty())
        r.footer = QObject::tr("Thank you for your payment.");
    r.printedOn = OleDate::fromWallClock(QDateTime::currentDateTime());
    return r;
}

} // namespace tesr::receipt
