#include "forms/frmCustomerPayments/ReviewGrid.h"

#include "platform/Ado.h"
#include "platform/controls/ReportControl.h"
#include "shared/modSharedReportControl.h"
#include "values/Regional.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>

#include <optional>

namespace tesr::reviewgrid {

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

void CellFormatter::Date(ReportRecordItem& item, const OleDate& date)
{
    const qint64 day = date.seconds() / OleDate::SecondsPerDay; // present dates lie after 1900
    const auto known = date.isAbsent() ? m_days.constEnd() : m_days.constFind(day);
    if (known == m_days.constEnd()) {
        modSharedReportControl::SetDateGroupItem(item, date, QStringLiteral("Short Date"), QString());
        if (!date.isAbsent() && item.Caption() == item.GroupCaption())
            m_days.insert(day, item.Caption());
        return;
    }
    const QString& shortDate = *known;
    const qint64 second = date.seconds() - day * OleDate::SecondsPerDay;
    item.SetGroupCaption(shortDate);
    item.SetGroupPriority(int(day));
    item.SetValue(QVariant::fromValue(date));
    item.SetCaption(shortDate);
    if (second == 0) {
        item.SetToolTip(shortDate);
    } else {
        auto time = m_times.constFind(second);
        if (time == m_times.constEnd())
            time = m_times.insert(second, Regional::formatLongTime(date));
        item.SetToolTip(shortDate + u' ' + *time);
    }
}

OleDate ReadDate(const QVariant& value)
{
    if (value.metaType().id() == QMetaType::QString) {
        const QString text = value.toString();
        // yyyy-MM-dd HH:mm:ss, every other character a digit.
        auto digits = [&text](int from, int count) {
            int n = 0;
            for (int i = from; i < from + count; ++i) {
                const char16_t c = text[i].unicode();
                if (c < u'0' || c > u'9')
                    return -1;
                n = n * 10 + (c - u'0');
            }
            return n;
        };
        if (text.size() == 19 && text[4] == u'-' && text[7] == u'-' && text[10] == u' ' && text[13] == u':' &&
            text[16] == u':') {
            const int y = digits(0, 4), mo = digits(5, 2), d = digits(8, 2);
            const int h = digits(11, 2), mi = digits(14, 2), sec = digits(17, 2);
            if (y >= 0 && mo >= 0 && d >= 0 && h >= 0 && mi >= 0 && sec >= 0)
                if (const std::optional<OleDate> date = OleDate::fromYmdHms(y, mo, d, h, mi, sec))
                    return *date;
        }
    }
    return OleDate::fromVariant(value).value_or(OleDate::absent());
}

FieldIndex::FieldIndex(const Recordset& rs, const QStringList& names)
{
    for (const QString& name : names) {
        int found = -1;
        for (int i = 0; i < rs.FieldCount() && found < 0; ++i)
            if (rs.FieldName(i).compare(name, Qt::CaseInsensitive) == 0)
                found = i;
        m_index.push_back(found);
    }
}

QVariant FieldIndex::Value(const Recordset& rs, int n) const
{
    const int i = n >= 0 && std::size_t(n) < m_index.size() ? m_index[std::size_t(n)] : -1;
    return i >= 0 ? rs.FieldValue(i) : QVariant();
}

} // namespace tesr::reviewgrid
