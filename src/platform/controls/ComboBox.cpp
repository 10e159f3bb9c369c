#include "platform/controls/ComboBox.h"

#include <QAction>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

namespace tesr {

namespace {

constexpr int VisibleRows = 12;

QIcon arrowIcon(const QPalette& palette)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(palette.color(QPalette::ButtonText));
    const QPointF tri[3] = {QPointF(4, 6), QPointF(12, 6), QPointF(8, 11)};
    p.drawPolygon(tri, 3);
    return QIcon(pm);
}

} // namespace

ComboBox::ComboBox(QWidget* parent, Style style) : EditField(parent), m_style(style)
{
    QAction* arrow = addAction(arrowIcon(palette()), QLineEdit::TrailingPosition);
    arrow->setObjectName(QStringLiteral("dropDownArrow"));
    arrow->setText(tr("Show the list (Alt+Down)")); // what a screen reader names the arrow
    connect(arrow, &QAction::triggered, this, [this] {
        if (!hasFocus())
            setFocus(Qt::MouseFocusReason);
        userToggle();
    });

    m_popup = new QListWidget(this);
    m_popup->setObjectName(QStringLiteral("comboDropDown"));
    // A tool-tip window: shown on top, never active, so the keyboard stays with the field.
    m_popup->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
    m_popup->setAttribute(Qt::WA_ShowWithoutActivating);
    m_popup->setFocusPolicy(Qt::NoFocus);
    m_popup->setUniformItemSizes(true);
    m_popup->setMouseTracking(true);
    m_popup->setSelectionMode(QAbstractItemView::SingleSelection);
    m_popup->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_popup->hide();
    connect(m_popup, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { choose(m_popup->row(item)); });
    connect(m_popup, &QListWidget::itemEntered, this, [this](QListWidgetItem* item) { m_popup->setCurrentItem(item); });

    connect(this, &QLineEdit::textEdited, this, [this] {
        m_listIndex = -1; // the typed text is no entry of the list
        emit Change();
    });
    SetComboStyle(style);
}

ComboBox::~ComboBox()
{
    if (m_filterInstalled)
        qApp->removeEventFilter(this);
}

void ComboBox::SetComboStyle(Style style)
{
    m_style = style;
    setReadOnly(style == DropDownList);
    setCursor(style == DropDownList ? Qt::ArrowCursor : Qt::IBeamCursor);
    if (style == DropDownList)
        setText(m_listIndex >= 0 ? m_entries[std::size_t(m_listIndex)].text : QString());
}

void ComboBox::SetText(const QString& text)
{
    if (m_style == DropDownList) {
        // A pick-only box shows entries only: the text chooses the entry that carries it.
        for (std::size_t i = 0; i < m_entries.size(); ++i) {
            if (m_entries[i].text.compare(text, Qt::CaseInsensitive) == 0) {
                m_listIndex = int(i);
                setText(m_entries[i].text);
                return;
            }
        }
        return;
    }
    if (this->text() != text)
        setText(text); // the same text again keeps the user's undo steps
    if (m_listIndex >= 0 && m_entries[std::size_t(m_listIndex)].text != text)
        m_listIndex = -1;
}

void ComboBox::Clear()
{
    m_entries.clear();
    m_listIndex = -1;
    m_newIndex = -1;
    if (m_style == DropDownList)
        setText(QString());
    m_popupDirty = true;
    syncPopup();
}

void ComboBox::AddItem(const QString& text)
{
    m_entries.push_back({text, 0});
    m_newIndex = int(m_entries.size()) - 1;
    if (m_popup->isVisible())
        m_popup->addItem(text);
    else
        m_popupDirty = true;
    syncPopup();
}

QString ComboBox::List(int index) const
{
    return index >= 0 && index < ListCount() ? m_entries[std::size_t(index)].text : QString();
}

int ComboBox::ItemData(int index) const
{
    return index >= 0 && index < ListCount() ? m_entries[std::size_t(index)].data : 0;
}

void ComboBox::SetItemData(int index, int value)
{
    if (index >= 0 && index < ListCount())
        m_entries[std::size_t(index)].data = value;
}

void ComboBox::SetListIndex(int index)
{
    if (index < -1 || index >= ListCount())
        return;
    const bool changed = index != m_listIndex;
    m_listIndex = index;
    if (index >= 0) {
        setText(m_entries[std::size_t(index)].text);
        if (m_popup->isVisible())
            m_popup->setCurrentRow(index);
    } else if (m_style == DropDownList) {
        setText(QString());
    }
    // Like the platform's combo box: code choosing an entry is reported as a click.
    if (index >= 0 || changed)
        emit Click();
}

void ComboBox::SetDroppedState(bool dropped)
{
    m_dropped = dropped;
    syncPopup();
}

int ComboBox::SelStart() const
{
    return hasSelectedText() ? selectionStart() : cursorPosition();
}

void ComboBox::SetSelStart(int position)
{
    deselect();
    setCursorPosition(std::clamp(position, 0, int(text().size())));
}

void ComboBox::SetSelLength(int length)
{
    const int start = SelStart();
    setSelection(start, std::clamp(length, 0, int(text().size()) - start));
}

void ComboBox::SetEnabled(bool enabled)
{
    setEnabled(enabled);
    if (!enabled)
        SetDroppedState(false);
}

void ComboBox::choose(int index)
{
    if (index < 0 || index >= ListCount())
        return;
    m_dropped = false;
    syncPopup();
    m_listIndex = index;
    setText(m_entries[std::size_t(index)].text);
    emit Click();
}

void ComboBox::userToggle()
{
    if (!isEnabled())
        return;
    SetDroppedState(!m_dropped);
    if (m_dropped && m_popup->isVisible() && m_listIndex >= 0)
        m_popup->setCurrentRow(m_listIndex);
}

int ComboBox::highlighted() const
{
    return m_popup->isVisible() ? m_popup->currentRow() : -1;
}

void ComboBox::moveHighlight(int delta)
{
    const int count = ListCount();
    if (count == 0)
        return;
    int row = highlighted();
    row = row < 0 ? (delta > 0 ? 0 : count - 1) : std::clamp(row + delta, 0, count - 1);
    m_popup->setCurrentRow(row);
    m_popup->scrollToItem(m_popup->item(row));
}

int ComboBox::findPrefix(const QString& prefix, int after) const
{
    const int count = ListCount();
    for (int k = 1; k <= count; ++k) {
        const int i = (after + k) % count;
        if (m_entries[std::size_t(i)].text.startsWith(prefix, Qt::CaseInsensitive))
            return i;
    }
    return -1;
}

void ComboBox::syncPopup()
{
    const bool show = m_dropped && !m_entries.empty() && isVisible() && isEnabled();
    if (!show) {
        if (m_popup->isVisible())
            m_popup->hide();
        if (m_filterInstalled) {
            qApp->removeEventFilter(this);
            m_filterInstalled = false;
        }
        return;
    }
    if (m_popupDirty || m_popup->count() != ListCount()) {
        m_popup->clear();
        for (const Entry& e : m_entries)
            m_popup->addItem(e.text);
        m_popupDirty = false;
    }
    placePopup();
    if (!m_popup->isVisible())
        m_popup->show();
    if (!m_filterInstalled) {
        // Clicks elsewhere close the list, as with any drop-down.
        qApp->installEventFilter(this);
        m_filterInstalled = true;
    }
}

void ComboBox::placePopup()
{
    const int rows = std::min(ListCount(), VisibleRows);
    int rowHeight = m_popup->sizeHintForRow(0);
    if (rowHeight <= 0)
        rowHeight = fontMetrics().height() + 4;
    const int frame = m_popup->frameWidth() * 2;
    const int wanted = m_popup->sizeHintForColumn(0) + frame + 24;
    const int popupWidth = std::max(width(), std::min(wanted, width() * 2));
    const int popupHeight = rows * rowHeight + frame;
    QPoint below = mapToGlobal(QPoint(0, height()));
    if (const QScreen* s = screen()) {
        const QRect avail = s->availableGeometry();
        if (below.y() + popupHeight > avail.bottom() && mapToGlobal(QPoint(0, 0)).y() - popupHeight >= avail.top())
            below = mapToGlobal(QPoint(0, -popupHeight));
    }
    m_popup->setGeometry(QRect(below, QSize(popupWidth, popupHeight)));
}

void ComboBox::focusLeaving(QFocusEvent* event)
{
    if (event->reason() != Qt::PopupFocusReason && m_dropped) {
        m_dropped = false;
        syncPopup();
    }
}

void ComboBox::keyPressEvent(QKeyEvent* event)
{
    NoteUserInput();
    const int key = event->key();
    const bool alt = event->modifiers() & Qt::AltModifier;
    if (key == Qt::Key_F4 || (alt && (key == Qt::Key_Down || key == Qt::Key_Up))) {
        userToggle();
        event->accept();
        return;
    }
    if (m_popup->isVisible()) {
        switch (key) {
        case Qt::Key_Down:
            moveHighlight(1);
            event->accept();
            return;
        case Qt::Key_Up:
            moveHighlight(-1);
            event->accept();
            return;
        case Qt::Key_PageDown:
            moveHighlight(VisibleRows - 1);
            event->accept();
            return;
        case Qt::Key_PageUp:
            moveHighlight(-(VisibleRows - 1));
            event->accept();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (highlighted() >= 0)
                choose(highlighted());
            else
                SetDroppedState(false);
            event->accept();
            return;
        case Qt::Key_Escape:
            SetDroppedState(false);
            event->accept();
            return;
        default:
            break;
        }
    } else if (!alt && !(event->modifiers() & Qt::ControlModifier)) {
        int target = -2;
        const int count = ListCount();
        switch (key) {
        case Qt::Key_Down:
            target = std::min(m_listIndex + 1, count - 1);
            break;
        case Qt::Key_Up:
            target = m_listIndex < 0 ? 0 : std::max(m_listIndex - 1, 0);
            break;
        case Qt::Key_PageDown:
            if (m_style == DropDownList)
                target = std::min(m_listIndex + VisibleRows - 1, count - 1);
            break;
        case Qt::Key_PageUp:
            if (m_style == DropDownList)
                target = std::max(m_listIndex - (VisibleRows - 1), 0);
            break;
        case Qt::Key_Home:
            if (m_style == DropDownList)
                target = 0;
            break;
        case Qt::Key_End:
            if (m_style == DropDownList)
                target = count - 1;
            break;
        default:
            if (m_style == DropDownList && !event->text().isEmpty() && event->text().at(0).isPrint())
                target = findPrefix(event->text(), m_listIndex);
            break;
        }
        if (target != -2) {
            if (count > 0 && target >= 0 && target != m_listIndex)
                choose(target);
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void ComboBox::mousePressEvent(QMouseEvent* event)
{
    NoteUserInput();
    QLineEdit::mousePressEvent(event);
    if (m_style == DropDownList && event->button() == Qt::LeftButton)
        userToggle();
}

void ComboBox::hideEvent(QHideEvent* event)
{
    QLineEdit::hideEvent(event);
    m_popup->hide();
    m_dropped = false;
    syncPopup();
}

void ComboBox::changeEvent(QEvent* event)
{
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::EnabledChange && !isEnabled() && m_dropped) {
        m_dropped = false;
        syncPopup();
    }
}

bool ComboBox::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_popup->isVisible())
        return QLineEdit::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::NonClientAreaMouseButtonPress: {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && w != this && !isAncestorOf(w) && w != m_popup && !m_popup->isAncestorOf(w)) {
            m_dropped = false;
            syncPopup();
        }
        break;
    }
    case QEvent::Move:
    case QEvent::Resize:
        if (watched == window())
            placePopup();
        break;
    default:
        break;
    }
    return QLineEdit::eventFilter(watched, event);
}

} // namespace tesr
