#pragma once

// The report grid every list of the module is shown in.
//
// The screens own the data side: columns (added once), records in the order the screen added
// them, and one item per column in each record. The grid owns the view side: the rows, laid out
// from the records by Populate() after sorting and grouping (both chosen by the user from the
// column headers). The record order never changes with sorting, so code that walks Records()
// sees the order in which the screen loaded them.
//
// Rows live in one array rebuilt by every layout. A ReportRow pointer is therefore valid only
// until the next layout: Populate, Records().RemoveAll, RemoveRecord, a sort, a grouping change
// or a group being expanded or collapsed. Record and item pointers stay valid until their record
// is removed.
//
// Editing: typing on a cell (or F2, or a double click) opens an editor on an editable cell of an
// editable grid; Enter, Tab and leaving the cell commit, Escape cancels. A commit raises
// ValueChanging (the handler may replace NewValue or cancel) and then ValueChanged, once each. An
// editor closed with its text unchanged is no commit and raises nothing.

#include "values/Currency.h"

#include <QFont>
#include <QString>
#include <QTreeView>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QMenu;

namespace tesr {

class OleDate;

namespace gridexport {
class GridActions;
struct Table;
} // namespace gridexport

class ReportControl;
class ReportRecord;
class ReportModel;
class ReportDelegate;

// Orders two item values the way the grid sorts a column: empty values first, then numbers
// (integers, doubles and money compared by amount), then dates, then texts (case-insensitive,
// runs of digits by their number, so "A9" comes before "A10"). Negative, 0 or positive.
int compareReportValues(const QVariant& a, const QVariant& b);

class ReportRecordItem {
public:
    ReportRecordItem() = default;
    ReportRecordItem(const ReportRecordItem&) = delete;
    ReportRecordItem& operator=(const ReportRecordItem&) = delete;

    // What the grid sorts by: any value; money as tesr::Currency, dates as tesr::OleDate.
    const QVariant& Value() const { return m_value; }
    void SetValue(const QVariant& value);
    // The text shown: the caption when one was set (an empty one included), otherwise the
    // value's default text.
    QString Caption() const;
    void SetCaption(const QString& caption);
    bool HasCaption() const { return m_hasCaption; }
    // Shows the value's default text again.
    void ResetCaption();
    // Shows the value (money) in the user's currency format, worked out whenever the caption is
    // read: a list of thousands of amounts pays only for the rows drawn. SetCaption overrides it.
    void SetCurrencyCaption();
    // A money figure that may be out of range: the amount with its currency caption, or no
    // value and a caption that says the figure is out of range.
    void SetMoney(const std::optional<Currency>& amount);
    // A date (present) shown as a short date, its tool tip the date with its time of day and,
    // grouped, the short date as its heading (priority: the date's day count): all worked out
    // when read, as money is. Texts set with SetCaption, SetToolTip or SetGroupCaption win.
    void SetShortDate(const OleDate& date);
    QString ToolTip() const;
    void SetToolTip(const QString& text);
    // When the grid is grouped by this item's column: the heading of the item's group (empty:
    // the caption) and the rank of that group (smaller first).
    QString GroupCaption() const;
    void SetGroupCaption(const QString& text);
    int GroupPriority() const { return m_groupPriority; }
    void SetGroupPriority(int priority);
    // A cell edits only when the grid, its column and the item all allow it.
    bool Editable() const { return m_editable; }
    void SetEditable(bool editable);

    int Index() const { return m_index; }
    ReportRecord* Record() const { return m_record; }

private:
    friend class ReportRecord;
    friend class ReportControl;
    struct Extras {
        QString toolTip;
        QString groupCaption;
    };
    Extras& extras();
    void changed();
    void valueSet();

    QVariant m_value;
    QString m_caption;
    std::unique_ptr<Extras> m_extras; // most items have neither tool tip nor group caption
    ReportRecord* m_record = nullptr;
    int m_groupPriority = 0;
    int m_index = 0;
    bool m_hasCaption = false;
    bool m_currencyCaption = false;
    bool m_shortDate = false;
    bool m_editable = true;
};

class ReportRecord {
public:
    ReportRecord(const ReportRecord&) = delete;
    ReportRecord& operator=(const ReportRecord&) = delete;
    ~ReportRecord();

    // The screens keep the database ID of the row the record shows here.
    const QString& Tag() const { return m_tag; }
    void SetTag(const QString& tag) { m_tag = tag; }

    // Items are added in column order: item i is shown by the column added with index i.
    ReportRecordItem* AddItem(const QVariant& value);
    int ItemCount() const { return m_count; }
    ReportRecordItem* Item(int index) const; // nullptr when out of range

    // Position in the record list; -1 once removed.
    int Index() const { return m_index; }
    ReportControl* Control() const { return m_control; }
    // The row that shows the record, or nullptr (not laid out yet, or in a collapsed group).
    class ReportRow* Row() const;

private:
    friend class ReportControl;
    friend class ReportRecords;
    friend class ReportRecordItem;
    ReportRecord(ReportControl* control, int index, int blockSize);

    ReportControl* m_control;
    QString m_tag;
    // Items sit in blocks of the grid's column count, so adding an item never moves the others.
    std::unique_ptr<ReportRecordItem[]> m_block;
    std::unique_ptr<std::vector<std::unique_ptr<ReportRecordItem[]>>> m_more;
    std::uint64_t m_serial;
    int m_index;
    int m_row = -1;
    int m_group = -1;
    int m_count = 0;
    int m_blockSize;
};

class ReportColumn {
public:
    // The record item the column shows.
    int ItemIndex() const { return m_itemIndex; }
    // Position among the columns, in the order they were added.
    int Index() const { return m_position; }
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& caption);
    // Pixels at 96 dpi; reads the width the user left the column at.
    int Width() const;
    void SetWidth(int width);
    bool Resizable() const { return m_resizable; }
    void SetResizable(bool resizable);
    bool Editable() const { return m_editable; }
    void SetEditable(bool editable);
    bool Visible() const { return m_visible; }
    void SetVisible(bool visible);
    // Horizontal alignment of the cells and of the header text.
    Qt::Alignment Alignment() const { return m_alignment; }
    void SetAlignment(Qt::Alignment alignment);
    Qt::Alignment HeaderAlignment() const { return m_headerAlignment; }
    void SetHeaderAlignment(Qt::Alignment alignment);
    // Whether the user may sort or group by this column (both on by default).
    bool Sortable() const { return m_sortable; }
    void SetSortable(bool sortable) { m_sortable = sortable; }
    bool Groupable() const { return m_groupable; }
    void SetGroupable(bool groupable) { m_groupable = groupable; }

private:
    friend class ReportControl;
    friend class ReportColumns;
    ReportColumn(ReportControl* control, int position, int itemIndex, const QString& caption, int width,
                 bool resizable);

    ReportControl* m_control;
    int m_position;
    int m_itemIndex;
    QString m_caption;
    int m_width;
    bool m_resizable;
    bool m_editable = false;
    bool m_visible = true;
    bool m_sortable = true;
    bool m_groupable = true;
    Qt::Alignment m_alignment = Qt::AlignLeft;
    Qt::Alignment m_headerAlignment = Qt::AlignLeft;
};

class ReportRow {
public:
    // The record the row shows; nullptr for a group heading.
    ReportRecord* Record() const { return m_record; }
    bool GroupRow() const { return m_record == nullptr; }
    // Position in the row list.
    int Index() const { return m_index; }
    bool Selected() const;
    // Group headings: the heading text, the number of records in the group, and whether the
    // group shows its records.
    QString GroupCaption() const;
    int ChildCount() const;
    bool Expanded() const;
    void SetExpanded(bool expanded);
    // The heading of the group a record row is in (nullptr when the grid is not grouped).
    ReportRow* ParentRow() const;

private:
    friend class ReportControl;
    friend class ReportModel;
    ReportControl* m_control = nullptr;
    ReportRecord* m_record = nullptr;
    int m_index = 0;
    int m_group = -1;
};

class ReportColumns {
public:
    // A column showing item itemIndex of every record, width in pixels at 96 dpi.
    ReportColumn* Add(int itemIndex, const QString& caption, int width, bool resizable);
    int Count() const;
    ReportColumn* Column(int position) const; // nullptr when out of range
    ReportColumn* Find(int itemIndex) const;  // the first column showing that item

private:
    friend class ReportControl;
    explicit ReportColumns(ReportControl* control) : m_control(control) {}
    ReportControl* m_control;
};

class ReportRecords {
public:
    ReportRecord* Add();
    int Count() const;
    ReportRecord* Record(int index) const; // nullptr when out of range
    // Removes every record and every row at once.
    void RemoveAll();

private:
    friend class ReportControl;
    explicit ReportRecords(ReportControl* control) : m_control(control) {}
    ReportControl* m_control;
};

class ReportRows {
public:
    int Count() const;
    ReportRow* Row(int index) const; // nullptr when out of range
    ReportRow* FindRow(const ReportRecord* record) const;

private:
    friend class ReportControl;
    explicit ReportRows(ReportControl* control) : m_control(control) {}
    ReportControl* m_control;
};

// The selected rows, top to bottom, as they were when SelectedRows() was called.
class ReportSelectedRows {
public:
    int Count() const { return int(m_rows.size()); }
    ReportRow* Row(int index) const { return index >= 0 && index < Count() ? m_rows[std::size_t(index)] : nullptr; }

private:
    friend class ReportControl;
    std::vector<ReportRow*> m_rows;
};

// The grid's drawing settings: the fonts of the column headers and of the cells.
class ReportPaintManager {
public:
    QFont CaptionFont() const;
    void SetCaptionFont(const QFont& font);
    QFont TextFont() const;
    void SetTextFont(const QFont& font);

private:
    friend class ReportControl;
    explicit ReportPaintManager(ReportControl* control) : m_control(control) {}
    ReportControl* m_control;
};

// What a ValueChanging handler sees of a commit: it may replace NewValue or set Cancel.
struct ReportValueChange {
    ReportRow* Row = nullptr;
    ReportColumn* Column = nullptr;
    ReportRecordItem* Item = nullptr;
    QVariant NewValue;
    bool Cancel = false;
};

class ReportControl : public QTreeView {
    Q_OBJECT
public:
    explicit ReportControl(QWidget* parent = nullptr);
    ~ReportControl() override;

    ReportColumns& Columns() { return m_columnsApi; }
    ReportRecords& Records() { return m_recordsApi; }
    ReportRows& Rows() { return m_rowsApi; }
    ReportSelectedRows SelectedRows() const;
    ReportPaintManager& PaintManager() { return m_paintApi; }

    // Lays the rows out again from the records, with the user's sorting and grouping. The
    // selected and the focused records stay selected and focused when they are still there.
    void Populate();
    // Repaints the cells after items were changed in place (no new layout).
    void RedrawControl();
    // Changes whenever a record is added or removed or an item's value is set, by code or by
    // an edit: figures a screen worked out from the values still hold while it stays the same.
    std::uint64_t ValuesSerial() const { return m_valuesSerial; }

    // The row with the keyboard cursor, or nullptr.
    ReportRow* FocusedRow() const;
    ReportColumn* FocusedColumn() const;
    // Moves the cursor to the row, selects it alone and scrolls it into view.
    void SetFocusedRow(ReportRow* row);
    // Removes one record and its row (its group heading too when the group is left empty).
    void RemoveRecord(ReportRecord* record);

    // Setup flags. Screens pass 4 right after the standard look: the grid then shades every
    // other row. Other bits are kept and have no effect.
    static constexpr int AlternateRowShading = 4;
    void SetCustomDraw(int flags);
    int CustomDraw() const { return m_customDraw; }

    // Whether cells of editable columns may be edited at all.
    bool AllowEdit() const { return m_allowEdit; }
    void SetAllowEdit(bool allow);
    // Commits a cell being edited, as Enter would (ValueChanging, then ValueChanged); nothing
    // when no cell is being edited.
    void FinishEdit();

    // The user's sorting and grouping (also reachable from the column headers). A null column
    // sorts by record order / removes the grouping. Both take effect at once.
    void SortBy(ReportColumn* column, Qt::SortOrder order = Qt::AscendingOrder);
    ReportColumn* SortColumn() const { return m_sortColumn; }
    Qt::SortOrder SortOrder() const { return m_sortOrder; }
    void GroupBy(ReportColumn* column);
    void Ungroup() { GroupBy(nullptr); }
    ReportColumn* GroupColumn() const { return m_groupColumn; }

    // The header's context menu for a column ("Group by this column", "Ungroup"); the caller
    // owns it.
    QMenu* CreateHeaderMenu(int position);

    // Where a cell is drawn, in viewport coordinates (empty when not shown).
    QRect CellRect(const ReportRow* row, const ReportColumn* column) const;

    // Copy and export. The grid's context menu offers "Copy" (Ctrl+C: the selected rows) and
    // "Export to CSV..." (Ctrl+E: every row); both take what the grid shows: its visible columns
    // in their order, the rows in their order, the cells' captions, never group headings (a
    // selected heading stands for its rows, a collapsed group's rows are exported too).
    gridexport::Table ExportTable(bool selectedOnly) const;
    gridexport::GridActions& ExportActions() const { return *m_export; }
    // A screen's own action on the grid's rows, offered in the context menu above Copy.
    void AddContextAction(QAction* action);

    using QTreeView::edit;

signals:
    void SelectionChanged();
    void ValueChanging(tesr::ReportValueChange& change);
    void ValueChanged(tesr::ReportRow* row, tesr::ReportColumn* column, tesr::ReportRecordItem* item);
    // The user moves the cursor to another cell; setting cancel keeps it where it is.
    void FocusChanging(tesr::ReportRow* newRow, tesr::ReportColumn* newColumn, tesr::ReportRecordItem* newItem,
                       bool& cancel);

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    friend class ReportModel;
    friend class ReportDelegate;
    friend class ReportRecordItem;
    friend class ReportRecord;
    friend class ReportColumn;
    friend class ReportColumns;
    friend class ReportRecords;
    friend class ReportRows;
    friend class ReportRow;
    friend class ReportPaintManager;

    struct Group {
        QString caption;
        int priority = 0;
        int headingRow = -1;
        int count = 0;
        bool expanded = true;
    };
    // Who is selected and focused, by record (or group heading), across layouts.
    struct Snapshot {
        std::vector<std::uint64_t> selected; // record serials, sorted
        std::vector<QString> selectedGroups; // headings, sorted
        std::uint64_t focused = 0;
        QString focusedGroup;
        int focusedColumn = -1;
        bool sameSelection(const Snapshot& o) const
        {
            return selected == o.selected && selectedGroups == o.selectedGroups;
        }
    };

    // Layout.
    void layout(bool resort);
    void buildOrder();
    void buildRows();
    Snapshot snapshot() const;
    void restore(const Snapshot& s);
    // Tells the listeners when the selection differs from what they were last told.
    void syncSelection();
    void renumberRows();
    void applyGroupSpans();

    // Columns.
    void columnAdded(ReportColumn* column);
    // A column's settings changed: its header section (sized again when `resize`) and, unless
    // only the width changed, its cells.
    void columnChanged(ReportColumn* column, bool resize = false, bool cells = true);
    int toPixels(int width96) const;
    int fromPixels(int pixels) const;

    // Items and edits.
    void itemChanged(ReportRecordItem* item);
    bool commitEdit(int row, int column, const QString& text);
    void flushValueChanged();
    bool isEditable(int row, int column) const;
    int firstEditableColumn(int row) const;
    QModelIndex indexOf(int row, int column) const;
    ReportRecordItem* itemAt(int row, int column) const;
    bool raiseFocusChanging(const QModelIndex& target);
    void setGroupExpanded(int group, bool expanded);
    void headerClicked(int section);
    void headerMenuRequested(const QPoint& pos);
    // The context menu's "Sort By" or "Group By" list: the columns the headers offer.
    void fillColumnMenu(QMenu& menu, bool grouping);

    std::uint64_t nextSerial() { return ++m_serialCounter; }
    // The records of a group heading, or of the whole grid (group == -1), in the shown order.
    void collectRecords(int group, std::vector<const ReportRecord*>& out) const;

    ReportModel* m_model;
    ReportDelegate* m_delegate;
    ReportColumns m_columnsApi{this};
    ReportRecords m_recordsApi{this};
    ReportRows m_rowsApi{this};
    ReportPaintManager m_paintApi{this};
    gridexport::GridActions* m_export;
    QAction* m_screenActionsEnd; // the separator between a screen's actions and Copy

    std::vector<std::unique_ptr<ReportColumn>> m_columns;
    std::vector<std::unique_ptr<ReportRecord>> m_records;
    std::vector<ReportRecord*> m_order; // records in sorted order
    std::vector<ReportRow> m_rows;
    std::vector<Group> m_groups;
    std::vector<QString> m_collapsed; // headings the user collapsed, kept across layouts

    ReportColumn* m_sortColumn = nullptr;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    ReportColumn* m_groupColumn = nullptr;
    int m_customDraw = 0;
    bool m_allowEdit = false;
    std::uint64_t m_serialCounter = 0;
    std::uint64_t m_valuesSerial = 0;

    Snapshot m_lastSnapshot;
    int m_layoutDepth = 0; // inside a layout: the selection model's signals are ours to sort out
    bool m_inCommit = false;
    struct PendingChange {
        std::uint64_t record = 0;
        int item = -1;
        int column = -1;
    };
    std::vector<PendingChange> m_pendingChanged;
};

} // namespace tesr
