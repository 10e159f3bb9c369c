#include "host/ReferenceHost.h"

#include "ledger/Schema.h"
#include "platform/SqlConnection.h"
#include "shared/modSharedSQL.h"
#include "shared/modSharedStrings.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cfloat>
#include <cmath>

namespace tesr::host {

const QString ReferenceHost::StandardExplanationPlaceholder = QStringLiteral("{standard explanation}");
const QString ReferenceHost::StandardExplanation =
    QStringLiteral("The database could not complete the request. This typically happens when the database is in "
                   "use by another user or program, or when the connection to it was lost. Try again; if the "
                   "problem persists, close the program, restart it and try again. The details have been written "
                   "to the log.");

namespace {

QString numberText(qint64 value)
{
    return QString::number(value);
}

// Money comes back from engines without a decimal type as a double a hair away from its
// four-decimal value: write that value. Doubles that are not money keep every digit.
QString doubleText(double value)
{
    if (const auto money = Currency::fromDouble(value)) {
        const double tolerance = std::max(5e-9, std::fabs(value) * 4 * DBL_EPSILON);
        if (std::fabs(money->toDouble() - value) <= tolerance)
            return money->toPlainString();
    }
    return QString::number(value, 'g', 17);
}

bool isBlankDateTime(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$"));
    return text.size() == 19 && form.match(text).hasMatch();
}

QString escapeLineBreaks(QString text)
{
    return text.replace(u'\r', QStringLiteral("&#13;")).replace(u'\n', QStringLiteral("&#10;"));
}

QString customerActivityStatement(int customerId, const QString& fixedText, int userId)
{
    return QStringLiteral("INSERT INTO ActivityHistory (CustomerID, OrderID, Description, UserID) VALUES(") +
           numberText(customerId) + QStringLiteral(", NULL, '") + fixedText + QStringLiteral("', ") +
           numberText(userId) + u')';
}

// The order's customer is filled in too, so the line also shows in the customer's history.
QString orderActivityStatement(int orderId, const QString& fixedText, int userId)
{
    return QStringLiteral("INSERT INTO ActivityHistory (CustomerID, OrderID, Description, UserID) "
                          "VALUES((SELECT CustomerID FROM Orders WHERE ID = ") +
           numberText(orderId) + QStringLiteral("), ") + numberText(orderId) + QStringLiteral(", '") + fixedText +
           QStringLiteral("', ") + numberText(userId) + u')';
}

} // namespace

// ---- the five service objects ----------------------------------------------------------------

class ReferenceHost::CommonService final : public HostCommon {
public:
    explicit CommonService(ReferenceHost& host) : m_host(host) {}

    void LoadPaymentMethods(ComboList& combo) override
    {
        combo.Clear();
        auto conn = m_host.CurrentCompanyConn();
        if (!conn)
            return;
        if (auto rs = m_host.query(*conn, QStringLiteral("SELECT ID, PaymentMethod FROM PaymentMethods "
                                                         "ORDER BY PaymentMethod"))) {
            for (; !rs->Eof(); rs->MoveNext()) {
                combo.AddItem(rs->Field(QStringLiteral("PaymentMethod")).toString());
                combo.SetItemData(combo.NewIndex(), rs->Field(QStringLiteral("ID")).toInt());
            }
            rs->Close();
        }
        conn->Close();
    }

    int GetPaymentMethodType2(int paymentMethodId) override
    {
        return firstValue(QStringLiteral("SELECT MethodType FROM PaymentMethods WHERE ID = ") +
                          numberText(paymentMethodId))
            .value_or(QVariant())
            .toInt();
    }

    QString GetCustomerName(int customerId) override
    {
        return firstValue(QStringLiteral("SELECT CustomerName FROM Customers WHERE ID = ") + numberText(customerId))
            .value_or(QVariant())
            .toString()
            .trimmed();
    }

    Currency GetCustomerCredit(int customerId) override
    {
        const auto value = firstValue(QStringLiteral("SELECT SUM(Amount - Allocated) AS Credit FROM Payments "
                                                     "WHERE CustomerID = ") +
                                      numberText(customerId) + QStringLiteral(" AND Allocated <> Amount"));
        return Currency::fromVariantOrZero(value.value_or(QVariant()));
    }

    QString BuildString(const QString& templateText, const QVariantList& values) override
    {
        return modSharedStrings::FillTemplate(templateText, values.mid(0, 3));
    }

    QString ExecuteSelect(const QString& statement) override
    {
        auto conn = m_host.CurrentCompanyConn();
        if (!conn)
            return {};
        QString row;
        if (auto rs = m_host.query(*conn, statement)) {
            if (!rs->Eof())
                row = rowText(*rs);
            rs->Close();
        }
        conn->Close();
        return row;
    }

    QString GetFieldValue(const QString& rowText, const QString& fieldName, const QString& defaultText) override
    {
        return fieldValue(rowText, fieldName, defaultText);
    }

    bool ExecuteUpdate(const QString& statement) override { return m_host.execute(statement); }

    // -1 when the statement could not be run (the count is unknown).
    int CountRecordsEx(const QString& statement, Connection* connection) override
    {
        if (!connection) {
            m_host.noteFailure(QStringLiteral("No connection to count on"), statement, QString());
            return -1;
        }
        auto rs = m_host.query(*connection, statement);
        if (!rs)
            return -1;
        int count = 0;
        if (!rs->Eof() && rs->FieldCount() > 0)
            count = rs->FieldValue(0).toInt();
        rs->Close();
        return count;
    }

    bool ExecuteDeleteEx(const QString& statement, Connection* connection) override
    {
        return m_host.executeOn(connection, statement);
    }

    // The first value of the first row on a connection of its own: a null value when there is
    // no row, nothing when the statement failed.
    std::optional<QVariant> firstValue(const QString& statement)
    {
        auto conn = m_host.CurrentCompanyConn();
        if (!conn)
            return std::nullopt;
        std::optional<QVariant> value;
        if (auto rs = m_host.query(*conn, statement)) {
            value = (!rs->Eof() && rs->FieldCount() > 0) ? rs->FieldValue(0) : QVariant();
            rs->Close();
        }
        conn->Close();
        return value;
    }

private:
    ReferenceHost& m_host;
};

class ReferenceHost::DatabaseService final : public HostDatabase {
public:
    DatabaseService(ReferenceHost& host, CommonService& common) : m_host(host), m_common(common) {}

    QDomDocument ExecuteRead(const QString& statement) override
    {
        m_host.clearLastError();
        auto conn = m_host.CurrentCompanyConn();
        if (!conn)
            return {};
        QDomDocument doc;
        if (auto rs = m_host.query(*conn, statement)) {
            doc = recordDocument(*rs);
            rs->Close();
        }
        conn->Close();
        return doc;
    }

    // The second argument is accepted for callers that pass it and has no use here.
    QVariant ExecuteScaler(const QString& statement, const QString&, const QString& defaultText) override
    {
        m_host.clearLastError();
        const auto value = m_common.firstValue(statement);
        if (!value || !value->isValid() || value->isNull())
            return defaultText;
        return *value;
    }

    int ExecuteNonQuery(const QString& statement) override
    {
        m_host.clearLastError();
        int rows = 0;
        return m_host.execute(statement, &rows) ? rows : -1;
    }

    QString LastSQLErrorDescription() override { return m_host.lastError(); }

private:
    ReferenceHost& m_host;
    CommonService& m_common;
};

class ReferenceHost::OptionsService final : public HostOptions {
public:
    explicit OptionsService(ReferenceHost& host) : m_host(host) {}
    QVariant GetUserOption(const QString& section, const QString& key, const QVariant& defaultValue) override
    {
        return m_host.config().option(section, key, defaultValue);
    }

private:
    ReferenceHost& m_host;
};

class ReferenceHost::SecurityService final : public HostSecurity {
public:
    explicit SecurityService(ReferenceHost& host) : m_host(host) {}
    bool CanDo(int permission, int right) override { return m_host.config().canDo(permission, right); }
    int UserId() override { return m_host.config().userId(); }

private:
    ReferenceHost& m_host;
};

class ReferenceHost::ActivityService final : public HostActivity {
public:
    explicit ActivityService(ReferenceHost& host) : m_host(host) {}

    void RecordCustomerActivityEx(int customerId, const QString& text, Connection* connection) override
    {
        m_host.executeOn(connection,
                         customerActivityStatement(customerId, m_host.FixForSQLInsert(text), m_host.config().userId()));
    }

    void RecordCustomerActivity(int customerId, const QString& text) override
    {
        m_host.execute(customerActivityStatement(customerId, m_host.FixForSQLInsert(text), m_host.config().userId()));
    }

    void RecordOrderActivityEx(int orderId, const QString& text, Connection* connection) override
    {
        m_host.executeOn(connection,
                         orderActivityStatement(orderId, m_host.FixForSQLInsert(text), m_host.config().userId()));
    }

private:
    ReferenceHost& m_host;
};

// ---- the host object -------------------------------------------------------------------------

ReferenceHost::ReferenceHost(HostConfig config, std::shared_ptr<Prompter> prompter, std::shared_ptr<Logger> logger)
    : m_config(std::move(config)), m_prompter(std::move(prompter)), m_logger(std::move(logger)),
      m_common(std::make_unique<CommonService>(*this)), m_database(std::make_unique<DatabaseService>(*this, *m_common)),
      m_options(std::make_unique<OptionsService>(*this)), m_security(std::make_unique<SecurityService>(*this)),
      m_activity(std::make_unique<ActivityService>(*this))
{
    if (!m_prompter)
        m_prompter = std::make_shared<QtPrompter>();
    if (!m_logger)
        m_logger = std::make_shared<Logger>(m_config.logFolder());
}

ReferenceHost::~ReferenceHost() = default;

HostCommon& ReferenceHost::Common()
{
    return *m_common;
}
HostDatabase& ReferenceHost::Database()
{
    return *m_database;
}
HostOptions& ReferenceHost::Options()
{
    return *m_options;
}
HostSecurity& ReferenceHost::Security()
{
    return *m_security;
}
HostActivity& ReferenceHost::Activity()
{
    return *m_activity;
}

std::unique_ptr<Connection> ReferenceHost::CurrentCompanyConn()
{
    QString error;
    auto conn = openCompanyConnection(m_config.databaseUrl(), &error);
    if (!conn) {
        m_lastError = error;
        m_logger->error(QStringLiteral("The company database could not be opened."),
                        DatabaseUrl::redacted(m_config.databaseUrl()), error);
    }
    return conn;
}

int ReferenceHost::ShowMessageStyle1(const QString& headline, const QString& explanation, int buttons, int icon)
{
    return m_prompter->ask(headline, withStandardExplanation(explanation), buttons, icon);
}

void ReferenceHost::ShowErrorMessage(const QString& headline, const QString& explanation)
{
    const QString text = withStandardExplanation(explanation);
    m_logger->error(headline, text);
    m_prompter->showError(headline, text, QString());
}

void ReferenceHost::ShowAndLogErrorMessage(const QString& headline, const QString& explanation, const QString& detail)
{
    const QString text = withStandardExplanation(explanation);
    m_logger->error(headline, text, detail);
    m_prompter->showError(headline, text, detail);
}

QString ReferenceHost::FixForSQLInsert(const QString& text)
{
    return QString(text).replace(u'\'', QStringLiteral("''"));
}

QString ReferenceHost::FixDateForSQLInsert(const OleDate& date)
{
    return modSharedSQL::FormatSQLDate(date, false);
}

QString ReferenceHost::withStandardExplanation(const QString& explanation) const
{
    return QString(explanation).replace(StandardExplanationPlaceholder, StandardExplanation);
}

void ReferenceHost::noteFailure(const QString& what, const QString& statement, const QString& error)
{
    m_lastError = error.isEmpty() ? what : error;
    // The statement's shape: its values (names, card digits, memos) stay out of the log.
    m_logger->error(what, error, statementShape(statement));
}

std::unique_ptr<Recordset> ReferenceHost::query(Connection& connection, const QString& statement)
{
    auto rs = connection.OpenRecordset(statement);
    if (!rs || rs->State() != Recordset::adStateOpen) {
        noteFailure(QStringLiteral("A query failed."), statement, connection.LastError());
        return nullptr;
    }
    return rs;
}

bool ReferenceHost::executeOn(Connection* connection, const QString& statement, int* rowsAffected)
{
    if (!connection || !connection->IsOpen()) {
        noteFailure(QStringLiteral("A statement was given no open connection."), statement, QString());
        return false;
    }
    if (!connection->Execute(statement, rowsAffected)) {
        noteFailure(QStringLiteral("A statement failed."), statement, connection->LastError());
        return false;
    }
    return true;
}

bool ReferenceHost::execute(const QString& statement, int* rowsAffected)
{
    auto conn = CurrentCompanyConn();
    if (!conn)
        return false;
    const bool ok = executeOn(conn.get(), statement, rowsAffected);
    conn->Close();
    return ok;
}

// ---- value texts -----------------------------------------------------------------------------

std::optional<QString> ReferenceHost::valueText(const QVariant& value, DateForm form)
{
    if (!value.isValid() || value.isNull())
        return std::nullopt;
    const QString dateTimeFormat =
        form == DateForm::IsoT ? QStringLiteral("yyyy-MM-ddTHH:mm:ss") : QStringLiteral("yyyy-MM-dd HH:mm:ss");
    if (value.metaType() == QMetaType::fromType<Currency>())
        return value.value<Currency>().toPlainString();
    if (value.metaType() == QMetaType::fromType<OleDate>())
        return value.value<OleDate>().toWallClock().toString(dateTimeFormat);
    switch (value.metaType().id()) {
    case QMetaType::QDateTime:
        return value.toDateTime().toString(dateTimeFormat);
    case QMetaType::QDate:
        return value.toDate().startOfDay().toString(dateTimeFormat);
    case QMetaType::QTime:
        return value.toTime().toString(QStringLiteral("HH:mm:ss"));
    case QMetaType::Double:
    case QMetaType::Float:
        return doubleText(value.toDouble());
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
        return QString::number(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
        return QString::number(value.toULongLong());
    case QMetaType::QByteArray:
        return QString::fromLatin1(value.toByteArray().toBase64());
    default:
        break;
    }
    return value.toString();
}

QString ReferenceHost::rowText(const Recordset& rs)
{
    QJsonObject row;
    for (int i = 0; i < rs.FieldCount(); ++i) {
        const QString name = rs.FieldName(i);
        bool taken = false;
        for (auto it = row.constBegin(); it != row.constEnd() && !taken; ++it)
            taken = it.key().compare(name, Qt::CaseInsensitive) == 0;
        if (taken)
            continue; // the first of two same-named columns wins, as by-name reads do
        const auto text = valueText(rs.FieldValue(i), DateForm::Blank);
        row.insert(name, text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null));
    }
    return QString::fromUtf8(QJsonDocument(row).toJson(QJsonDocument::Compact));
}

QString ReferenceHost::fieldValue(const QString& rowText, const QString& fieldName, const QString& defaultText)
{
    if (rowText.isEmpty())
        return defaultText;
    const QJsonDocument doc = QJsonDocument::fromJson(rowText.toUtf8());
    if (!doc.isObject())
        return defaultText;
    const QJsonObject row = doc.object();
    for (auto it = row.constBegin(); it != row.constEnd(); ++it)
        if (it.key().compare(fieldName, Qt::CaseInsensitive) == 0)
            return it.value().isString() ? it.value().toString() : defaultText;
    return defaultText;
}

QDomDocument ReferenceHost::recordDocument(Recordset& rs)
{
    QDomDocument doc;
    QDomElement records = doc.createElement(QStringLiteral("Records"));
    doc.appendChild(records);
    for (; !rs.Eof(); rs.MoveNext()) {
        QDomElement record = doc.createElement(QStringLiteral("Record"));
        for (int i = 0; i < rs.FieldCount(); ++i) {
            auto text = valueText(rs.FieldValue(i), DateForm::IsoT);
            // Engines that keep dates as text hand them out as 'yyyy-MM-dd HH:mm:ss'; only the
            // schema's date columns are rewritten, so a memo that looks like a date stays as typed.
            if (text && isBlankDateTime(*text) && ledger::isDateColumn(rs.FieldName(i)))
                (*text)[10] = u'T';
            if (!text)
                continue;
            QDomElement column = doc.createElement(rs.FieldName(i));
            column.appendChild(doc.createTextNode(escapeLineBreaks(*text)));
            record.appendChild(column);
        }
        records.appendChild(record);
    }
    return doc;
}

} // namespace tesr::host
