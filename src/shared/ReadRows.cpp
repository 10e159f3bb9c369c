#include "shared/ReadRows.h"

#include "platform/Ado.h"
#include "platform/HelperTools.h"
#include "platform/HostServices.h"

namespace tesr::rows {

bool ForEach(Connection& conn, const QString& statement, const QStringList& names, const RowReader& read)
{
    std::unique_ptr<DataTools> tools = helperFactory().CreateDataTools();
    std::unique_ptr<Recordset> rs = tools ? tools->OpenRecordset(statement, &conn, 0, -1) : nullptr;
    if (!rs || rs->State() != Recordset::adStateOpen)
        return false;
    const FieldIndex fields(*rs, names);
    for (; !rs->Eof(); rs->MoveNext())
        read(*rs, fields);
    rs->Close();
    return true;
}

bool ForEach(SharedCodeLibrary* scl, const QString& statement, const QStringList& names, const RowReader& read)
{
    std::unique_ptr<Connection> conn = scl ? scl->CurrentCompanyConn() : nullptr;
    if (!conn)
        return false;
    const bool done = ForEach(*conn, statement, names, read);
    conn->Close();
    return done;
}

} // namespace tesr::rows
