// A minimal host that embeds the payments module the way an integrator's program does: it
// includes only the module's interface headers, loads libtesrpay5 at run time, hands the
// module its services and opens the Customer Payments screen for one customer.
//
//   example_host LIBRARY DATABASE CUSTOMER-ID [--expect-window NAME]
//
// Windows the module opens are closed after a moment, as a user would close them; a watchdog
// ends the program if anything hangs. Exit code 0 only if every step worked.

#include "entry/Library.h"
#include "platform/HostServices.h"

#include <QApplication>
#include <QDialog>
#include <QDomDocument>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibrary>
#include <QPointer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

using namespace tesr;
using namespace Qt::StringLiterals;

QString plain(const QVariant& value) // money as plain decimal text, the rest as is
{
    if (value.metaType().id() == QMetaType::Double)
        return Currency::fromDouble(value.toDouble()).value_or(Currency()).toPlainString();
    return value.toString();
}

// The host's services over one company database. Every member the module may call is here;
// messages go to the standard error stream and every question is answered No.
class ExampleHost final : public SharedCodeLibrary, HostCommon, HostDatabase, HostOptions, HostSecurity, HostActivity {
public:
    ExampleHost(const ModuleEntry& module, QString url) : m_module(module), m_url(std::move(url)) {}
    int connections = 0; // how often the module asked for the database

    std::unique_ptr<Connection> CurrentCompanyConn() override
    {
        ++connections;
        QString error;
        std::unique_ptr<Connection> conn(m_module.openConnection(m_url.toUtf8().constData(), &error));
        if (!conn)
            std::fprintf(stderr, "example_host: no connection: %s\n", qPrintable(error));
        return conn;
    }
    int ShowMessageStyle1(const QString& headline, const QString& explanation, int buttons, int) override
    {
        std::fprintf(stderr, "message: %s / %s\n", qPrintable(headline), qPrintable(explanation));
        return buttons == ButtonsYesNo ? AnswerNo : ButtonsOk;
    }
    void ShowErrorMessage(const QString& headline, const QString& explanation) override
    {
        ShowAndLogErrorMessage(headline, explanation, QString());
    }
    void ShowAndLogErrorMessage(const QString& headline, const QString& explanation, const QString& detail) override
    {
        std::fprintf(stderr, "error: %s / %s / %s\n", qPrintable(headline), qPrintable(explanation),
                     qPrintable(detail));
    }
    QString FixForSQLInsert(const QString& text) override { return QString(text).replace(u'\'', u"''"_s); }
    QString FixDateForSQLInsert(const OleDate& date) override
    {
        return date.toWallClock().toString(u"yyyyMMdd HH:mm:ss"_s);
    }
    HostCommon& Common() override { return *this; }
    HostDatabase& Database() override { return *this; }
    HostOptions& Options() override { return *this; }
    HostSecurity& Security() override { return *this; }
    HostActivity& Activity() override { return *this; }

    // Common
    void LoadPaymentMethods(ComboList& combo) override
    {
        combo.Clear();
        query(u"SELECT ID, PaymentMethod FROM PaymentMethods ORDER BY PaymentMethod"_s, [&](Recordset& rs) {
            combo.AddItem(rs.FieldValue(1).toString());
            combo.SetItemData(combo.NewIndex(), rs.FieldValue(0).toInt());
        });
    }
    int GetPaymentMethodType2(int id) override
    {
        return first(QStringLiteral("SELECT MethodType FROM PaymentMethods WHERE ID = %1").arg(id)).toInt();
    }
    QString GetCustomerName(int id) override
    {
        return first(QStringLiteral("SELECT CustomerName FROM Customers WHERE ID = %1").arg(id)).toString().trimmed();
    }
    Currency GetCustomerCredit(int id) override
    {
        const QString sql =
            u"SELECT SUM(Amount - Allocated) FROM Payments WHERE CustomerID = %1 AND Allocated <> Amount"_s;
        return Currency::fromVariant(first(sql.arg(id))).value_or(Currency());
    }
    QString BuildString(const QString& text, const QVariantList& values) override
    {
        QString result = text; // markers {0} to {2}
        for (int i = 0; i < 3 && i < values.size(); ++i)
            result.replace(QStringLiteral("{%1}").arg(i), values[i].toString());
        return result;
    }
    // A row as a JSON object of texts (a NULL column is JSON null).
    QString ExecuteSelect(const QString& statement) override
    {
        QJsonObject row;
        bool seen = false;
        query(statement, [&](Recordset& rs) {
            for (int i = 0; !seen && i < rs.FieldCount(); ++i)
                row.insert(rs.FieldName(i),
                           rs.FieldValue(i).isNull() ? QJsonValue() : QJsonValue(plain(rs.FieldValue(i))));
            seen = true;
        });
        return seen ? QString::fromUtf8(QJsonDocument(row).toJson(QJsonDocument::Compact)) : QString();
    }
    QString GetFieldValue(const QString& row, const QString& field, const QString& defaultText) override
    {
        const QJsonObject object = QJsonDocument::fromJson(row.toUtf8()).object();
        for (auto it = object.begin(); it != object.end(); ++it)
            if (it.key().compare(field, Qt::CaseInsensitive) == 0 && it.value().isString())
                return it.value().toString();
        return defaultText;
    }
    bool ExecuteUpdate(const QString& statement) override { return ExecuteNonQuery(statement) >= 0; }
    int CountRecordsEx(const QString& statement, Connection* connection) override
    {
        auto rs = connection ? connection->OpenRecordset(statement) : nullptr;
        return rs && !rs->Eof() ? rs->FieldValue(0).toInt() : -1;
    }
    bool ExecuteDeleteEx(const QString& sql, Connection* conn) override { return conn && conn->Execute(sql); }

    // Database: <Records><Record><Column>text</Column>...</Record></Records>, no element for NULL,
    // dates as 2018-01-23T16:07:36, line breaks as &#13; and &#10;.
    QDomDocument ExecuteRead(const QString& statement) override
    {
        QDomDocument doc;
        QDomElement records = doc.appendChild(doc.createElement(QStringLiteral("Records"))).toElement();
        const bool ok = query(statement, [&](Recordset& rs) {
            QDomElement record = records.appendChild(doc.createElement(QStringLiteral("Record"))).toElement();
            for (int i = 0; i < rs.FieldCount(); ++i) {
                if (rs.FieldValue(i).isNull())
                    continue;
                QString text = plain(rs.FieldValue(i));
                if (text.size() == 19 && text[10] == u' ' && text[4] == u'-') // SQLite's date text
                    text[10] = u'T';
                text.replace(u'\r', QStringLiteral("&#13;")).replace(u'\n', QStringLiteral("&#10;"));
                record.appendChild(doc.createElement(rs.FieldName(i))).appendChild(doc.createTextNode(text));
            }
        });
        return ok ? doc : QDomDocument();
    }
    QVariant ExecuteScaler(const QString& statement, const QString&, const QString& defaultText) override
    {
        const QVariant v = first(statement);
        return v.isNull() ? QVariant(defaultText) : v;
    }
    int ExecuteNonQuery(const QString& statement) override
    {
        auto conn = CurrentCompanyConn();
        int rows = -1;
        if (conn && !conn->Execute(statement, &rows)) {
            m_lastError = conn->LastError();
            rows = -1;
        }
        return rows;
    }
    QString LastSQLErrorDescription() override { return m_lastError; }

    // Options, Security: no options set, one user with every right.
    QVariant GetUserOption(const QString&, const QString&, const QVariant& fallback) override { return fallback; }
    bool CanDo(int, int) override { return true; }
    int UserId() override { return 1; }

    // Activity: the Ex forms write on the caller's connection, inside its transaction.
    void RecordCustomerActivityEx(int customerId, const QString& text, Connection* connection) override
    {
        if (connection)
            connection->Execute(activity("CustomerID", customerId, text));
    }
    void RecordCustomerActivity(int customerId, const QString& text) override
    {
        ExecuteNonQuery(activity("CustomerID", customerId, text));
    }
    void RecordOrderActivityEx(int orderId, const QString& text, Connection* connection) override
    {
        if (connection)
            connection->Execute(activity("OrderID", orderId, text));
    }

private:
    static QString activity(const char* column, int id, const QString& text)
    {
        return QStringLiteral("INSERT INTO ActivityHistory (%1, Description, UserID) VALUES(%2, '%3', 1)")
            .arg(QLatin1String(column), QString::number(id), QString(text).replace(u'\'', u"''"_s));
    }
    // Runs a query on a connection of its own and hands each row to the reader.
    template <class Reader> bool query(const QString& statement, Reader&& read)
    {
        auto conn = CurrentCompanyConn();
        auto rs = conn ? conn->OpenRecordset(statement) : nullptr;
        if (!rs || rs->State() != Recordset::adStateOpen) {
            m_lastError = conn ? conn->LastError() : QStringLiteral("no connection");
            return false;
        }
        for (; !rs->Eof(); rs->MoveNext())
            read(*rs);
        return true;
    }
    QVariant first(const QString& statement) // the first column of the first row
    {
        QVariantList values;
        query(statement, [&](Recordset& rs) { values << rs.FieldValue(0); });
        return values.value(0);
    }

    const ModuleEntry& m_module;
    QString m_url;
    QString m_lastError;
};

// Closes each modal window the module opens once it has been up for a whole tick (it has loaded
// its data by then), and notes its name.
class WindowCloser : public QObject {
public:
    QStringList seen;
    WindowCloser()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && modal == m_last) {
                if (auto* dialog = qobject_cast<QDialog*>(modal))
                    dialog->reject();
                else
                    modal->close();
                modal = nullptr;
            } else if (modal) {
                seen << modal->objectName();
            }
            m_last = modal;
        });
        m_timer.start(300);
    }

private:
    QTimer m_timer;
    QPointer<QWidget> m_last;
};

int fail(const char* what, const QString& detail = QString())
{
    std::fprintf(stderr, "example_host: FAILED: %s %s\n", what, qPrintable(detail));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4)
        return fail("usage: example_host LIBRARY DATABASE CUSTOMER-ID [--expect-window NAME]");
    const int customerId = args[3].toInt();
    const qsizetype expectAt = args.indexOf(QStringLiteral("--expect-window"));
    const QString expectedWindow = expectAt > 0 ? args.value(expectAt + 1) : QString();
    QTimer::singleShot(60000, [] { // the watchdog: nothing here may wait for a person
        std::fprintf(stderr, "example_host: FAILED: still running after 60 s\n");
        std::_Exit(3);
    });

    // 1. Load the module and check that it speaks our version of the interface.
    QLibrary library(args[1]);
    if (!library.load())
        return fail("cannot load the module:", library.errorString());
    auto moduleFunction = reinterpret_cast<const ModuleEntry* (*)()>(library.resolve("tesrpay5_module"));
    const ModuleEntry* module = moduleFunction ? moduleFunction() : nullptr;
    if (!module || module->abiVersion != ModuleAbiVersion)
        return fail("no tesrpay5_module of this host's interface version in", args[1]);
    std::printf("loaded %s (%s)\n", qPrintable(args[1]), module->description);

    // 2. The company database, through the module's own connection layer.
    auto host = std::make_shared<ExampleHost>(*module, args[2]);
    const QString name = host->GetCustomerName(customerId);
    if (name.isEmpty())
        return fail("no such customer (or no database):", args[3] + u' ' + host->LastSQLErrorDescription());
    std::printf("customer %d: %s\n", customerId, qPrintable(name));

    // 3. Create the Library, hand it the host's services and open the screen.
    ILibrary* payments = module->createLibrary();
    payments->Initialize(host);
    if (payments->GetSharedCodeLibrary() != host.get())
        return fail("the module did not keep the host's services");
    WindowCloser closer;
    const int before = host->connections;
    payments->ShowCustomerPayments(customerId);
    std::printf("windows closed: %s; connections asked for: %d\n", qPrintable(closer.seen.join(QStringLiteral(", "))),
                host->connections - before);

    // 4. Let the module go.
    payments->PreTerminate();
    if (payments->GetSharedCodeLibrary() != nullptr)
        return fail("PreTerminate left the host's services in place");
    module->destroyLibrary(payments);
    if (host.use_count() != 1)
        return fail("the module still holds the host's services");
    if (!expectedWindow.isEmpty() && (!closer.seen.contains(expectedWindow) || host->connections == before))
        return fail("the screen never appeared, or never called its host:", expectedWindow);
    std::printf("ok\n");
    return 0;
}
