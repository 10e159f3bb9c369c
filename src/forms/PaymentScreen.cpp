#include "forms/PaymentScreen.h"

#include "platform/HelperTools.h"
#include "platform/HostServices.h"
#include "platform/InputTools.h"
#include "platform/controls/Access.h"
#include "platform/controls/ComboBox.h"
#include "platform/controls/DatePicker.h"
#include "platform/controls/FlatEdit.h"
#include "platform/controls/GroupBox.h"
#include "platform/controls/PushButton.h"

#include <QDate>
#include <QLabel>

#include <initializer_list>

namespace tesr {

const QString PaymentScreen::NeedCardNumber =
    QStringLiteral("You must enter the last 4 digits of the credit card number.");
const QString PaymentScreen::NeedNameOnCard = QStringLiteral("You must enter the name printed on the card.");
const QString PaymentScreen::NeedExpireDate = QStringLiteral("You must enter a valid expire date of the card.");
const QString PaymentScreen::NeedPaymentDate = QStringLiteral("You must enter a valid payment date.");

void PaymentScreen::AttachAndLoadMethods(ILibrary& library)
{
    Attach(library);
    if (SharedCodeLibrary* scl = host())
        scl->Common().LoadPaymentMethods(*cboPaymentMethod);
}

void PaymentScreen::MakeFrame()
{
    GroupBox1 = Make<GroupBox>("GroupBox1");
    GroupBox1->SetAppearance(GroupBox::Frame);
}

void PaymentScreen::MakeMethodList()
{
    Label1 = Make<QLabel>("Label1", tr("&Payment method:"));
    cboPaymentMethod = new ComboBox(this, ComboBox::DropDownList);
    cboPaymentMethod->setObjectName(QStringLiteral("cboPaymentMethod"));
    Label1->setBuddy(cboPaymentMethod);
    access::Describe(this, {access::Control{"cboPaymentMethod", tr("How the customer paid")}});
    connect(cboPaymentMethod, &ComboBox::Click, this, &PaymentScreen::UpdateCardFields);
}

void PaymentScreen::MakeDateFields(QChar glyph)
{
    lblPaymentDate = Make<QLabel>("lblPaymentDate", tr("&Received on:"));
    txtPaymentDate = Make<FlatEdit>("txtPaymentDate");
    lblPaymentDate->setBuddy(txtPaymentDate);
    cmdPaymentDate = MakeButton("cmdPaymentDate", QString(glyph), &PaymentScreen::cmdPaymentDate_Click);
    cmdPaymentDate->setToolTip(tr("Pick the date from a calendar"));
    DatePicker1 = Make<DatePicker>("DatePicker1");
    DatePicker1->SetShowNoneButton(true);
    DatePicker1->SetShowTodayButton(true);
    using access::Control;
    access::Describe(this, {Control{"txtPaymentDate", tr("The day the payment was received; F4 opens a calendar")},
                            Control{"cmdPaymentDate", tr("Opens a calendar to pick the date"), {}, tr("Pick date")}});
    access::DropDownKeys(txtPaymentDate, cmdPaymentDate);
    connect(txtPaymentDate, &FlatEdit::Validate, this, &PaymentScreen::txtPaymentDate_Validate);
}

void PaymentScreen::MakeMemo()
{
    Label3 = Make<QLabel>("Label3", tr("Memo:"));
    txtDescription = Make<FlatEdit>("txtDescription");
    Label3->setBuddy(txtDescription);
    access::Describe(this,
                     {access::Control{"txtDescription", tr("A memo kept with the payment"), access::Alt(Qt::Key_M)}});
}

void PaymentScreen::MakeCard()
{
    static_cast<CardFields&>(*this) = MakeCardFields();
    UpdateCardFields();
    connect(txtExpireMonth, &FlatEdit::Validate, this, &PaymentScreen::txtExpireMonth_Validate);
    connect(txtExpireYear, &FlatEdit::Validate, this, &PaymentScreen::txtExpireYear_Validate);
}

void PaymentScreen::MakeOkCancel(const QString& okDescription)
{
    cmdOK = MakeButton("cmdOK", tr("OK"), &PaymentScreen::cmdOK_Click);
    cmdOK->setDefault(true);
    cmdCancel = MakeButton("cmdCancel", tr("Cancel"), &PaymentScreen::cmdCancel_Click);
    cmdCancel->SetCausesValidation(false);
    using access::Control;
    access::Describe(this,
                     {Control{"cmdOK", okDescription}, Control{"cmdCancel", tr("Closes without saving (Escape)")}});
}

void PaymentScreen::UpdateCardFields()
{
    const bool card = IsCardMethod(*cboPaymentMethod);
    for (QWidget* w : std::initializer_list<QWidget*>{lblCardNumber, txtCardNumber, lblNameOnCard, txtNameOnCard,
                                                      lblExpireDate, lblExpireDate2, txtExpireMonth, txtExpireYear})
        w->setEnabled(card);
}

const QString* PaymentScreen::MissingCardDetail() const
{
    if (txtCardNumber->Text().isEmpty())
        return &NeedCardNumber;
    if (txtNameOnCard->Text().isEmpty())
        return &NeedNameOnCard;
    if (txtExpireMonth->Text().isEmpty() || txtExpireYear->Text().isEmpty())
        return &NeedExpireDate;
    return nullptr;
}

void PaymentScreen::cmdPaymentDate_Click()
{
    PickDate(*DatePicker1, *txtPaymentDate, false);
}

void PaymentScreen::txtExpireMonth_Validate(bool&)
{
    if (std::unique_ptr<InputTools> tools = helperFactory().CreateInputTools())
        tools->WholeNumberRangeRule(MonthLow, MonthHigh, 1, *txtExpireMonth);
}

void PaymentScreen::txtExpireYear_Validate(bool&)
{
    if (std::unique_ptr<InputTools> tools = helperFactory().CreateInputTools())
        tools->WholeNumberRangeRule(YearLow, YearHigh, QDate::currentDate().year(), *txtExpireYear);
}

void PaymentScreen::txtPaymentDate_Validate(bool& cancel)
{
    // An unreadable date stays as typed, with a message, rather than being blanked.
    if (refuseEntry(dateEntryRefusal(txtPaymentDate->Text()), cancel))
        return;
    if (std::unique_ptr<InputTools> tools = helperFactory().CreateInputTools())
        tools->DateTextRule(*txtPaymentDate);
}

void PaymentScreen::cmdCancel_Click()
{
    Cancelled = true;
    Unload();
}

} // namespace tesr
