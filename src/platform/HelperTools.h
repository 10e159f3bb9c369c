#pragma once

// The three small helper classes the module creates for itself, one per job: DataTools
// (statements on a job's connection), InputTools (field input rules) and RegistryTools
// (per-user string values). The module creates them through HelperFactory; a host may install
// its own factory to replace any of them.

#include "platform/Ado.h"
#include "platform/HostServices.h"

#include <QString>

#include <memory>

namespace tesr {

// The text part of an edit or combo box, as the input rules see it.
class TextField {
public:
    virtual ~TextField() = default;
    virtual QString Text() const = 0;
    virtual void SetText(const QString& text) = 0;
};

class DataTools {
public:
    virtual ~DataTools() = default;
    // A forward-reading recordset, or nullptr; open when its State() is 1.
    virtual std::unique_ptr<Recordset> OpenRecordset(const QString& statement, Connection* connection,
                                                     int cursorType = 0, int lockType = -1) = 0;
    // The new row's ID; less than 1 means failure.
    virtual qint64 ExecuteInsert(const QString& statement, Connection* connection) = 0;
    virtual bool ExecuteStatement(const QString& statement, Connection* connection) = 0;
    virtual QString LastErrorText(int which = 0) const = 0;
};

class InputTools {
public:
    virtual ~InputTools() = default;
    // Leaves the field holding a valid date text (or empty).
    virtual void DateTextRule(TextField& field) = 0;
    // Leaves the field holding a plain number within [low, high], or the fallback.
    virtual void NumberRangeRule(double low, double high, double fallback, TextField& field) = 0;
    // Leaves the field holding a whole number within [low, high], or the fallback.
    virtual void WholeNumberRangeRule(double low, double high, double fallback, TextField& field) = 0;
    virtual void SelectEntryByText(const QString& text, ComboList& combo) = 0;
    virtual void SelectEntryByItemData(int value, ComboList& combo) = 0;
};

class RegistryTools {
public:
    virtual ~RegistryTools() = default;
    static constexpr int HKEY_CURRENT_USER_ROOT = 1;
    virtual QString ReadString(int root, const QString& key, const QString& valueName, const QString& defaultText) = 0;
    virtual bool WriteString(int root, const QString& key, const QString& valueName, const QString& text) = 0;
};

class HelperFactory {
public:
    virtual ~HelperFactory() = default;
    virtual std::unique_ptr<DataTools> CreateDataTools();
    virtual std::unique_ptr<InputTools> CreateInputTools();
    virtual std::unique_ptr<RegistryTools> CreateRegistryTools();
};

// The factory the module uses; the module's own unless a host installed another.
HelperFactory& helperFactory();
void setHelperFactory(std::shared_ptr<HelperFactory> factory);

} // namespace tesr
