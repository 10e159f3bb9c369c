#pragma once

// What the two screens that record or correct a payment (New Payment, Edit Payment) share
// beyond every screen's parts: the frame, the payment-method list, the date box with its
// calendar, the memo, the card fields, OK and Cancel; the rules those boxes apply as the user
// leaves them; and the messages of the checks on OK.

#include "forms/Screen.h"

namespace tesr {

class PaymentScreen : public Screen, protected CardFields {
    Q_OBJECT
public:
    using Screen::Screen;

    // True from loading until OK has saved.
    bool Cancelled = true;

protected:
    // What the checks on OK tell the user.
    static const QString NeedCardNumber;
    static const QString NeedNameOnCard;
    static const QString NeedExpireDate;
    static const QString NeedPaymentDate;
    // What the expiry boxes accept.
    static constexpr int MonthLow = 1, MonthHigh = 12, YearLow = 1900, YearHigh = 2075;

    // For Prepare: stores the Library and fills the payment-method list from the host.
    void AttachAndLoadMethods(ILibrary& library);

    // The parts, each named and described; a label names its box. Made in the order the screen
    // calls for (the frame first, so that it lies behind the fields).
    void MakeFrame();
    // The payment-method list: choosing a method enables the card fields for a card.
    void MakeMethodList();
    // The date box, the button that opens its calendar (F4 and Alt+Down from the box), showing
    // `glyph`, and the calendar.
    void MakeDateFields(QChar glyph);
    void MakeMemo();
    // The card fields, disabled until a card method is chosen.
    void MakeCard();
    // OK, the default button, runs cmdOK_Click; Cancel closes without saving, and leaving a
    // field for it checks nothing.
    void MakeOkCancel(const QString& okDescription);

    virtual void cmdOK_Click() = 0;

    // The card fields are enabled for a card method only; their texts stay either way (switching
    // to cash and back loses nothing typed, and a correction saves them as they stand).
    void UpdateCardFields();
    // The first card detail left empty, as the message that asks for it; nullptr when all are
    // there.
    const QString* MissingCardDetail() const;

    QLabel* Label1 = nullptr;
    ComboBox* cboPaymentMethod = nullptr;
    QLabel* lblPaymentDate = nullptr;
    FlatEdit* txtPaymentDate = nullptr;
    PushButton* cmdPaymentDate = nullptr;
    DatePicker* DatePicker1 = nullptr;
    QLabel* Label3 = nullptr;
    FlatEdit* txtDescription = nullptr;
    GroupBox* GroupBox1 = nullptr;
    PushButton* cmdOK = nullptr;
    PushButton* cmdCancel = nullptr;

    // The rules the boxes apply as the user leaves them.
    void txtExpireMonth_Validate(bool& cancel);
    void txtExpireYear_Validate(bool& cancel);
    void txtPaymentDate_Validate(bool& cancel);

private:
    void cmdPaymentDate_Click();
    void cmdCancel_Click();
};

} // namespace tesr
