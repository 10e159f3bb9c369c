#include "platform/controls/DatePicker.h"

#include "platform/controls/Access.h"

#include <QCalendarWidget>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace tesr {

DatePicker::DatePicker(QWidget* form) : QDialog(form), m_form(form)
{
    setObjectName(QStringLiteral("DatePicker1"));
    // A pop-up: it closes by itself when the user clicks outside it.
    setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    m_grid = new QGridLayout();
    m_grid->setSpacing(6);
    layout->addLayout(m_grid);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    m_today = new QPushButton(tr("Today"), this);
    m_today->setObjectName(QStringLiteral("buttonToday"));
    m_today->setAutoDefault(false);
    m_none = new QPushButton(tr("None"), this);
    m_none->setObjectName(QStringLiteral("buttonNone"));
    m_none->setAutoDefault(false);
    // The captions are fixed words: Alt+T and Alt+N reach them without an underlined letter.
    m_today->setShortcut(access::Alt(Qt::Key_T));
    m_today->setAccessibleDescription(tr("Chooses today's date (Alt+T)"));
    m_none->setShortcut(access::Alt(Qt::Key_N));
    m_none->setAccessibleDescription(tr("Chooses no date (Alt+N)"));
    access::PressOnEnter(m_today);
    access::PressOnEnter(m_none);
    buttons->addWidget(m_today);
    buttons->addWidget(m_none);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(m_today, &QPushButton::clicked, this, [this] { chooseDay(QDate::currentDate()); });
    connect(m_none, &QPushButton::clicked, this, [this] {
        m_selection.m_blocks.clear();
        m_chosen = true;
        accept();
    });
}

void DatePicker::SelectRange(const QDate& first, const QDate& last)
{
    m_selection.m_blocks.clear();
    if (!first.isValid())
        return;
    const QDate end = last.isValid() && last >= first ? last : first;
    m_selection.m_blocks.push_back({first, end});
}

void DatePicker::EnsureVisible(const QDate& date)
{
    if (date.isValid())
        m_visible = QDate(date.year(), date.month(), 1);
}

void DatePicker::Move(int left, int top)
{
    m_position = QPoint(left, top);
}

QCalendarWidget* DatePicker::Calendar(int index) const
{
    return index >= 0 && index < int(m_calendars.size()) ? m_calendars[std::size_t(index)] : nullptr;
}

void DatePicker::build(int columns, int rows)
{
    for (QCalendarWidget* c : m_calendars)
        delete c;
    m_calendars.clear();
    const QDate selected = m_selection.BlocksCount() > 0 ? m_selection.Blocks(0).DateBegin : QDate();
    QDate first = m_visible.isValid() ? m_visible : (selected.isValid() ? selected : QDate::currentDate());
    first = QDate(first.year(), first.month(), 1);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const int k = r * columns + c;
            auto* cal = new QCalendarWidget(this);
            cal->setObjectName(QStringLiteral("calendar%1").arg(k));
            cal->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
            cal->setGridVisible(false);
            // Only the first month navigates; the others follow it.
            cal->setNavigationBarVisible(k == 0 || rows * columns == 1);
            const QDate month = first.addMonths(k);
            cal->setCurrentPage(month.year(), month.month());
            if (selected.isValid())
                cal->setSelectedDate(selected);
            cal->setCurrentPage(month.year(), month.month());
            connect(cal, &QCalendarWidget::clicked, this, &DatePicker::chooseDay);
            connect(cal, &QCalendarWidget::activated, this, &DatePicker::chooseDay);
            if (k == 0)
                connect(cal, &QCalendarWidget::currentPageChanged, this, &DatePicker::pageChanged);
            m_grid->addWidget(cal, r, c);
            m_calendars.push_back(cal);
        }
    }
}

void DatePicker::pageChanged(int year, int month)
{
    const QDate first(year, month, 1);
    for (std::size_t k = 1; k < m_calendars.size(); ++k) {
        const QDate m = first.addMonths(int(k));
        m_calendars[k]->setCurrentPage(m.year(), m.month());
    }
}

void DatePicker::chooseDay(const QDate& date)
{
    if (!date.isValid())
        return;
    Select(date);
    m_chosen = true;
    accept();
}

void DatePicker::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    // A pop-up has no window frame: a thin border keeps it apart from the form under it.
    QPainter p(this);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

bool DatePicker::ShowModal(int columns, int rows)
{
    columns = std::clamp(columns, 1, 6);
    rows = std::clamp(rows, 1, 4);
    const DatePickerSelection before = m_selection;
    build(columns, rows);
    m_today->setVisible(m_showToday);
    m_none->setVisible(m_showNone);
    m_chosen = false;
    adjustSize();
    const QPoint global = m_form ? m_form->mapToGlobal(m_position) : m_position;
    move(global);
    if (!m_calendars.empty())
        m_calendars.front()->setFocus();
    setWindowModality(Qt::ApplicationModal);
    exec();
    if (!m_chosen)
        m_selection = before;
    return m_chosen;
}

} // namespace tesr
