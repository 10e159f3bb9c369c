#pragma once

// The reference host's services: everything the module asks of its host, over one company
// database. Every statement the host runs is T-SQL sent through a Connection, exactly like
// the module's own, so the host works on every engine the connection layer adapts to.

#include "host/HostConfig.h"
#include "host/Logger.h"
#include "host/Prompter.h"
#include "platform/HostServices.h"

#include <memory>
#include <optional>

namespace tesr::host {

class ReferenceHost final : public SharedCodeLibrary {
public:
    // The placeholder a caller puts in an explanation to get the host's standard explanation
    // of database errors, and that explanation.
    static const QString StandardExplanationPlaceholder;
    static const QString StandardExplanation;

    ReferenceHost(HostConfig config, std::shared_ptr<Prompter> prompter, std::shared_ptr<Logger> logger);
    ~ReferenceHost() override;

    // The configuration in force; changes apply to the next call (user, rights, options,
    // database URL).
    HostConfig& config() { return m_config; }
    const HostConfig& config() const { return m_config; }
    Prompter& prompter() { return *m_prompter; }
    Logger& logger() { return *m_logger; }

    std::unique_ptr<Connection> CurrentCompanyConn() override;
    int ShowMessageStyle1(const QString& headline, const QString& explanation, int buttons = 0, int icon = 0) override;
    void ShowErrorMessage(const QString& headline, const QString& explanation) override;
    void ShowAndLogErrorMessage(const QString& headline, const QString& explanation, const QString& detail) override;
    QString FixForSQLInsert(const QString& text) override;
    QString FixDateForSQLInsert(const OleDate& date) override;

    HostCommon& Common() override;
    HostDatabase& Database() override;
    HostOptions& Options() override;
    HostSecurity& Security() override;
    HostActivity& Activity() override;

    // ---- building blocks shared by the services ------------------------------------------

    // A statement's value as plain text: money and other numbers as plain decimal, dates as
    // "yyyy-MM-dd HH:mm:ss" (or with a 'T' for record documents), texts unchanged; nothing
    // for NULL.
    enum class DateForm { Blank, IsoT };
    static std::optional<QString> valueText(const QVariant& value, DateForm form);
    // The row text ExecuteSelect hands out: a JSON object of column -> text or null.
    static QString rowText(const Recordset& rs);
    static QString fieldValue(const QString& rowText, const QString& fieldName, const QString& defaultText);
    // The record document of a whole result (Records/Record/<Column>).
    static QDomDocument recordDocument(Recordset& rs);

    // Runs a statement on a connection of its own; the failure goes to the log and to
    // LastSQLErrorDescription.
    bool execute(const QString& statement, int* rowsAffected = nullptr);
    // The open result of a query on the given connection, or nullptr (logged).
    std::unique_ptr<Recordset> query(Connection& connection, const QString& statement);
    // Executes on the caller's connection (logged on failure).
    bool executeOn(Connection* connection, const QString& statement, int* rowsAffected = nullptr);

    QString lastError() const { return m_lastError; }
    void clearLastError() { m_lastError.clear(); }
    void noteFailure(const QString& what, const QString& statement, const QString& error);

private:
    class CommonService;
    class DatabaseService;
    class OptionsService;
    class SecurityService;
    class ActivityService;

    QString withStandardExplanation(const QString& explanation) const;

    HostConfig m_config;
    std::shared_ptr<Prompter> m_prompter;
    std::shared_ptr<Logger> m_logger;
    QString m_lastError;

    std::unique_ptr<CommonService> m_common;
    std::unique_ptr<DatabaseService> m_database;
    std::unique_ptr<OptionsService> m_options;
    std::unique_ptr<SecurityService> m_security;
    std::unique_ptr<ActivityService> m_activity;
};

} // namespace tesr::host
