#pragma once

// What the module requires of its host. A host implements SharedCodeLibrary and its five
// sub-objects and hands it to Library::Initialize; the module calls them by these names at
// the moment it needs them and never caches them. Header-only interfaces.

#include "platform/Ado.h"
#include "values/Currency.h"
#include "values/OleDate.h"

#include <QDomDocument>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <memory>

namespace tesr {

// The list part of a combo box, as the host fills it (Common.LoadPaymentMethods).
class ComboList {
public:
    virtual ~ComboList() = default;
    virtual void Clear() = 0;
    virtual void AddItem(const QString& text) = 0;
    virtual int NewIndex() const = 0; // index of the entry added last, -1 when none
    virtual int ListCount() const = 0;
    virtual QString List(int index) const = 0;
    virtual int ItemData(int index) const = 0;
    virtual void SetItemData(int index, int value) = 0;
    virtual int ListIndex() const = 0; // selected entry, -1 when none
    virtual void SetListIndex(int index) = 0;
};

class HostCommon {
public:
    virtual ~HostCommon() = default;
    // Fills the box with the payment methods; each entry's item data is the method's ID.
    virtual void LoadPaymentMethods(ComboList& combo) = 0;
    // Not 0 means a card method.
    virtual int GetPaymentMethodType2(int paymentMethodId) = 0;
    virtual QString GetCustomerName(int customerId) = 0;
    virtual Currency GetCustomerCredit(int customerId) = 0;
    // Fills {0}, {1}, {2} of the template with the values.
    virtual QString BuildString(const QString& templateText, const QVariantList& values) = 0;
    // One row as text (read it with GetFieldValue); empty when nothing was read.
    virtual QString ExecuteSelect(const QString& statement) = 0;
    virtual QString GetFieldValue(const QString& rowText, const QString& fieldName, const QString& defaultText) = 0;
    virtual bool ExecuteUpdate(const QString& statement) = 0;
    virtual int CountRecordsEx(const QString& statement, Connection* connection) = 0;
    virtual bool ExecuteDeleteEx(const QString& statement, Connection* connection) = 0;
};

class HostDatabase {
public:
    virtual ~HostDatabase() = default;
    // A record document "Records/Record" (one child element per non-NULL column), or a null
    // document when the statement could not be run.
    virtual QDomDocument ExecuteRead(const QString& statement) = 0;
    // The first value of the first row; defaultText when the statement yields no value.
    virtual QVariant ExecuteScaler(const QString& statement, const QString& text = QString(),
                                   const QString& defaultText = QString()) = 0;
    // Rows affected; -1 when the statement failed.
    virtual int ExecuteNonQuery(const QString& statement) = 0;
    virtual QString LastSQLErrorDescription() = 0;
};

class HostOptions {
public:
    virtual ~HostOptions() = default;
    virtual QVariant GetUserOption(const QString& section, const QString& key, const QVariant& defaultValue) = 0;
};

class HostSecurity {
public:
    virtual ~HostSecurity() = default;
    virtual bool CanDo(int permission, int right) = 0;
    virtual int UserId() = 0;
};

class HostActivity {
public:
    virtual ~HostActivity() = default;
    // The Ex forms write on the caller's connection, so the line commits or rolls back with
    // the caller's transaction.
    virtual void RecordCustomerActivityEx(int customerId, const QString& text, Connection* connection) = 0;
    virtual void RecordCustomerActivity(int customerId, const QString& text) = 0;
    virtual void RecordOrderActivityEx(int orderId, const QString& text, Connection* connection) = 0;
};

class SharedCodeLibrary {
public:
    virtual ~SharedCodeLibrary() = default;

    // Message buttons and answers, as ShowMessageStyle1 uses them.
    static constexpr int ButtonsOk = 1;
    static constexpr int ButtonsYesNo = 6;
    static constexpr int AnswerYes = 2;
    static constexpr int AnswerNo = 4;

    // A new open connection to the company database, or nullptr. The caller owns and closes it.
    virtual std::unique_ptr<Connection> CurrentCompanyConn() = 0;
    virtual int ShowMessageStyle1(const QString& headline, const QString& explanation, int buttons = 0,
                                  int icon = 0) = 0;
    virtual void ShowErrorMessage(const QString& headline, const QString& explanation) = 0;
    virtual void ShowAndLogErrorMessage(const QString& headline, const QString& explanation,
                                        const QString& detail) = 0;
    // Safe inside a single-quoted SQL literal.
    virtual QString FixForSQLInsert(const QString& text) = 0;
    // SQL date text, placed inside quotes by the template.
    virtual QString FixDateForSQLInsert(const OleDate& date) = 0;

    virtual HostCommon& Common() = 0;
    virtual HostDatabase& Database() = 0;
    virtual HostOptions& Options() = 0;
    virtual HostSecurity& Security() = 0;
    virtual HostActivity& Activity() = 0;
};

} // namespace tesr
