#pragma once

// What every payment screen has in common: the Library it was prepared with (through which it
// reaches the host and opens other screens), its window placement (restored as it loads, saved
// as it unloads), one first activation that reads its data, and the standard failure message.

#include "platform/controls/Form.h"
#include "platform/controls/PushButton.h"

#include <QString>

#include <memory>

class QLabel;

namespace tesr {

// What the screens are built from and work with, declared once for every screen's header.
class ComboBox;
class Connection;
class DatePicker;
class FlatEdit;
class GroupBox;
class ILibrary;
class IReceipts;
class ReportColumn;
class ReportControl;
class ReportRecord;
class ReportRecordItem;
class ReportRow;
class Resizer;
class SharedCodeLibrary;
struct ReportValueChange;

// The card's fields, alike on every screen that records or corrects a payment (a screen holds
// them as its own members by deriving from this).
struct CardFields {
    QLabel* lblCardNumber = nullptr;
    FlatEdit* txtCardNumber = nullptr;
    QLabel* Image1 = nullptr; // says the number box takes the last four digits
    QLabel* lblNameOnCard = nullptr;
    FlatEdit* txtNameOnCard = nullptr;
    QLabel* lblExpireDate = nullptr;
    FlatEdit* txtExpireMonth = nullptr;
    QLabel* lblExpireDate2 = nullptr;
    FlatEdit* txtExpireYear = nullptr;
};

class Screen : public Form {
    Q_OBJECT
public:
    // The window's name and caption, and its design client area (pixels at 96 dpi), which
    // Resizer1 scales and lays the controls out on.
    Screen(const char* objectName, const char* caption, int designWidth, int designHeight, QWidget* parent);
    ~Screen() override;

protected:
    // For Prepare. The screen lets the Library go when it unloads.
    void Attach(ILibrary& library) { m_library = &library; }
    ILibrary* library() const { return m_library; }
    // The host as the Library holds it now; nullptr once released, before Initialize or once the
    // screen has unloaded.
    SharedCodeLibrary* host() const;

    // A connection of the host's for one job (the caller closes it); nullptr, with the host's
    // reason in *why, when there is none to be had.
    std::unique_ptr<Connection> OpenConnection(QString* why) const;
    // A connection for a save; without one, nothing when there is no host, else the failure told
    // with `headline` and `explanation` (the engine's words as its detail) and the dialog left as
    // it was.
    std::unique_ptr<Connection>
    ConnectionForSave(const QString& headline,
                      const QString& explanation = QStringLiteral("{standard explanation}")) const;
    // For a save's writes: `why` into *error and the transaction, if one is open, rolled back.
    // False, so that a failing step can return it.
    static bool RollBack(Connection& conn, QString* error, const QString& why);
    // Tells the user, through the host, that what `headline` names failed, with `explanation`
    // (the host's standard one unless given) and the engine's words as the detail the host logs.
    // False, so that a failing step can return it.
    bool ShowFailure(const QString& headline, const QString& detail,
                     const QString& explanation = QStringLiteral("{standard explanation}")) const;

    // Refuses what the user entered with `text` in a message box (an exclamation, OK only).
    // False, so that a failing check can return it.
    static bool Refuse(const QString& text);

    // A named button whose Click runs `handler`.
    template <class S> PushButton* MakeButton(const char* objectName, const QString& caption, void (S::*handler)())
    {
        auto* button = Make<PushButton>(objectName, caption);
        connect(button, &PushButton::Click, static_cast<S*>(this), handler);
        return button;
    }

    // A user option of the host's as a 16-bit whole number (rounded, and held to that range);
    // 0 when there is no host or the option is no number.
    int UserOptionAsShort(const QString& section, const QString& key) const;

    // Whether the payment method chosen in `methods` (item data: the method's ID) is a card,
    // as the host types its methods; false when none is chosen or there is no host.
    bool IsCardMethod(const ComboBox& methods) const;

    // The card's fields, named and described, their labels naming their boxes, the number box
    // taking the last four digits only.
    CardFields MakeCardFields();
    // Opens the calendar just below `box`, on the date the box holds (today when it holds none),
    // and puts the picked day into the box as a short date, or "None" when the user cleared the
    // selection and `allowNone`. The box has the focus afterwards unless the calendar was left.
    void PickDate(DatePicker& picker, FlatEdit& box, bool allowNone);

    // The screen's own parts of loading (after the placement is restored), of the first
    // activation (once the window is drawn, while the form is still loaded) and of unloading.
    virtual void OnLoad() {}
    virtual void OnFirstActivation() {}
    virtual void OnUnload() {}

    Resizer* Resizer1;

private:
    void Form_Load() final;
    void Form_Activate() final;
    void Form_Unload() final;

    ILibrary* m_library = nullptr;
};

} // namespace tesr
