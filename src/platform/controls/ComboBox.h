#pragma once

// A combo box with an edit field (or, in the DropDownList style, a pick-only box).
//
// The box is the edit field itself; its list opens as a pop-up that never takes the keyboard,
// so the user keeps typing while the list is shown (type-ahead search refills the list on each
// Change). Up/Down move through the open list, Enter or a click chooses, Escape closes;
// Alt+Down or F4 opens and closes it; with the list closed Up/Down step through the entries.
//
// ListIndex is the chosen entry or -1. Choosing an entry (the user, or code setting ListIndex to
// an entry) puts its text in the field and raises Click; the list is already closed when Click
// arrives. Change is raised only for the user's own edits, which also clear ListIndex.

#include "platform/HostServices.h"
#include "platform/controls/EditField.h"

#include <vector>

class QListWidget;

namespace tesr {

class ComboBox : public EditField, public ComboList {
    Q_OBJECT
public:
    enum Style { DropDownCombo, DropDownList };

    explicit ComboBox(QWidget* parent = nullptr, Style style = DropDownCombo);
    ~ComboBox() override;

    Style ComboStyle() const { return m_style; }
    void SetComboStyle(Style style);

    // TextField
    void SetText(const QString& text) override;

    // ComboList
    void Clear() override;
    void AddItem(const QString& text) override;
    int NewIndex() const override { return m_newIndex; }
    int ListCount() const override { return int(m_entries.size()); }
    QString List(int index) const override;
    int ItemData(int index) const override;
    void SetItemData(int index, int value) override;
    int ListIndex() const override { return m_listIndex; }
    void SetListIndex(int index) override;

    // Whether the list is open. Opening it leaves the keyboard with the edit field.
    bool DroppedState() const { return m_dropped; }
    void SetDroppedState(bool dropped);
    // The caret position and the selected length in the edit field.
    int SelStart() const;
    void SetSelStart(int position);
    int SelLength() const { return selectedText().size(); }
    void SetSelLength(int length);

    void SetEnabled(bool enabled);
    QString Tag() const { return m_tag; }
    void SetTag(const QString& tag) { m_tag = tag; }

    // The pop-up list window (hidden while the list is closed or empty).
    QListWidget* DropDown() const { return m_popup; }

signals:
    // An entry was chosen (by the user, or by code setting ListIndex).
    void Click();

protected:
    void focusLeaving(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry {
        QString text;
        int data = 0;
    };
    void choose(int index);
    void syncPopup();
    void placePopup();
    void moveHighlight(int delta);
    int highlighted() const;
    void userToggle();
    int findPrefix(const QString& prefix, int after) const;

    std::vector<Entry> m_entries;
    int m_listIndex = -1;
    int m_newIndex = -1;
    bool m_dropped = false;
    bool m_popupDirty = true;
    bool m_filterInstalled = false;
    Style m_style;
    QString m_tag;
    QListWidget* m_popup = nullptr;
};

} // namespace tesr
