#include "shared/ReviewLists.h"

#include "platform/Ado.h"
#include "platform/InputTools.h"
#include "platform/controls/ReportControl.h"
#include "shared/modSharedReportControl.h"
#include "values/Regional.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>

namespace tesr::reviewlists {

namespace {

class ColumnFiller final : public QObject {
public:
    ColumnFiller(ReportControl& grid, int fillColumn, int designWidth)
        : QObject(&grid), m_grid(grid), m_viewport(grid.viewport()), m_fill(fillColumn), m_design(designWidth)
    {
        // The filled column takes the spare room; the last one keeps its own width.
        grid.header()->setStretchLastSection(false);
        m_viewport->installEventFilter(this);
        fill();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // The event is looked at before the grid: while the grid is being destroyed its viewport
        // still reports events (never a resize), and the grid is no longer a grid then.
        if (event->type() == QEvent::Resize && watched == m_viewport)
            fill();
        return QObject::eventFilter(watched, event);
    }

private:
    void fill()
    {
        ReportColumns& columns = m_grid.Columns();
        ReportColumn* target = columns.Column(m_fill);
        if (!target)
            return;
        const int dpi = m_grid.logicalDpiX() > 0 ? m_grid.logicalDpiX() : 96;
        int room = m_grid.viewport()->width() * 96 / dpi;
        for (int i = 0; i < columns.Count(); ++i)
            if (i != m_fill && columns.Column(i)->Visible())
                room -= columns.Column(i)->Width();
        target->SetWidth(qMax(m_design, room));
    }

    ReportControl& m_grid; // the filler is the grid's child: it never outlives it
    QObject* m_viewport;
    int m_fill;
    int m_design;
};

// An ID's text. The engines hand IDs out as integers, whose text needs no general conversion
// (on a long list, a noticeable share of the loading).
QString idText(const QVariant& id)
{
    if (id.metaType() == QMetaType::fromType<qlonglong>())
        return QString::number(id.value<qlonglong>());
    if (id.metaType() == QMetaType::fromType<int>())
        return QString::number(id.value<int>());
    return id.toString();
}

} // namespace

int DateColumnWidth(ReportControl& grid, int designWidth)
{
    const QString widest = Regional::formatShortDate(*OleDate::fromYmdHms(2088, 12, 28));
    // The style's text margin, and the few pixels the grid keeps clear of each column edge.
    const int margin = grid.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &grid) + 1 + 4;
    return qMax(designWidth, QFontMetrics(grid.PaintManager().TextFont()).horizontalAdvance(widest) + 2 * margin);
}

void FillWithColumn(ReportControl& grid, int fillColumn, int designWidth)
{
    new ColumnFiller(grid, fillColumn, designWidth);
}

void StartList(ReportControl& grid, const QString& dateCaption)
{
    modSharedReportControl::FormatReportGrid(grid);
    grid.SetCustomDraw(ReportControl::AlternateRowShading);
    grid.Columns().Add(0, dateCaption, DateColumnWidth(grid, 65), true);
}

ReportColumn* AddMoneyColumn(ReportControl& grid, int item, const QString& caption, int width)
{
    ReportColumn* column = grid.Columns().Add(item, caption, width, true);
    column->SetAlignment(Qt::AlignRight);
    column->SetHeaderAlignment(Qt::AlignRight);
    return column;
}

const QStringList PaymentFields = {QStringLiteral("ID"), QStringLiteral("PaymentDate"), QStringLiteral("theDetails"),
                                   QStringLiteral("Amount"), QStringLiteral("Allocated")};

void AddPaymentItems(ReportRecord& record, const Recordset& rs, const FieldIndex& fields)
{
    enum { fDetails = 2, fAmount, fAllocated };
    record.AddItem(paymentDetailsShown(fields.Value(rs, fDetails).toString().trimmed()));
    const Currency amount = Currency::fromVariantOrZero(fields.Value(rs, fAmount));
    const Currency allocated = Currency::fromVariantOrZero(fields.Value(rs, fAllocated));
    for (const std::optional<Currency> value :
         {std::optional(amount), std::optional(allocated), amount.minus(allocated)})
        record.AddItem(QVariant())->SetMoney(value);
}

ReportRecord* AddDatedRecord(ReportControl& grid, const QVariant& id, const QVariant& date)
{
    ReportRecord* record = grid.Records().Add();
    record->SetTag(idText(id));
    modSharedReportControl::SetShortDateItem(*record->AddItem(0),
                                             OleDate::fromVariant(date).value_or(OleDate::absent()));
    return record;
}

} // namespace tesr::reviewlists
