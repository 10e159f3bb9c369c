#pragma once

// A pop-up month calendar for picking one day under a date field. ShowModal opens it at the
// position given with Move (the form's client coordinates) as a grid of months and returns
// whether the user chose: a click on a day, Enter on the highlighted day, "Today" or "None".
// Escape or a click outside the pop-up closes it without a choice, and the selection is then
// what it was before. "None" chooses an empty selection (no blocks).

#include <QDate>
#include <QDialog>
#include <QPointer>

#include <vector>

class QCalendarWidget;
class QGridLayout;
class QPushButton;

namespace tesr {

struct DatePickerBlock {
    QDate DateBegin;
    QDate DateEnd;
};

class DatePickerSelection {
public:
    int BlocksCount() const { return int(m_blocks.size()); }
    // An empty block when out of range.
    DatePickerBlock Blocks(int index) const
    {
        return index >= 0 && index < BlocksCount() ? m_blocks[std::size_t(index)] : DatePickerBlock{};
    }

private:
    friend class DatePicker;
    std::vector<DatePickerBlock> m_blocks;
};

class DatePicker : public QDialog {
    Q_OBJECT
public:
    explicit DatePicker(QWidget* form = nullptr);

    bool ShowNoneButton() const { return m_showNone; }
    void SetShowNoneButton(bool show) { m_showNone = show; }
    bool ShowTodayButton() const { return m_showToday; }
    void SetShowTodayButton(bool show) { m_showToday = show; }

    void Select(const QDate& date) { SelectRange(date, date); }
    void SelectRange(const QDate& first, const QDate& last);
    void ClearSelection() { m_selection.m_blocks.clear(); }
    // The first month shown is the one holding this day.
    void EnsureVisible(const QDate& date);
    const DatePickerSelection& Selection() const { return m_selection; }

    // Top-left corner of the pop-up, in the form's client coordinates.
    void Move(int left, int top);
    QPoint Position() const { return m_position; }

    // Modal; true when the user chose.
    bool ShowModal(int columns = 1, int rows = 1);

    // While shown: the month calendars, left to right and top to bottom.
    QCalendarWidget* Calendar(int index) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void build(int columns, int rows);
    void pageChanged(int year, int month);
    void chooseDay(const QDate& date);

    QPointer<QWidget> m_form;
    DatePickerSelection m_selection;
    QDate m_visible;
    QPoint m_position;
    bool m_showNone = true;
    bool m_showToday = true;
    bool m_chosen = false;
    std::vector<QCalendarWidget*> m_calendars;
    QGridLayout* m_grid = nullptr;
    QPushButton* m_today = nullptr;
    QPushButton* m_none = nullptr;
};

} // namespace tesr
