#include "support/TestDatabase.h"

#include "ledger/Schema.h"
#include "ledger/Statements.h"
#include "platform/SqlConnection.h"
#include "shared/modSharedSQL.h"

#include <QDir>
#include <QSqlDatabase>
#include <QUuid>

namespace tesrtest {

std::unique_ptr<QTemporaryDir> makeTempDir()
{
    const QString base = qEnvironmentVariable("TESR_TEST_TMP");
    if (base.isEmpty())
        return std::make_unique<QTemporaryDir>();
    QDir().mkpath(base);
    return std::make_unique<QTemporaryDir>(base + QStringLiteral("/tmp-XXXXXX"));
}

TestDatabase::TestDatabase() : m_dir(makeTempDir())
{
    if (!m_dir->isValid())
        qFatal("TestDatabase: no temporary folder: %s", qPrintable(m_dir->errorString()));
    m_path = m_dir->filePath(QStringLiteral("company.db"));

    // The schema goes in through a session of its own, closed before the fixture is used.
    const QString name = QStringLiteral("testdb-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(m_path);
        if (!db.open())
            qFatal("TestDatabase: cannot create %s", qPrintable(m_path));
        QString error;
        if (!tesr::ledger::createSchema(db, tesr::ledger::Engine::SQLite, &error))
            qFatal("TestDatabase: schema: %s", qPrintable(error));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);

    QString error;
    m_conn = tesr::openCompanyConnection(m_path, &error);
    if (!m_conn)
        qFatal("TestDatabase: cannot open %s: %s", qPrintable(m_path), qPrintable(error));
}

TestDatabase::~TestDatabase()
{
    if (m_conn)
        m_conn->Close();
}

std::unique_ptr<tesr::Connection> TestDatabase::openConnection() const
{
    QString error;
    auto conn = tesr::openCompanyConnection(m_path, &error);
    if (!conn)
        fail(QStringLiteral("open: ") + error, m_path);
    return conn;
}

void TestDatabase::fail(const QString& what, const QString& statement) const
{
    qFatal("TestDatabase: %s\n  statement: %s", qPrintable(what), qPrintable(statement));
}

QString TestDatabase::quoted(const QString& text)
{
    return u'\'' + tesr::modSharedSQL::FixSQLQuotes(text) + u'\'';
}

int TestDatabase::insert(const QString& statement)
{
    const qint64 id = m_conn->ExecuteInsert(statement);
    if (id < 1)
        fail(m_conn->LastError(), statement);
    return int(id);
}

int TestDatabase::addPaymentMethod(const QString& name, int methodType)
{
    return insert(QStringLiteral("INSERT INTO PaymentMethods (PaymentMethod, MethodType) VALUES(%1, %2)")
                      .arg(quoted(name))
                      .arg(methodType));
}

int TestDatabase::addCustomer(const QString& name, bool active, int salesRepId)
{
    return insert(QStringLiteral("INSERT INTO Customers (CustomerName, Active, SalesRepID) VALUES(%1, %2, %3)")
                      .arg(quoted(name))
                      .arg(active ? 1 : 0)
                      .arg(salesRepId));
}

int TestDatabase::addOrder(int customerId, const QString& uniqueId, tesr::Currency total, int state, int statusCode,
                           const QString& orderNumber, const QString& sidemark, tesr::Currency deposit)
{
    const QString number = orderNumber.isEmpty() ? uniqueId : orderNumber;
    return insert(QStringLiteral("INSERT INTO Orders (UniqueID, CustomerID, OrderNumber, Sidemark, State, StatusCode, "
                                 "Total, DepositAmount, Payments, Balance) VALUES(") +
                  quoted(uniqueId) + u',' + QString::number(customerId) + u',' + quoted(number) + u',' +
                  quoted(sidemark) + u',' + QString::number(state) + u',' + QString::number(statusCode) + u',' +
                  total.toPlainString() + u',' + deposit.toPlainString() + QStringLiteral(", 0, ") +
                  total.toPlainString() + u')');
}

int TestDatabase::addPayment(int customerId, tesr::Currency amount, int methodId, const tesr::OleDate& dateUtc,
                             const QString& description, const QString& cardNumber, const QString& nameOnCard,
                             int expireMonth, int expireYear)
{
    return insert(QStringLiteral("INSERT INTO Payments (PaymentMethodID, CustomerID, PaymentDate, Description, "
                                 "CardNumber, NameOnCard, ExpireMonth, ExpireYear, Amount, Allocated) VALUES(") +
                  QString::number(methodId) + u',' + QString::number(customerId) + u',' +
                  quoted(tesr::modSharedSQL::FormatSQLDate(dateUtc, false)) + u',' + quoted(description) + u',' +
                  quoted(cardNumber) + u',' + quoted(nameOnCard) + u',' + QString::number(expireMonth) + u',' +
                  QString::number(expireYear) + u',' + amount.toPlainString() + QStringLiteral(", 0)"));
}

void TestDatabase::allocate(int paymentId, const QString& orderUniqueId, tesr::Currency amount)
{
    using tesr::ledger::FillMarkers;
    const QString command = FillMarkers(tesr::ledger::ApplyAllocationByUniqueID,
                                        {{u"<pid>", QString::number(paymentId)},
                                         {u"<ouid>", tesr::modSharedSQL::FixSQLQuotes(orderUniqueId)},
                                         {u"<a>", amount.toPlainString()}});
    exec(command);
}

void TestDatabase::exec(const QString& command)
{
    if (!m_conn->Execute(command))
        fail(m_conn->LastError(), command);
}

QVariant TestDatabase::scalar(const QString& statement)
{
    auto rs = m_conn->OpenRecordset(statement);
    if (!rs || rs->State() != tesr::Recordset::adStateOpen)
        fail(m_conn->LastError(), statement);
    QVariant value;
    if (!rs->Eof() && rs->FieldCount() > 0) {
        value = rs->FieldValue(0);
        if (!value.isValid())
            value = QVariant(QMetaType::fromType<QString>()); // a NULL stays a (null) value, not "no row"
    }
    rs->Close();
    return value;
}

tesr::Currency TestDatabase::money(const QString& statement)
{
    const QVariant value = scalar(statement);
    const auto amount = tesr::Currency::fromVariant(value);
    if (value.isValid() && !value.isNull() && !amount)
        fail(QStringLiteral("not an amount: ") + value.toString(), statement);
    return amount.value_or(tesr::Currency());
}

int TestDatabase::count(const QString& statement)
{
    return scalar(statement).toInt();
}

} // namespace tesrtest
