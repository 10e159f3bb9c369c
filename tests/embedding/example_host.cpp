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
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibrary>
#include <QPointer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

using tesr::Connection;
using tesr::Recordset;

int g_hostCalls = 0; // how often the module called its host

QString fixQuotes(const QString& text)
{
    return QString(text).replace(u'\'', QStringLiteral("''"));
}

QString plain(const QVariant& value)
{
    if (value.metaType().id() == QMetaType::Double)
        return tesr::Currency::fromDouble(value.toDouble()).value_or(tesr::Currency()).toPlainString();
    return value.toString();
}

// The host's services over one company database. Every member the module may call is here;
// messages go to the standard error stream and every question is answered No.
class ExampleHost final : public tesr::SharedCodeLibrary,
                          tesr::HostCommon,
                          tesr::HostDatabase,
                          tesr::HostOptions,
                          tesr::HostSecurity,
                          tesr::HostActivity {
public:
    ExampleHost(const tesr::ModuleEntry& module, QString url) : m_module(module), m_url(std::move(url)) {}

    std::unique_ptr<Connection> CurrentCompanyConn() override
    {
        ++g_hostCalls;
        QString error;
        std::unique_ptr<Connection> conn(m_module.openConnection(m_url.toUtf8().constData(), &error));
        if (!conn)
            std::fprintf(stderr, "example_host: no connection: %s\n", qPrintable(error));
        return conn;
    }
    int ShowMessageStyle1(const QString& headline, const QString& explanation, int buttons, int) override
    {
        ++g_hostCalls;
        std::fprintf(stderr, "message: %s / %s\n", qPrintable(headline), qPrintable(explanation));
        return buttons == ButtonsYesNo ? AnswerNo : ButtonsOk;
    }
    void ShowErrorMessage(const QString& headline, const QString& explanation) override
    {
        ShowAndLogErrorMessage(headline, explanation, QString());
    }
    void ShowAndLogErrorMessage(const QString& headline, const QString& explanation, const QString& detail) override
    {
        ++g_hostCalls;
        std::fprintf(stderr, "error: %s / %s / %s\n", qPrintable(headline), qPrintable(explanation),
                     qPrintable(detail));
    }
    QString FixForSQLInsert(const QString& text) override { return fixQuotes(text); }
    QString FixDateForSQLInsert(const tesr::OleDate& date) override
    {
        return date.date().toString(QStringLiteral("yyyyMMdd")) + u' ' +
               date.time().toString(QStringLiteral("HH:mm:ss"));
    }
    tesr::HostCommon& Common() override { return *this; }
    tesr::HostDatabase& Database() override { return *this; }
    tesr::HostOptions& Options() override { return *this; }
    tesr::HostSecurity& Security() override { return *this; }
    tesr::HostActivity& Activity() override { return *this; }

    // Common
    void LoadPaymentMethods(tesr::ComboList& combo) override
    {
        combo.Clear();
        query(QStringLiteral("SELECT ID, PaymentMethod FROM PaymentMethods ORDER BY PaymentMethod"),
              [&](Recordset& rs) {
                  combo.AddItem(rs.Field(QStringLiteral("PaymentMethod")).toString());
                  combo.SetItemData(combo.NewIndex(), rs.Field(QStringLiteral("ID")).toInt());
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
    tesr::Currency GetCustomerCredit(int id) override
    {
        const QVariant v = first(QStringLiteral("SELECT SUM(Amount - Allocated) FROM Payments WHERE CustomerID = %1 "
                                                "AND Allocated <> Amount")
                                     .arg(id));
        return tesr::Currency::fromVariant(v).value_or(tesr::Currency());
    }
    QString BuildString(const QString& text, const QVariantList& values) override
    {
        ++g_hostCalls;
        QString result = text;
        for (int i = 0; i < 3 && i < values.size(); ++i)
            result.replace(QStringLiteral("{%1}").arg(i), values[i].toString());
        return result;
    }
    QString ExecuteSelect(const QString& statement) override
    {
        QString row;
        query(statement, [&](Recordset& rs) {
            if (!row.isEmpty())
                return;
            QJsonObject object;
            for (int i = 0; i < rs.FieldCount(); ++i) {
                const QVariant v = rs.FieldValue(i);
                object.insert(rs.FieldName(i), v.isNull() ? QJsonValue() : QJsonValue(plain(v)));
            }
            row = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
        });
        return row;
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
        ++g_hostCalls;
        auto rs = connection ? connection->OpenRecordset(statement) : nullptr;
        const int count = rs && !rs->Eof() ? rs->FieldValue(0).toInt() : -1;
        if (rs)
            rs->Close();
        return count;
    }
    bool ExecuteDeleteEx(const QString& statement, Connection* connection) override
    {
        ++g_hostCalls;
        return connection && connection->Execute(statement);
    }

    // Database
    QDomDocument ExecuteRead(const QString& statement) override
    {
        QDomDocument doc;
        QDomElement records = doc.createElement(QStringLiteral("Records"));
        doc.appendChild(records);
        const bool ok = query(statement, [&](Recordset& rs) {
            QDomElement record = doc.createElement(QStringLiteral("Record"));
            for (int i = 0; i < rs.FieldCount(); ++i) {
                const QVariant v = rs.FieldValue(i);
                if (v.isNull())
                    continue;
                QString text = plain(v);
                if (text.size() == 19 && text[10] == u' ' && text[4] == u'-') // SQLite's date text
                    text[10] = u'T';
                text.replace(u'\r', QStringLiteral("&#13;")).replace(u'\n', QStringLiteral("&#10;"));
                QDomElement column = doc.createElement(rs.FieldName(i));
                column.appendChild(doc.createTextNode(text));
                record.appendChild(column);
            }
            records.appendChild(record);
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

    // Options, Security
    QVariant GetUserOption(const QString&, const QString&, const QVariant& defaultValue) override
    {
        ++g_hostCalls;
        return defaultValue;
    }
    bool CanDo(int, int) override
    {
        ++g_hostCalls;
        return true;
    }
    int UserId() override { return 1; }

    // Activity
    void RecordCustomerActivityEx(int customerId, const QString& text, Connection* connection) override
    {
        if (connection)
            connection->Execute(activity(customerId, text));
    }
    void RecordCustomerActivity(int customerId, const QString& text) override
    {
        ExecuteNonQuery(activity(customerId, text));
    }
    void RecordOrderActivityEx(int orderId, const QString& text, Connection* connection) override
    {
        if (connection)
            connection->Execute(QStringLiteral("INSERT INTO ActivityHistory (OrderID, Description, UserID) "
                                               "VALUES(%1, '%2', 1)")
                                    .arg(QString::number(orderId), fixQuotes(text)));
    }

private:
    static QString activity(int customerId, const QString& text)
    {
        return QStringLiteral("INSERT INTO ActivityHistory (CustomerID, Description, UserID) VALUES(%1, '%2', 1)")
            .arg(QString::number(customerId), fixQuotes(text));
    }

    // Runs a query on a connection of its own and hands each row to the reader.
    template <class Reader> bool query(const QString& statement, Reader&& read)
    {
        auto conn = CurrentCompanyConn();
        if (!conn)
            return false;
        auto rs = conn->OpenRecordset(statement);
        if (!rs || rs->State() != Recordset::adStateOpen) {
            m_lastError = conn->LastError();
            return false;
        }
        for (; !rs->Eof(); rs->MoveNext())
            read(*rs);
        rs->Close();
        conn->Close();
        return true;
    }
    QVariant first(const QString& statement)
    {
        QVariant value;
        bool seen = false;
        query(statement, [&](Recordset& rs) {
            if (!seen)
                value = rs.FieldValue(0);
            seen = true;
        });
        return value;
    }

    const tesr::ModuleEntry& m_module;
    QString m_url;
    QString m_lastError;
};

// Closes every modal window the module opens, a moment after it appeared, and notes its name.
class WindowCloser : public QObject {
public:
    QStringList seen;

    WindowCloser()
    {
        m_timer.setInterval(50);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }

private:
    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) {
            m_current = nullptr;
            return;
        }
        if (modal != m_current) {
            m_current = modal;
            m_shown.restart();
            seen << modal->objectName();
            return;
        }
        if (m_shown.elapsed() < 300) // let it load its data first
            return;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }

    QTimer m_timer;
    QPointer<QWidget> m_current;
    QElapsedTimer m_shown;
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
    const QString libraryFile = args[1];
    const QString database = args[2];
    const int customerId = args[3].toInt();
    const qsizetype expectAt = args.indexOf(QStringLiteral("--expect-window"));
    const QString expectedWindow = expectAt > 0 && expectAt + 1 < args.size() ? args[expectAt + 1] : QString();

    // The watchdog: nothing here may wait for a person.
    QTimer::singleShot(60000, [] {
        std::fprintf(stderr, "example_host: FAILED: still running after 60 s\n");
        std::_Exit(3);
    });

    // 1. Load the module and check that it speaks our version of the interface.
    QLibrary library(libraryFile);
    if (!library.load())
        return fail("cannot load the module:", library.errorString());
    using ModuleFunction = const tesr::ModuleEntry* (*)();
    auto moduleFunction = reinterpret_cast<ModuleFunction>(library.resolve("tesrpay5_module"));
    if (!moduleFunction)
        return fail("no tesrpay5_module in", libraryFile);
    const tesr::ModuleEntry* module = moduleFunction();
    if (!module || module->abiVersion != tesr::ModuleAbiVersion)
        return fail("the module's interface version differs from this host's");
    std::printf("loaded %s (%s)\n", qPrintable(libraryFile), module->description);

    // 2. The company database, through the module's own connection layer.
    QString error;
    std::unique_ptr<Connection> conn(module->openConnection(database.toUtf8().constData(), &error));
    if (!conn)
        return fail("cannot open the database:", error);
    auto rs = conn->OpenRecordset(QStringLiteral("SELECT CustomerName FROM Customers WHERE ID = %1").arg(customerId));
    if (!rs || rs->Eof())
        return fail("no such customer:", QString::number(customerId) + u' ' + conn->LastError());
    std::printf("customer %d: %s\n", customerId, qPrintable(rs->Field(QStringLiteral("CustomerName")).toString()));
    rs->Close();
    conn->Close();

    // 3. Create the Library, hand it the host's services and open the screen.
    auto host = std::make_shared<ExampleHost>(*module, database);
    tesr::ILibrary* payments = module->createLibrary();
    payments->Initialize(host);
    if (payments->GetSharedCodeLibrary() != host.get())
        return fail("the module did not keep the host's services");
    WindowCloser closer;
    payments->ShowCustomerPayments(customerId);
    std::printf("windows closed: %s; host calls: %d\n", qPrintable(closer.seen.join(QStringLiteral(", "))),
                g_hostCalls);

    // 4. Let the module go.
    payments->PreTerminate();
    if (payments->GetSharedCodeLibrary() != nullptr)
        return fail("PreTerminate left the host's services in place");
    module->destroyLibrary(payments);
    if (host.use_count() != 1)
        return fail("the module still holds the host's services");

    if (!expectedWindow.isEmpty()) {
        if (!closer.seen.contains(expectedWindow))
            return fail("the screen never appeared:", expectedWindow);
        if (g_hostCalls == 0)
            return fail("the screen never called its host");
    }
    std::printf("ok\n");
    return 0;
}
