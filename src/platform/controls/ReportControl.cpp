#include "platform/controls/ReportControl.h"

#include "platform/controls/GridExport.h"

#include "values/Currency.h"
#include "values/OleDate.h"
#include "values/Regional.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>

#include <algorithm>
#include <numeric>
#include <unordered_set>

namespace tesr {

// ---- value order ------------------------------------------------------------------------------

namespace {

enum class Kind { Empty, Number, Date, Text };

Kind kindOf(const QVariant& v)
{
    if (!v.isValid() || v.isNull())
        return Kind::Empty;
    const QMetaType t = v.metaType();
    if (t == QMetaType::fromType<Currency>())
        return Kind::Number;
    if (t == QMetaType::fromType<OleDate>())
        return Kind::Date;
    switch (t.id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Bool:
        return Kind::Number;
    case QMetaType::QDate:
    case QMetaType::QDateTime:
        return Kind::Date;
    case QMetaType::QString:
        return v.toString().isEmpty() ? Kind::Empty : Kind::Text;
    default:
        return v.toString().isEmpty() ? Kind::Empty : Kind::Text;
    }
}

long double numberOf(const QVariant& v)
{
    if (v.metaType() == QMetaType::fromType<Currency>())
        return static_cast<long double>(v.value<Currency>().raw()) / Currency::Scale;
    switch (v.metaType().id()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return static_cast<long double>(v.toDouble());
    case QMetaType::ULongLong:
    case QMetaType::ULong:
        return static_cast<long double>(v.toULongLong());
    case QMetaType::Bool:
        return v.toBool() ? -1 : 0; // the platform's True
    default:
        return static_cast<long double>(v.toLongLong());
    }
}

std::int64_t secondsOf(const QVariant& v)
{
    return OleDate::fromVariant(v).value_or(OleDate()).seconds();
}

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

// Case-insensitive; digit runs compared as numbers; ties broken case-sensitively so the order
// is total.
int naturalCompare(const QString& a, const QString& b)
{
    const qsizetype na = a.size();
    const qsizetype nb = b.size();
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < na && j < nb) {
        const QChar ca = a[i];
        const QChar cb = b[j];
        if (isAsciiDigit(ca) && isAsciiDigit(cb)) {
            qsizetype si = i;
            qsizetype sj = j;
            while (si < na && a[si] == u'0')
                ++si;
            while (sj < nb && b[sj] == u'0')
                ++sj;
            qsizetype ei = si;
            qsizetype ej = sj;
            while (ei < na && isAsciiDigit(a[ei]))
                ++ei;
            while (ej < nb && isAsciiDigit(b[ej]))
                ++ej;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            for (qsizetype k = 0; k < ei - si; ++k) {
                if (a[si + k] != b[sj + k])
                    return a[si + k] < b[sj + k] ? -1 : 1;
            }
            i = ei;
            j = ej;
            continue;
        }
        const char16_t fa = ca.toCaseFolded().unicode();
        const char16_t fb = cb.toCaseFolded().unicode();
        if (fa != fb)
            return fa < fb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < na)
        return 1;
    if (j < nb)
        return -1;
    const int exact = QString::compare(a, b, Qt::CaseSensitive);
    return exact < 0 ? -1 : (exact > 0 ? 1 : 0);
}

template <class T> int threeWay(const T& x, const T& y)
{
    return x < y ? -1 : (y < x ? 1 : 0);
}

} // namespace

int compareReportValues(const QVariant& a, const QVariant& b)
{
    const QMetaType ta = a.metaType();
    // The common cases first: a column holds one kind of value.
    if (ta == b.metaType()) {
        if (ta == QMetaType::fromType<Currency>())
            return threeWay(a.value<Currency>().raw(), b.value<Currency>().raw());
        if (ta == QMetaType::fromType<OleDate>())
            return threeWay(a.value<OleDate>().seconds(), b.value<OleDate>().seconds());
        if (ta.id() == QMetaType::QString) {
            const QString sa = a.toString();
            const QString sb = b.toString();
            if (sa.isEmpty() || sb.isEmpty())
                return threeWay(!sa.isEmpty(), !sb.isEmpty());
            return naturalCompare(sa, sb);
        }
    }
    const Kind ka = kindOf(a);
    const Kind kb = kindOf(b);
    if (ka != kb)
        return threeWay(int(ka), int(kb));
    switch (ka) {
    case Kind::Empty:
        return 0;
    case Kind::Number:
        return threeWay(numberOf(a), numberOf(b));
    case Kind::Date:
        return threeWay(secondsOf(a), secondsOf(b));
    case Kind::Text:
        return naturalCompare(a.toString(), b.toString());
    }
    return 0;
}

// ---- model ------------------------------------------------------------------------------------

namespace {
constexpr int GroupRowRole = Qt::UserRole + 1;
constexpr int GroupCountRole = Qt::UserRole + 2;
constexpr int GroupExpandedRole = Qt::UserRole + 3;
constexpr int ValueRole = Qt::UserRole;
constexpr int ArrowZone = 22; // pixels at the left of a heading that toggle its group
constexpr int CellPadding = 3;
} // namespace

class ReportModel final : public QAbstractItemModel {
public:
    explicit ReportModel(ReportControl* control) : QAbstractItemModel(control), m_c(control) {}

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override
    {
        if (parent.isValid() || row < 0 || column < 0 || row >= int(m_c->m_rows.size()) ||
            column >= int(m_c->m_columns.size()))
            return {};
        return createIndex(row, column);
    }
    QModelIndex parent(const QModelIndex&) const override { return {}; }
    QModelIndex sibling(int row, int column, const QModelIndex&) const override { return index(row, column); }
    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_c->m_rows.size());
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_c->m_columns.size());
    }
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override
    {
        return !parent.isValid() && !m_c->m_rows.empty() && !m_c->m_columns.empty();
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid())
            return {};
        const ReportRow& row = m_c->m_rows[std::size_t(index.row())];
        const ReportColumn& column = *m_c->m_columns[std::size_t(index.column())];
        if (row.GroupRow()) {
            const ReportControl::Group& g = m_c->m_groups[std::size_t(row.m_group)];
            switch (role) {
            case Qt::DisplayRole:
                return index.column() == 0 ? QVariant(g.caption) : QVariant();
            case Qt::TextAlignmentRole:
                return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
            case GroupRowRole:
                return true;
            case GroupCountRole:
                return g.count;
            case GroupExpandedRole:
                return g.expanded;
            default:
                return {};
            }
        }
        const ReportRecordItem* item = row.m_record->Item(column.ItemIndex());
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return item ? item->Caption() : QString();
        case Qt::ToolTipRole: {
            const QString tip = item ? item->ToolTip() : QString();
            return tip.isEmpty() ? QVariant() : QVariant(tip);
        }
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(column.Alignment() | Qt::AlignVCenter);
        case ValueRole:
            return item ? item->Value() : QVariant();
        case GroupRowRole:
            return false;
        default:
            return {};
        }
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        if (!index.isValid())
            return Qt::NoItemFlags;
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
        if (m_c->isEditable(index.row(), index.column()))
            f |= Qt::ItemIsEditable;
        return f;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || section < 0 || section >= int(m_c->m_columns.size()))
            return {};
        const ReportColumn& column = *m_c->m_columns[std::size_t(section)];
        switch (role) {
        case Qt::DisplayRole:
            return column.Caption();
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(column.HeaderAlignment() | Qt::AlignVCenter);
        default:
            return {};
        }
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override
    {
        if (!index.isValid() || role != Qt::EditRole)
            return false;
        return m_c->commitEdit(index.row(), index.column(), value.toString());
    }

    void beginReset() { beginResetModel(); }
    void endReset() { endResetModel(); }
    void beginRemove(int first, int last) { beginRemoveRows(QModelIndex(), first, last); }
    void endRemove() { endRemoveRows(); }
    void beginAddColumn(int position) { beginInsertColumns(QModelIndex(), position, position); }
    void endAddColumn() { endInsertColumns(); }
    void cellChanged(int row, int column)
    {
        const QModelIndex i = index(row, column);
        emit dataChanged(i, i);
    }
    void columnChanged(int column)
    {
        if (!m_c->m_rows.empty())
            emit dataChanged(index(0, column), index(int(m_c->m_rows.size()) - 1, column));
        emit headerDataChanged(Qt::Horizontal, column, column);
    }

private:
    ReportControl* m_c;
};

// ---- delegate ---------------------------------------------------------------------------------

namespace {
const char* const InitialTextProperty = "tesrInitialText";
const char* const CommittedProperty = "tesrCommitted";
} // namespace

class ReportDelegate final : public QStyledItemDelegate {
public:
    explicit ReportDelegate(ReportControl* control) : QStyledItemDelegate(control), m_c(control) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override
    {
        auto* editor = new QLineEdit(parent);
        editor->setObjectName(QStringLiteral("reportCellEditor"));
        editor->setFrame(false);
        editor->setAlignment(index.data(Qt::TextAlignmentRole).value<Qt::Alignment>());
        return editor;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        auto* edit = qobject_cast<QLineEdit*>(editor);
        if (!edit || edit->property(InitialTextProperty).isValid())
            return; // the user's typing is not overwritten by a repaint of the cell
        const QString text = index.data(Qt::EditRole).toString();
        edit->setText(text);
        edit->setProperty(InitialTextProperty, text);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        auto* edit = qobject_cast<QLineEdit*>(editor);
        // One commit per editor, however many ways the editor is left at once.
        if (!edit || edit->property(CommittedProperty).toBool())
            return;
        edit->setProperty(CommittedProperty, true);
        if (edit->text() == edit->property(InitialTextProperty).toString())
            return;
        model->setData(index, edit->text(), Qt::EditRole);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setWidth(s.width() + 2 * CellPadding);
        const int minimum = option.fontMetrics.height() + 8;
        s.setHeight(std::max(s.height() + 4, minimum));
        return s;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (index.data(GroupRowRole).toBool()) {
            paintHeading(painter, option, index);
            return;
        }
        // The whole cell takes the row's background; the text keeps clear of the column edges,
        // so a right-aligned amount does not run into the next column's text.
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
        opt.rect.adjust(CellPadding, 0, -CellPadding, 0);
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    }

private:
    void paintHeading(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
    {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        const bool selected = opt.state & QStyle::State_Selected;
        const QRect r = option.rect;

        painter->save();
        if (selected) {
            style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
        } else {
            const QColor base = opt.palette.color(QPalette::Base);
            const QColor tint = opt.palette.color(QPalette::Highlight);
            QColor fill;
            fill.setRgbF(base.redF() * 0.9f + tint.redF() * 0.1f, base.greenF() * 0.9f + tint.greenF() * 0.1f,
                         base.blueF() * 0.9f + tint.blueF() * 0.1f);
            painter->fillRect(r, fill);
            painter->setPen(QPen(tint, 1));
            painter->drawLine(r.bottomLeft(), r.bottomRight());
        }

        QStyleOption arrow;
        arrow.initFrom(widget);
        arrow.rect = QRect(r.left() + 4, r.top() + (r.height() - 12) / 2, 12, 12);
        arrow.palette = opt.palette;
        if (selected)
            arrow.palette.setColor(QPalette::ButtonText, opt.palette.color(QPalette::HighlightedText));
        const bool expanded = index.data(GroupExpandedRole).toBool();
        style->drawPrimitive(expanded ? QStyle::PE_IndicatorArrowDown : QStyle::PE_IndicatorArrowRight, &arrow, painter,
                             widget);

        QFont bold = opt.font;
        bold.setBold(true);
        const QColor textColor = opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
        QRect textRect = r.adjusted(ArrowZone, 0, -4, 0);
        const QString caption = index.data(Qt::DisplayRole).toString();
        painter->setFont(bold);
        painter->setPen(textColor);
        const QFontMetrics fmBold(bold);
        const QString shown = fmBold.elidedText(caption, Qt::ElideRight, textRect.width());
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, shown);
        const int used = fmBold.horizontalAdvance(shown);
        const int count = index.data(GroupCountRole).toInt();
        const QString countText = QStringLiteral("  (%1)").arg(count);
        painter->setFont(opt.font);
        painter->setPen(selected ? textColor : opt.palette.color(QPalette::PlaceholderText));
        painter->drawText(textRect.adjusted(used, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, countText);
        painter->restore();
    }

    ReportControl* m_c;
};

// ---- items, records, columns, rows ------------------------------------------------------------

ReportRecordItem::Extras& ReportRecordItem::extras()
{
    if (!m_extras)
        m_extras = std::make_unique<Extras>();
    return *m_extras;
}

void ReportRecordItem::changed()
{
    if (m_record && m_record->m_row >= 0)
        m_record->m_control->itemChanged(this);
}

void ReportRecordItem::valueSet()
{
    if (m_record)
        ++m_record->m_control->m_valuesSerial;
}

void ReportRecordItem::SetValue(const QVariant& value)
{
    m_value = value;
    valueSet();
    if (!m_hasCaption)
        changed();
}

QString ReportRecordItem::Caption() const
{
    if (m_hasCaption)
        return m_caption;
    if (m_currencyCaption)
        return Regional::formatCurrency(Currency::fromVariantOrZero(m_value));
    if (m_shortDate)
        return Regional::formatShortDate(m_value.value<OleDate>());
    return Regional::defaultText(m_value).value_or(QString());
}

void ReportRecordItem::SetCaption(const QString& caption)
{
    m_caption = caption;
    m_hasCaption = true;
    changed();
}

void ReportRecordItem::ResetCaption()
{
    m_caption.clear();
    m_hasCaption = false;
    m_currencyCaption = false;
    m_shortDate = false;
    changed();
}

void ReportRecordItem::SetCurrencyCaption()
{
    m_caption.clear();
    m_hasCaption = false;
    m_currencyCaption = true;
    m_shortDate = false;
    changed();
}

void ReportRecordItem::SetShortDate(const OleDate& date)
{
    m_value = QVariant::fromValue(date);
    valueSet();
    m_caption.clear();
    m_hasCaption = false;
    m_currencyCaption = false;
    m_shortDate = true;
    m_groupPriority = int(date.seconds() / OleDate::SecondsPerDay);
    changed();
}

void ReportRecordItem::SetMoney(const std::optional<Currency>& amount)
{
    m_value = amount ? QVariant::fromValue(*amount) : QVariant();
    valueSet();
    if (amount)
        SetCurrencyCaption();
    else
        SetCaption(Regional::formatCurrency(amount));
}

QString ReportRecordItem::ToolTip() const
{
    if (m_shortDate && (!m_extras || m_extras->toolTip.isEmpty()))
        return Regional::formatGeneralDate(m_value.value<OleDate>());
    return m_extras ? m_extras->toolTip : QString();
}

void ReportRecordItem::SetToolTip(const QString& text)
{
    if (text.isEmpty() && !m_extras)
        return;
    extras().toolTip = text;
}

QString ReportRecordItem::GroupCaption() const
{
    if (m_shortDate && (!m_extras || m_extras->groupCaption.isEmpty()))
        return Regional::formatShortDate(m_value.value<OleDate>());
    return m_extras ? m_extras->groupCaption : QString();
}

void ReportRecordItem::SetGroupCaption(const QString& text)
{
    if (text.isEmpty() && !m_extras)
        return;
    extras().groupCaption = text;
}

void ReportRecordItem::SetGroupPriority(int priority)
{
    m_groupPriority = priority;
}

void ReportRecordItem::SetEditable(bool editable)
{
    m_editable = editable;
}

ReportRecord::ReportRecord(ReportControl* control, int index, int blockSize)
    : m_control(control), m_serial(control->nextSerial()), m_index(index), m_blockSize(std::max(1, blockSize))
{}

ReportRecord::~ReportRecord() = default;

ReportRecordItem* ReportRecord::AddItem(const QVariant& value)
{
    ReportRecordItem* item;
    if (m_count < m_blockSize) {
        if (!m_block)
            m_block = std::make_unique<ReportRecordItem[]>(std::size_t(m_blockSize));
        item = &m_block[std::size_t(m_count)];
    } else {
        const int overflow = m_count - m_blockSize;
        if (overflow % m_blockSize == 0) {
            if (!m_more)
                m_more = std::make_unique<std::vector<std::unique_ptr<ReportRecordItem[]>>>();
            m_more->push_back(std::make_unique<ReportRecordItem[]>(std::size_t(m_blockSize)));
        }
        item = &(*m_more)[std::size_t(overflow / m_blockSize)][std::size_t(overflow % m_blockSize)];
    }
    item->m_value = value;
    item->m_record = this;
    item->m_index = m_count++;
    ++m_control->m_valuesSerial;
    if (m_row >= 0)
        m_control->itemChanged(item);
    return item;
}

ReportRecordItem* ReportRecord::Item(int index) const
{
    if (index < 0 || index >= m_count)
        return nullptr;
    if (index < m_blockSize)
        return &m_block[std::size_t(index)];
    const int overflow = index - m_blockSize;
    return &(*m_more)[std::size_t(overflow / m_blockSize)][std::size_t(overflow % m_blockSize)];
}

ReportRow* ReportRecord::Row() const
{
    return m_row >= 0 ? &m_control->m_rows[std::size_t(m_row)] : nullptr;
}

ReportColumn::ReportColumn(ReportControl* control, int position, int itemIndex, const QString& caption, int width,
                           bool resizable)
    : m_control(control), m_position(position), m_itemIndex(itemIndex), m_caption(caption), m_width(width),
      m_resizable(resizable)
{}

void ReportColumn::SetCaption(const QString& caption)
{
    m_caption = caption;
    m_control->columnChanged(this);
}

int ReportColumn::Width() const
{
    if (!m_visible)
        return m_width;
    return m_control->fromPixels(m_control->header()->sectionSize(m_position));
}

void ReportColumn::SetWidth(int width)
{
    m_width = std::max(0, width);
    // Only the header's section changes: the view redraws the column at its new width by
    // itself, and telling it that every cell of the column changed is a pass over all rows.
    m_control->columnChanged(this, true, false);
}

void ReportColumn::SetResizable(bool resizable)
{
    m_resizable = resizable;
    m_control->columnChanged(this);
}

void ReportColumn::SetEditable(bool editable)
{
    m_editable = editable;
    m_control->columnChanged(this);
}

void ReportColumn::SetVisible(bool visible)
{
    if (m_visible && !visible)
        m_width = Width(); // keep what the user left it at
    m_visible = visible;
    m_control->columnChanged(this);
}

void ReportColumn::SetAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment & Qt::AlignHorizontal_Mask;
    m_control->columnChanged(this);
}

void ReportColumn::SetHeaderAlignment(Qt::Alignment alignment)
{
    m_headerAlignment = alignment & Qt::AlignHorizontal_Mask;
    m_control->columnChanged(this);
}

bool ReportRow::Selected() const
{
    return m_control->selectionModel()->isRowSelected(m_index, QModelIndex());
}

QString ReportRow::GroupCaption() const
{
    return GroupRow() ? m_control->m_groups[std::size_t(m_group)].caption : QString();
}

int ReportRow::ChildCount() const
{
    return GroupRow() ? m_control->m_groups[std::size_t(m_group)].count : 0;
}

bool ReportRow::Expanded() const
{
    return GroupRow() && m_control->m_groups[std::size_t(m_group)].expanded;
}

void ReportRow::SetExpanded(bool expanded)
{
    if (GroupRow())
        m_control->setGroupExpanded(m_group, expanded);
}

ReportRow* ReportRow::ParentRow() const
{
    if (GroupRow() || m_group < 0)
        return nullptr;
    return &m_control->m_rows[std::size_t(m_control->m_groups[std::size_t(m_group)].headingRow)];
}

ReportColumn* ReportColumns::Add(int itemIndex, const QString& caption, int width, bool resizable)
{
    const int position = int(m_control->m_columns.size());
    auto* column = new ReportColumn(m_control, position, itemIndex, caption, width, resizable);
    m_control->m_model->beginAddColumn(position);
    m_control->m_columns.emplace_back(column);
    m_control->m_model->endAddColumn();
    m_control->columnAdded(column);
    return column;
}

int ReportColumns::Count() const
{
    return int(m_control->m_columns.size());
}

ReportColumn* ReportColumns::Column(int position) const
{
    if (position < 0 || position >= Count())
        return nullptr;
    return m_control->m_columns[std::size_t(position)].get();
}

ReportColumn* ReportColumns::Find(int itemIndex) const
{
    for (const auto& c : m_control->m_columns)
        if (c->ItemIndex() == itemIndex)
            return c.get();
    return nullptr;
}

ReportRecord* ReportRecords::Add()
{
    auto* record = new ReportRecord(m_control, Count(), int(m_control->m_columns.size()));
    m_control->m_records.emplace_back(record);
    ++m_control->m_valuesSerial;
    return record;
}

int ReportRecords::Count() const
{
    return int(m_control->m_records.size());
}

ReportRecord* ReportRecords::Record(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return m_control->m_records[std::size_t(index)].get();
}

void ReportRecords::RemoveAll()
{
    ReportControl* c = m_control;
    ++c->m_layoutDepth;
    c->m_model->beginReset();
    c->m_rows.clear();
    c->m_groups.clear();
    c->m_order.clear();
    c->m_records.clear();
    ++c->m_valuesSerial;
    c->m_pendingChanged.clear();
    c->m_model->endReset();
    --c->m_layoutDepth;
    c->syncSelection();
}

int ReportRows::Count() const
{
    return int(m_control->m_rows.size());
}

ReportRow* ReportRows::Row(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return &m_control->m_rows[std::size_t(index)];
}

ReportRow* ReportRows::FindRow(const ReportRecord* record) const
{
    if (!record || record->Control() != m_control)
        return nullptr;
    return record->Row();
}

QFont ReportPaintManager::CaptionFont() const
{
    return m_control->header()->font();
}

void ReportPaintManager::SetCaptionFont(const QFont& font)
{
    m_control->header()->setFont(font);
}

QFont ReportPaintManager::TextFont() const
{
    return m_control->font();
}

void ReportPaintManager::SetTextFont(const QFont& font)
{
    m_control->setFont(font);
    m_control->scheduleDelayedItemsLayout(); // row height follows the font
}

// ---- the grid ---------------------------------------------------------------------------------

ReportControl::ReportControl(QWidget* parent) : QTreeView(parent)
{
    m_model = new ReportModel(this);
    m_delegate = new ReportDelegate(this);
    setModel(m_model);
    setItemDelegate(m_delegate);
    setUniformRowHeights(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setIndentation(0);
    setSelectionBehavior(SelectRows);
    setSelectionMode(ExtendedSelection);
    setAllColumnsShowFocus(true);
    setEditTriggers(NoEditTriggers);
    setTextElideMode(Qt::ElideRight);

    QHeaderView* h = header();
    h->setSectionsClickable(true);
    h->setSortIndicatorShown(false);
    h->setHighlightSections(false);
    h->setStretchLastSection(true);
    h->setMinimumSectionSize(8);
    h->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(h, &QHeaderView::sectionClicked, this, &ReportControl::headerClicked);
    connect(h, &QHeaderView::customContextMenuRequested, this, &ReportControl::headerMenuRequested);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (m_layoutDepth == 0)
            syncSelection();
    });

    m_screenActionsEnd = new QAction(this);
    m_screenActionsEnd->setSeparator(true);
    m_screenActionsEnd->setVisible(false);
    addAction(m_screenActionsEnd);
    m_export = new gridexport::GridActions(this, [this](bool selectedOnly) { return ExportTable(selectedOnly); });
    m_export->SetFileName([this] { return window()->windowTitle(); });
    // What the column headers offer, for the keyboard: the context menu (Menu key, Shift+F10)
    // sorts and groups by any column too.
    auto* columns = new QAction(this);
    columns->setSeparator(true);
    addAction(columns);
    for (const bool grouping : {false, true}) {
        auto* menu = new QMenu(grouping ? tr("Group By") : tr("Sort By"), this);
        menu->setObjectName(grouping ? QStringLiteral("reportGroupByMenu") : QStringLiteral("reportSortByMenu"));
        connect(menu, &QMenu::aboutToShow, this, [this, menu, grouping] { fillColumnMenu(*menu, grouping); });
        addAction(menu->menuAction());
    }
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

ReportControl::~ReportControl()
{
    // The view must stop reading the model before the rows and records go; nobody is told.
    ++m_layoutDepth;
    setModel(nullptr);
    delete m_model;
    m_model = nullptr;
}

int ReportControl::toPixels(int width96) const
{
    return qRound(width96 * logicalDpiX() / 96.0);
}

int ReportControl::fromPixels(int pixels) const
{
    const int dpi = logicalDpiX();
    return dpi > 0 ? qRound(pixels * 96.0 / dpi) : pixels;
}

void ReportControl::columnAdded(ReportColumn* column)
{
    columnChanged(column, true);
}

void ReportControl::columnChanged(ReportColumn* column, bool resize, bool cells)
{
    const int position = column->m_position;
    QHeaderView* h = header();
    h->setSectionResizeMode(position, column->m_resizable ? QHeaderView::Interactive : QHeaderView::Fixed);
    const bool wasHidden = isColumnHidden(position);
    setColumnHidden(position, !column->m_visible);
    // Only a new width (or a column shown again) sets the size: otherwise the user's stays. A
    // width given in code never hides part of the column's caption (the user may still narrow it).
    if (column->m_visible && (resize || wasHidden))
        h->resizeSection(position, std::max(toPixels(column->m_width), h->sectionSizeHint(position)));
    if (cells)
        m_model->columnChanged(position);
}

QModelIndex ReportControl::indexOf(int row, int column) const
{
    return m_model->index(row, column);
}

ReportRecordItem* ReportControl::itemAt(int row, int column) const
{
    if (row < 0 || row >= int(m_rows.size()) || column < 0 || column >= int(m_columns.size()))
        return nullptr;
    const ReportRow& r = m_rows[std::size_t(row)];
    return r.m_record ? r.m_record->Item(m_columns[std::size_t(column)]->ItemIndex()) : nullptr;
}

bool ReportControl::isEditable(int row, int column) const
{
    if (!m_allowEdit || column < 0 || column >= int(m_columns.size()))
        return false;
    const ReportColumn& c = *m_columns[std::size_t(column)];
    if (!c.m_editable || !c.m_visible)
        return false;
    const ReportRecordItem* item = itemAt(row, column);
    return item && item->m_editable;
}

int ReportControl::firstEditableColumn(int row) const
{
    for (int visual = 0; visual < header()->count(); ++visual) {
        const int logical = header()->logicalIndex(visual);
        if (isEditable(row, logical))
            return logical;
    }
    return -1;
}

void ReportControl::itemChanged(ReportRecordItem* item)
{
    const int row = item->m_record->m_row;
    if (row < 0)
        return;
    for (const auto& c : m_columns)
        if (c->ItemIndex() == item->m_index)
            m_model->cellChanged(row, c->m_position);
}

void ReportControl::RedrawControl()
{
    viewport()->update();
}

void ReportControl::SetCustomDraw(int flags)
{
    m_customDraw = flags;
    setAlternatingRowColors((flags & AlternateRowShading) != 0);
}

void ReportControl::SetAllowEdit(bool allow)
{
    m_allowEdit = allow;
    setEditTriggers(allow ? (AnyKeyPressed | EditKeyPressed | DoubleClicked) : NoEditTriggers);
    // In an editable grid the focused cell is the one typing goes to, so it is framed.
    setAllColumnsShowFocus(!allow);
}

// ---- layout -----------------------------------------------------------------------------------

void ReportControl::buildOrder()
{
    m_order.clear();
    m_order.reserve(m_records.size());
    for (const auto& r : m_records)
        m_order.push_back(r.get());
    if (!m_sortColumn)
        return;
    const int itemIndex = m_sortColumn->ItemIndex();
    struct Key {
        const QVariant* value;
        ReportRecord* record;
    };
    static const QVariant none;
    std::vector<Key> keys;
    keys.reserve(m_order.size());
    for (ReportRecord* r : m_order) {
        const ReportRecordItem* item = r->Item(itemIndex);
        keys.push_back({item ? &item->m_value : &none, r});
    }
    const bool descending = m_sortOrder == Qt::DescendingOrder;
    std::sort(keys.begin(), keys.end(), [descending](const Key& a, const Key& b) {
        const int c = compareReportValues(*a.value, *b.value);
        if (c != 0)
            return descending ? c > 0 : c < 0;
        return a.record->m_index < b.record->m_index; // equal values keep the record order
    });
    for (std::size_t i = 0; i < keys.size(); ++i)
        m_order[i] = keys[i].record;
}

void ReportControl::buildRows()
{
    m_rows.clear();
    m_groups.clear();
    for (const auto& r : m_records) {
        r->m_row = -1;
        r->m_group = -1;
    }
    if (!m_groupColumn) {
        m_rows.resize(m_order.size());
        for (std::size_t i = 0; i < m_order.size(); ++i) {
            ReportRow& row = m_rows[i];
            row.m_control = this;
            row.m_record = m_order[i];
            row.m_index = int(i);
            m_order[i]->m_row = int(i);
        }
        return;
    }

    const int itemIndex = m_groupColumn->ItemIndex();
    struct Building {
        QString caption;
        int priority;
        const QVariant* firstValue;
        std::vector<ReportRecord*> members;
    };
    static const QVariant none;
    std::vector<Building> groups;
    QHash<QString, int> byCaption;
    for (ReportRecord* r : m_order) {
        const ReportRecordItem* item = r->Item(itemIndex);
        QString caption;
        if (item) {
            caption = item->GroupCaption();
            if (caption.isEmpty())
                caption = item->Caption();
        }
        auto it = byCaption.constFind(caption);
        int g;
        if (it == byCaption.constEnd()) {
            g = int(groups.size());
            byCaption.insert(caption, g);
            groups.push_back({caption, item ? item->GroupPriority() : 0, item ? &item->m_value : &none, {}});
        } else {
            g = it.value();
        }
        groups[std::size_t(g)].members.push_back(r);
    }
    std::vector<int> order(groups.size());
    std::iota(order.begin(), order.end(), 0);
    const bool descending = m_sortColumn == m_groupColumn && m_sortOrder == Qt::DescendingOrder;
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        const Building& x = groups[std::size_t(a)];
        const Building& y = groups[std::size_t(b)];
        int c = threeWay(x.priority, y.priority);
        if (c == 0)
            c = compareReportValues(*x.firstValue, *y.firstValue);
        if (c == 0)
            c = naturalCompare(x.caption, y.caption);
        return descending ? c > 0 : c < 0;
    });

    std::size_t total = groups.size();
    for (const Building& b : groups)
        total += b.members.size();
    m_rows.reserve(total);
    m_groups.reserve(groups.size());
    for (int gi : order) {
        Building& b = groups[std::size_t(gi)];
        const int g = int(m_groups.size());
        Group group;
        group.caption = b.caption;
        group.priority = b.priority;
        group.count = int(b.members.size());
        group.expanded = std::find(m_collapsed.begin(), m_collapsed.end(), b.caption) == m_collapsed.end();
        group.headingRow = int(m_rows.size());
        m_groups.push_back(group);
        ReportRow heading;
        heading.m_control = this;
        heading.m_index = group.headingRow;
        heading.m_group = g;
        m_rows.push_back(heading);
        for (ReportRecord* r : b.members) {
            r->m_group = g;
            if (!group.expanded)
                continue;
            ReportRow row;
            row.m_control = this;
            row.m_record = r;
            row.m_index = int(m_rows.size());
            row.m_group = g;
            r->m_row = row.m_index;
            m_rows.push_back(row);
        }
    }
}

void ReportControl::applyGroupSpans()
{
    for (const Group& g : m_groups)
        setFirstColumnSpanned(g.headingRow, QModelIndex(), true);
}

ReportControl::Snapshot ReportControl::snapshot() const
{
    Snapshot s;
    if (m_rows.empty())
        return s;
    const QModelIndexList selected = selectionModel()->selectedRows();
    for (const QModelIndex& i : selected) {
        if (i.row() < 0 || i.row() >= int(m_rows.size()))
            continue;
        const ReportRow& row = m_rows[std::size_t(i.row())];
        if (row.m_record)
            s.selected.push_back(row.m_record->m_serial);
        else
            s.selectedGroups.push_back(m_groups[std::size_t(row.m_group)].caption);
    }
    std::sort(s.selected.begin(), s.selected.end());
    std::sort(s.selectedGroups.begin(), s.selectedGroups.end());
    const QModelIndex current = currentIndex();
    if (current.isValid() && current.row() < int(m_rows.size())) {
        const ReportRow& row = m_rows[std::size_t(current.row())];
        if (row.m_record)
            s.focused = row.m_record->m_serial;
        else
            s.focusedGroup = m_groups[std::size_t(row.m_group)].caption;
        s.focusedColumn = current.column();
    }
    return s;
}

void ReportControl::restore(const Snapshot& s)
{
    if (m_rows.empty() ||
        (s.selected.empty() && s.selectedGroups.empty() && s.focused == 0 && s.focusedGroup.isEmpty()))
        return;
    std::vector<int> rows;
    int focusRow = -1;
    if (!s.selected.empty() || s.focused != 0) {
        const std::unordered_set<std::uint64_t> wanted(s.selected.begin(), s.selected.end());
        for (const auto& r : m_records) {
            if (wanted.count(r->m_serial) && r->m_row >= 0)
                rows.push_back(r->m_row);
            if (r->m_serial == s.focused) {
                if (r->m_row >= 0)
                    focusRow = r->m_row;
                else if (r->m_group >= 0) // hidden in a collapsed group: its heading takes the cursor
                    focusRow = m_groups[std::size_t(r->m_group)].headingRow;
            }
        }
    }
    for (const Group& g : m_groups) {
        if (std::binary_search(s.selectedGroups.begin(), s.selectedGroups.end(), g.caption))
            rows.push_back(g.headingRow);
        if (!s.focusedGroup.isEmpty() && g.caption == s.focusedGroup)
            focusRow = g.headingRow;
    }
    std::sort(rows.begin(), rows.end());
    QItemSelection selection;
    const int lastColumn = int(m_columns.size()) - 1;
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1)
            ++j;
        selection.select(indexOf(rows[i], 0), indexOf(rows[j], lastColumn));
        i = j + 1;
    }
    if (!selection.isEmpty())
        selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (focusRow >= 0) {
        const int column = s.focusedColumn >= 0 && s.focusedColumn <= lastColumn ? s.focusedColumn : 0;
        selectionModel()->setCurrentIndex(indexOf(focusRow, column), QItemSelectionModel::NoUpdate);
    }
}

void ReportControl::syncSelection()
{
    Snapshot now = snapshot();
    const bool moved = !now.sameSelection(m_lastSnapshot);
    m_lastSnapshot = std::move(now);
    if (moved)
        emit SelectionChanged();
}

void ReportControl::layout(bool resort)
{
    const Snapshot before = snapshot();
    const int scroll = verticalScrollBar()->value();
    ++m_layoutDepth;
    m_model->beginReset();
    if (resort) {
        buildOrder();
    } else {
        // Records removed since the last layout are already gone from the order.
    }
    buildRows();
    m_model->endReset();
    applyGroupSpans();
    restore(before);
    if (scroll > 0) {
        doItemsLayout();
        verticalScrollBar()->setValue(scroll);
    }
    // On screen, the rows are laid out and the scroll bars shown or hidden at once: left to the
    // event loop, a list that outgrows the grid is drawn without its scroll bar and then again,
    // narrower, with it.
    if (isVisible()) {
        executeDelayedItemsLayout();
        setVerticalScrollBarPolicy(verticalScrollBarPolicy());
        setHorizontalScrollBarPolicy(horizontalScrollBarPolicy());
    }
    --m_layoutDepth;
    syncSelection();
}

void ReportControl::Populate()
{
    layout(true);
}

void ReportControl::renumberRows()
{
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        ReportRow& row = m_rows[i];
        row.m_index = int(i);
        if (row.m_record)
            row.m_record->m_row = int(i);
        else
            m_groups[std::size_t(row.m_group)].headingRow = int(i);
    }
}

void ReportControl::RemoveRecord(ReportRecord* record)
{
    if (!record || record->m_control != this || record->m_index < 0 || record->m_index >= int(m_records.size()) ||
        m_records[std::size_t(record->m_index)].get() != record)
        return;
    ++m_layoutDepth;
    const int row = record->m_row;
    const int g = record->m_group;
    int first = row;
    int last = row;
    bool dropGroup = false;
    if (g >= 0) {
        Group& group = m_groups[std::size_t(g)];
        if (--group.count == 0) {
            dropGroup = true;
            first = group.headingRow;
            last = row >= 0 ? row : group.headingRow;
        } else {
            m_model->cellChanged(group.headingRow, 0); // its count
        }
    }
    if (first >= 0) {
        m_model->beginRemove(first, last);
        m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
        if (dropGroup) {
            m_groups.erase(m_groups.begin() + g);
            for (ReportRow& r : m_rows)
                if (r.m_group > g)
                    --r.m_group;
            for (ReportRecord* r : m_order)
                if (r->m_group > g)
                    --r->m_group;
        }
        renumberRows();
        m_model->endRemove();
    }
    auto inOrder = std::find(m_order.begin(), m_order.end(), record);
    if (inOrder != m_order.end())
        m_order.erase(inOrder);
    const int position = record->m_index;
    record->m_index = -1;
    record->m_row = -1;
    m_records.erase(m_records.begin() + position);
    ++m_valuesSerial;
    for (std::size_t i = std::size_t(position); i < m_records.size(); ++i)
        m_records[i]->m_index = int(i);
    --m_layoutDepth;
    syncSelection();
}

void ReportControl::setGroupExpanded(int group, bool expanded)
{
    if (group < 0 || group >= int(m_groups.size()) || m_groups[std::size_t(group)].expanded == expanded)
        return;
    const QString caption = m_groups[std::size_t(group)].caption;
    if (expanded)
        m_collapsed.erase(std::remove(m_collapsed.begin(), m_collapsed.end(), caption), m_collapsed.end());
    else
        m_collapsed.push_back(caption);
    layout(false);
}

// ---- selection and focus ----------------------------------------------------------------------

ReportSelectedRows ReportControl::SelectedRows() const
{
    ReportSelectedRows out;
    if (m_rows.empty())
        return out;
    const QModelIndexList selected = selectionModel()->selectedRows();
    std::vector<int> rows;
    rows.reserve(std::size_t(selected.size()));
    for (const QModelIndex& i : selected)
        if (i.row() >= 0 && i.row() < int(m_rows.size()))
            rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    for (int r : rows)
        out.m_rows.push_back(const_cast<ReportRow*>(&m_rows[std::size_t(r)]));
    return out;
}

ReportRow* ReportControl::FocusedRow() const
{
    const QModelIndex current = currentIndex();
    if (!current.isValid() || current.row() >= int(m_rows.size()))
        return nullptr;
    return const_cast<ReportRow*>(&m_rows[std::size_t(current.row())]);
}

ReportColumn* ReportControl::FocusedColumn() const
{
    const QModelIndex current = currentIndex();
    if (!current.isValid() || current.column() >= int(m_columns.size()))
        return nullptr;
    return m_columns[std::size_t(current.column())].get();
}

void ReportControl::SetFocusedRow(ReportRow* row)
{
    if (!row || row->m_control != this || row->m_index < 0 || row->m_index >= int(m_rows.size()) ||
        &m_rows[std::size_t(row->m_index)] != row)
        return;
    int column = currentIndex().isValid() ? currentIndex().column() : -1;
    if (column < 0 || isColumnHidden(column)) {
        column = 0;
        for (int visual = 0; visual < header()->count(); ++visual) {
            const int logical = header()->logicalIndex(visual);
            if (!isColumnHidden(logical)) {
                column = logical;
                break;
            }
        }
    }
    const QModelIndex index = indexOf(row->m_index, column);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
}

QRect ReportControl::CellRect(const ReportRow* row, const ReportColumn* column) const
{
    if (!row || !column || row->m_control != this)
        return {};
    return visualRect(indexOf(row->m_index, column->m_position));
}

bool ReportControl::raiseFocusChanging(const QModelIndex& target)
{
    if (!target.isValid())
        return true;
    bool cancel = false;
    ReportRow* row = &m_rows[std::size_t(target.row())];
    emit FocusChanging(row, m_columns[std::size_t(target.column())].get(), itemAt(target.row(), target.column()),
                       cancel);
    return !cancel;
}

// ---- copy and export --------------------------------------------------------------------------

void ReportControl::AddContextAction(QAction* action)
{
    insertAction(m_screenActionsEnd, action);
    m_screenActionsEnd->setVisible(true);
}

void ReportControl::collectRecords(int group, std::vector<const ReportRecord*>& out) const
{
    if (!m_groupColumn) {
        out.insert(out.end(), m_order.begin(), m_order.end());
        return;
    }
    // Groups in the order shown, each with its records in the sorted order (a collapsed group
    // has them too, though it shows no rows).
    std::vector<std::vector<const ReportRecord*>> byGroup(m_groups.size());
    for (const ReportRecord* r : m_order)
        if (r->m_group >= 0 && r->m_group < int(byGroup.size()) && (group < 0 || r->m_group == group))
            byGroup[std::size_t(r->m_group)].push_back(r);
    for (const auto& members : byGroup)
        out.insert(out.end(), members.begin(), members.end());
}

gridexport::Table ReportControl::ExportTable(bool selectedOnly) const
{
    gridexport::Table table;
    std::vector<const ReportColumn*> columns;
    for (int visual = 0; visual < header()->count(); ++visual) {
        const int logical = header()->logicalIndex(visual);
        if (logical >= 0 && logical < int(m_columns.size()) && !isColumnHidden(logical)) {
            columns.push_back(m_columns[std::size_t(logical)].get());
            table.headers << m_columns[std::size_t(logical)]->Caption();
        }
    }
    std::vector<const ReportRecord*> records;
    if (selectedOnly) {
        const ReportSelectedRows selected = SelectedRows();
        for (int i = 0; i < selected.Count(); ++i) {
            const ReportRow* row = selected.Row(i);
            if (row->m_record)
                records.push_back(row->m_record);
            else
                collectRecords(row->m_group, records);
        }
        // A heading and some of its rows selected together: each record once.
        std::unordered_set<const ReportRecord*> seen;
        std::erase_if(records, [&seen](const ReportRecord* r) { return !seen.insert(r).second; });
    } else {
        collectRecords(-1, records);
    }
    for (const ReportRecord* record : records) {
        std::vector<gridexport::Cell> cells;
        cells.reserve(columns.size());
        for (const ReportColumn* column : columns) {
            const ReportRecordItem* item = record->Item(column->ItemIndex());
            cells.push_back(item ? gridexport::Cell{item->Caption(), item->Value()} : gridexport::Cell{});
        }
        table.rows.push_back(std::move(cells));
    }
    return table;
}

// ---- sorting and grouping ---------------------------------------------------------------------

void ReportControl::SortBy(ReportColumn* column, Qt::SortOrder order)
{
    if (column && column->m_control != this)
        return;
    m_sortColumn = column;
    m_sortOrder = order;
    header()->setSortIndicatorShown(column != nullptr);
    if (column)
        header()->setSortIndicator(column->m_position, order);
    layout(true);
}

void ReportControl::GroupBy(ReportColumn* column)
{
    if (column && column->m_control != this)
        return;
    if (column == m_groupColumn)
        return;
    m_groupColumn = column;
    m_collapsed.clear();
    layout(true);
}

void ReportControl::headerClicked(int section)
{
    if (section < 0 || section >= int(m_columns.size()))
        return;
    ReportColumn* column = m_columns[std::size_t(section)].get();
    if (!column->m_sortable) {
        // The header flips its indicator by itself: put back what the grid shows.
        header()->setSortIndicatorShown(m_sortColumn != nullptr);
        if (m_sortColumn)
            header()->setSortIndicator(m_sortColumn->m_position, m_sortOrder);
        return;
    }
    Qt::SortOrder order = Qt::AscendingOrder;
    if (column == m_sortColumn)
        order = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    SortBy(column, order);
}

QMenu* ReportControl::CreateHeaderMenu(int position)
{
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("reportHeaderMenu"));
    ReportColumn* column =
        (position >= 0 && position < int(m_columns.size())) ? m_columns[std::size_t(position)].get() : nullptr;
    QAction* ascending = menu->addAction(tr("Sort Ascending"));
    ascending->setObjectName(QStringLiteral("actionSortAscending"));
    ascending->setEnabled(column && column->m_sortable);
    connect(ascending, &QAction::triggered, this, [this, column] { SortBy(column, Qt::AscendingOrder); });
    QAction* descending = menu->addAction(tr("Sort Descending"));
    descending->setObjectName(QStringLiteral("actionSortDescending"));
    descending->setEnabled(column && column->m_sortable);
    connect(descending, &QAction::triggered, this, [this, column] { SortBy(column, Qt::DescendingOrder); });
    menu->addSeparator();
    QAction* group = menu->addAction(tr("Group by this column"));
    group->setObjectName(QStringLiteral("actionGroupBy"));
    group->setEnabled(column && column->m_groupable && column != m_groupColumn);
    connect(group, &QAction::triggered, this, [this, column] { GroupBy(column); });
    QAction* ungroup = menu->addAction(tr("Ungroup"));
    ungroup->setObjectName(QStringLiteral("actionUngroup"));
    ungroup->setEnabled(m_groupColumn != nullptr);
    connect(ungroup, &QAction::triggered, this, [this] { Ungroup(); });
    return menu;
}

void ReportControl::headerMenuRequested(const QPoint& pos)
{
    QMenu* menu = CreateHeaderMenu(header()->logicalIndexAt(pos));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(header()->mapToGlobal(pos));
}

void ReportControl::fillColumnMenu(QMenu& menu, bool grouping)
{
    menu.clear();
    for (int v = 0; v < header()->count(); ++v) {
        const int logical = header()->logicalIndex(v);
        ReportColumn* column = logical < int(m_columns.size()) ? m_columns[std::size_t(logical)].get() : nullptr;
        if (!column || isColumnHidden(logical) || column->Caption().isEmpty() ||
            !(grouping ? column->m_groupable : column->m_sortable))
            continue;
        QAction* a = menu.addAction(column->Caption());
        a->setCheckable(true);
        a->setChecked(column == (grouping ? m_groupColumn : m_sortColumn));
        // Sorting by the sorted column again turns the order round, as a header click does.
        if (grouping)
            connect(a, &QAction::triggered, this, [this, column] { GroupBy(column); });
        else
            connect(a, &QAction::triggered, this, [this, column] {
                const bool again = column == m_sortColumn && m_sortOrder == Qt::AscendingOrder;
                SortBy(column, again ? Qt::DescendingOrder : Qt::AscendingOrder);
            });
    }
    if (grouping) {
        menu.addSeparator();
        QAction* ungroup = menu.addAction(tr("Ungroup"));
        ungroup->setEnabled(m_groupColumn != nullptr);
        connect(ungroup, &QAction::triggered, this, [this] { Ungroup(); });
    }
}

// ---- keyboard, mouse, editing -----------------------------------------------------------------

QModelIndex ReportControl::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex current = currentIndex();
    QModelIndex target;
    const int visualCount = header()->count();
    auto nextVisibleColumn = [&](int logical, int step) {
        for (int v = header()->visualIndex(logical) + step; v >= 0 && v < visualCount; v += step) {
            const int l = header()->logicalIndex(v);
            if (!isColumnHidden(l))
                return l;
        }
        return -1;
    };
    switch (cursorAction) {
    case MoveLeft:
    case MoveRight: {
        const int step = cursorAction == MoveRight ? 1 : -1;
        if (!current.isValid())
            return QTreeView::moveCursor(cursorAction, modifiers);
        if (!m_allowEdit || m_rows[std::size_t(current.row())].GroupRow()) {
            // Whole-row grids: the arrows scroll sideways.
            QScrollBar* bar = horizontalScrollBar();
            bar->setValue(bar->value() + step * bar->singleStep() * 4);
            return current;
        }
        const int column = nextVisibleColumn(current.column(), step);
        target = column >= 0 ? indexOf(current.row(), column) : current;
        break;
    }
    case MoveNext:
    case MovePrevious: {
        if (!current.isValid())
            return QTreeView::moveCursor(cursorAction, modifiers);
        const int step = cursorAction == MoveNext ? 1 : -1;
        // The next cell that takes an edit (in a grid without edits, the next cell of a record
        // row), left to right and then row after row.
        std::vector<int> candidates;
        for (int v = 0; v < visualCount; ++v) {
            const int l = header()->logicalIndex(v);
            if (!isColumnHidden(l) && (!m_allowEdit || m_columns[std::size_t(l)]->m_editable))
                candidates.push_back(l);
        }
        target = current;
        if (candidates.empty())
            break;
        const int n = int(candidates.size());
        auto at = std::find(candidates.begin(), candidates.end(), current.column());
        int p = at != candidates.end() ? int(at - candidates.begin()) : (step > 0 ? -1 : n);
        int row = current.row();
        for (;;) {
            p += step;
            if (p < 0 || p >= n) {
                row += step;
                if (row < 0 || row >= int(m_rows.size()))
                    break;
                p = step > 0 ? 0 : n - 1;
            }
            const int c = candidates[std::size_t(p)];
            if (m_allowEdit ? isEditable(row, c) : !m_rows[std::size_t(row)].GroupRow()) {
                target = indexOf(row, c);
                break;
            }
        }
        break;
    }
    default:
        target = QTreeView::moveCursor(cursorAction, modifiers);
        if (target.isValid() && current.isValid() && target.column() != current.column())
            target = indexOf(target.row(), current.column());
        break;
    }
    if (target.isValid() && target != current && !raiseFocusChanging(target))
        return current;
    return target;
}

void ReportControl::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex current = currentIndex();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_F10 && mods == Qt::ShiftModifier && state() != EditingState) {
        // The context menu from the keyboard, under the focused row (as the Menu key opens it).
        const QRect cell = current.isValid() ? visualRect(current) : QRect();
        const QPoint at = viewport()->mapTo(this, cell.isValid() ? cell.bottomLeft() : QPoint());
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, mapToGlobal(at), event->modifiers());
        QCoreApplication::sendEvent(this, &menu);
        event->accept();
        return;
    }
    if (current.isValid() && state() != EditingState && mods == Qt::NoModifier && current.row() < int(m_rows.size()) &&
        m_rows[std::size_t(current.row())].GroupRow()) {
        const int g = m_rows[std::size_t(current.row())].m_group;
        switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Minus:
            setGroupExpanded(g, false);
            event->accept();
            return;
        case Qt::Key_Right:
        case Qt::Key_Plus:
            setGroupExpanded(g, true);
            event->accept();
            return;
        default:
            break;
        }
    }
    QTreeView::keyPressEvent(event);
}

void ReportControl::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && event->button() == Qt::LeftButton) {
        const ReportRow& row = m_rows[std::size_t(index.row())];
        const QRect cell = visualRect(indexOf(index.row(), 0));
        if (row.GroupRow() && event->position().x() < cell.left() + ArrowZone && event->modifiers() == Qt::NoModifier) {
            setGroupExpanded(row.m_group, !m_groups[std::size_t(row.m_group)].expanded);
            event->accept();
            return;
        }
    }
    if (index.isValid() && index != currentIndex() && !raiseFocusChanging(index)) {
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void ReportControl::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && m_rows[std::size_t(index.row())].GroupRow()) {
        const int g = m_rows[std::size_t(index.row())].m_group;
        setGroupExpanded(g, !m_groups[std::size_t(g)].expanded);
        event->accept();
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
}

bool ReportControl::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    // Typing on a row whose focused cell takes no edits goes to the row's first editable cell,
    // so a grid with one editable column can be filled in without aiming at the column.
    if (index.isValid() && m_allowEdit && (trigger == AnyKeyPressed || trigger == EditKeyPressed) &&
        !isEditable(index.row(), index.column())) {
        const int column = firstEditableColumn(index.row());
        if (column < 0)
            return QTreeView::edit(index, trigger, event);
        const QModelIndex target = indexOf(index.row(), column);
        if (!raiseFocusChanging(target))
            return true; // swallowed: the handler kept the cursor where it was
        selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
        return QTreeView::edit(target, trigger, event);
    }
    return QTreeView::edit(index, trigger, event);
}

bool ReportControl::commitEdit(int row, int column, const QString& text)
{
    ReportRecordItem* item = itemAt(row, column);
    if (!item || !isEditable(row, column))
        return false;
    ReportRecord* record = item->m_record;
    ReportValueChange change;
    change.Row = &m_rows[std::size_t(row)];
    change.Column = m_columns[std::size_t(column)].get();
    change.Item = item;
    change.NewValue = text;
    emit ValueChanging(change);
    if (change.Cancel) {
        itemChanged(item); // the cell shows its old value again
        return false;
    }
    item->m_value = change.NewValue;
    ++m_valuesSerial;
    item->m_caption.clear();
    item->m_hasCaption = false;
    itemChanged(item);
    m_pendingChanged.push_back({record->m_serial, item->m_index, column});
    // Inside an editor's commit the notification waits until the editor is closed, so a
    // handler may lay the grid out again without pulling the editor from under the view.
    if (!m_inCommit)
        flushValueChanged();
    return true;
}

void ReportControl::flushValueChanged()
{
    std::vector<PendingChange> pending;
    pending.swap(m_pendingChanged);
    for (const PendingChange& p : pending) {
        ReportRecord* record = nullptr;
        for (const auto& r : m_records) {
            if (r->m_serial == p.record) {
                record = r.get();
                break;
            }
        }
        if (!record || p.column >= int(m_columns.size()))
            continue; // removed by an earlier handler
        emit ValueChanged(record->Row(), m_columns[std::size_t(p.column)].get(), record->Item(p.item));
    }
}

void ReportControl::commitData(QWidget* editor)
{
    m_inCommit = true;
    QTreeView::commitData(editor);
    m_inCommit = false;
    if (!m_pendingChanged.empty()) {
        // Normally closeEditor follows at once and delivers; this is the fallback.
        QTimer::singleShot(0, this, [this] { flushValueChanged(); });
    }
}

void ReportControl::FinishEdit()
{
    if (state() != EditingState)
        return;
    if (QWidget* editor = indexWidget(currentIndex())) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void ReportControl::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    const bool moveOn = hint == QAbstractItemDelegate::EditNextItem || hint == QAbstractItemDelegate::EditPreviousItem;
    QTreeView::closeEditor(editor, moveOn ? QAbstractItemDelegate::NoHint : hint);
    flushValueChanged();
    if (!moveOn)
        return;
    const QModelIndex current = currentIndex();
    const QModelIndex next =
        moveCursor(hint == QAbstractItemDelegate::EditNextItem ? MoveNext : MovePrevious, Qt::NoModifier);
    if (!next.isValid() || next == current)
        return;
    selectionModel()->setCurrentIndex(next, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (isEditable(next.row(), next.column()))
        QTreeView::edit(next, AllEditTriggers, nullptr);
}

} // namespace tesr
