#pragma once

// The connection and recordset a host hands to the module, shaped after the ADO objects the
// screens were written against: a connection with one level of transaction, and a recordset
// that reads forward only. Header-only interfaces, so that a host loading the module at run
// time needs nothing but these headers.

#include <QString>
#include <QVariant>

#include <QStringList>

#include <memory>
#include <vector>

namespace tesr {

class Recordset {
public:
    virtual ~Recordset() = default;

    static constexpr int adStateClosed = 0;
    static constexpr int adStateOpen = 1;

    virtual int State() const = 0;
    // Before the first row (only ever true for an empty result) / past the last row.
    virtual bool Bof() const = 0;
    virtual bool Eof() const = 0;
    // The current row's value of a column, looked up by name without regard to case.
    // A NULL comes back as a null QVariant; an unknown column as an invalid QVariant.
    virtual QVariant Field(const QString& name) const = 0;
    virtual int FieldCount() const = 0;
    virtual QString FieldName(int index) const = 0;
    virtual QVariant FieldValue(int index) const = 0;
    virtual void MoveNext() = 0;
    virtual void Close() = 0;
};

class Connection {
public:
    virtual ~Connection() = default;

    // One level of transaction; each answers whether the engine accepted it.
    virtual bool BeginTrans() = 0;
    virtual bool CommitTrans() = 0;
    virtual bool RollbackTrans() = 0;
    virtual bool InTransaction() const = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Statements arrive as the module writes them (T-SQL). A command holding several
    // statements separated by ';' runs all-or-nothing. Failures leave their text in LastError;
    // every call starts by clearing it, so it is empty after a call that succeeded.
    virtual std::unique_ptr<Recordset> OpenRecordset(const QString& statement) = 0;
    virtual bool Execute(const QString& command, int* rowsAffected = nullptr) = 0;
    // Runs an INSERT and answers the new row's ID; less than 1 on failure.
    virtual qint64 ExecuteInsert(const QString& statement) = 0;
    virtual QString LastError() const = 0;

    // For a caller that rolls the open transaction back on any failure: commands that only
    // change rows may wait and go to the engine together with the next call that must be
    // answered (a read, an ID, a row count) or with the commit. Such a command's Execute answers
    // true once it is accepted; should it then fail, the call it went with fails with its text
    // and the transaction has ended, none of it kept. Ends with the transaction; connections
    // that gain nothing by it run every command at once.
    virtual void DeferWrites() {}
};

// A result's columns looked up by name once (without regard to case, the first of a name
// winning, as Field finds them), then read by position row after row: a list of thousands of
// rows pays for the names once.
class FieldIndex {
public:
    FieldIndex(const Recordset& rs, const QStringList& names)
    {
        for (const QString& name : names) {
            int found = -1;
            for (int i = 0; i < rs.FieldCount() && found < 0; ++i)
                if (rs.FieldName(i).compare(name, Qt::CaseInsensitive) == 0)
                    found = i;
            m_index.push_back(found);
        }
    }
    // The current row's value of the n-th name; invalid when the recordset has no such column.
    QVariant Value(const Recordset& rs, int n) const
    {
        const int i = n >= 0 && size_t(n) < m_index.size() ? m_index[size_t(n)] : -1;
        return i >= 0 ? rs.FieldValue(i) : QVariant();
    }

private:
    std::vector<int> m_index;
};

} // namespace tesr
