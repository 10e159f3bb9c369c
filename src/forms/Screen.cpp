#include "forms/Screen.h"

#include "platform/HostServices.h"
#include "platform/ILibrary.h"
#include "platform/InputTools.h"
#include "platform/controls/Access.h"
#include "platform/controls/ComboBox.h"
#include "platform/controls/DatePicker.h"
#include "platform/controls/FlatEdit.h"
#include "platform/controls/MessageBox.h"
#include "platform/controls/Resizer.h"
#include "shared/ReadRows.h"
#include "shared/modSharedWork.h"
#include "values/Regional.h"

#include <QLabel>
#include <QStyle>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tesr {

Screen::Screen(const char* objectName, const char* caption, int designWidth, int designHeight, QWidget* parent)
    : Form(parent)
{
    SetupWindow(objectName, caption, designWidth, designHeight);
    Resizer1 = new Resizer(this, QSize(designWidth, designHeight));
}

Screen::~Screen() = default;

SharedCodeLibrary* Screen::host() const
{
    return m_library ? m_library->GetSharedCodeLibrary() : nullptr;
}

std::unique_ptr<Connection> Screen::OpenConnection(QString* why) const
{
    SharedCodeLibrary* scl = host();
    std::unique_ptr<Connection> conn = scl ? scl->CurrentCompanyConn() : nullptr;
    if (!conn && why) {
        *why = scl ? scl->Database().LastSQLErrorDescription() : QString();
        if (why->isEmpty())
            *why = rows::NoDatabase;
    }
    return conn;
}

std::unique_ptr<Connection> Screen::ConnectionForSave(const QString& headline, const QString& explanation) const
{
    if (!host())
        return nullptr;
    QString why;
    std::unique_ptr<Connection> conn = OpenConnection(&why);
    if (!conn)
        ShowFailure(headline, why, explanation);
    return conn;
}

bool Screen::Refuse(const QString& text)
{
    MessageBox::Show(text, MessageBox::OkOnly | MessageBox::Exclamation);
    return false;
}

bool Screen::RollBack(Connection& conn, QString* error, const QString& why)
{
    *error = why;
    if (conn.InTransaction())
        conn.RollbackTrans();
    return false;
}

bool Screen::ShowFailure(const QString& headline, const QString& detail, const QString& explanation) const
{
    if (SharedCodeLibrary* scl = host())
        scl->ShowAndLogErrorMessage(headline, explanation, detail);
    return false;
}

int Screen::UserOptionAsShort(const QString& section, const QString& key) const
{
    SharedCodeLibrary* scl = host();
    if (!scl)
        return 0;
    const QVariant option = scl->Options().GetUserOption(section, key, 0);
    if (option.metaType().id() == QMetaType::Bool)
        return option.toBool() ? -1 : 0;
    std::optional<double> value = Regional::parsePlainNumber(option.toString());
    if (!value)
        value = Regional::parseNumber(option.toString());
    if (!value || !std::isfinite(*value))
        return 0;
    return int(std::clamp(std::nearbyint(*value), double(std::numeric_limits<qint16>::min()),
                          double(std::numeric_limits<qint16>::max())));
}

bool Screen::IsCardMethod(const ComboBox& methods) const
{
    const int index = methods.ListIndex();
    SharedCodeLibrary* scl = index >= 0 ? host() : nullptr;
    return scl && scl->Common().GetPaymentMethodType2(methods.ItemData(index)) != 0;
}

CardFields Screen::MakeCardFields()
{
    CardFields f;
    f.txtCardNumber = Make<FlatEdit>("txtCardNumber");
    f.txtCardNumber->setValidator(new CardNumberValidator(f.txtCardNumber));
    f.lblCardNumber = Make<QLabel>("lblCardNumber", tr("Card number:"));
    f.lblCardNumber->setBuddy(f.txtCardNumber);
    f.Image1 = Make<QLabel>("Image1");
    f.Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(16, 16));
    f.Image1->setToolTip(tr("4 characters only; enter the last 4 of the CC."));
    f.txtNameOnCard = Make<FlatEdit>("txtNameOnCard");
    f.lblNameOnCard = Make<QLabel>("lblNameOnCard", tr("&Name on card:"));
    f.lblNameOnCard->setBuddy(f.txtNameOnCard);
    f.txtExpireMonth = Make<FlatEdit>("txtExpireMonth");
    f.lblExpireDate = Make<QLabel>("lblExpireDate", tr("&Expires on:"));
    f.lblExpireDate->setBuddy(f.txtExpireMonth);
    f.lblExpireDate2 = Make<QLabel>("lblExpireDate2", QStringLiteral("/"));
    f.lblExpireDate2->setAlignment(Qt::AlignCenter);
    f.txtExpireYear = Make<FlatEdit>("txtExpireYear");
    using access::Control;
    access::Describe(this, {Control{"txtCardNumber", tr("The last 4 digits of the card"), access::Alt(Qt::Key_D)},
                            Control{"txtNameOnCard", tr("The name printed on the card")},
                            Control{"txtExpireMonth", tr("The month the card expires")},
                            Control{"txtExpireYear", tr("The year the card expires"), {}, tr("Expiry year")}});
    return f;
}

void Screen::PickDate(DatePicker& picker, FlatEdit& box, bool allowNone)
{
    // The calendar opens this far (twips) below the box.
    constexpr int GapTwips = 20;
    picker.SetShowNoneButton(allowNone);
    const std::optional<OleDate> current = Regional::parseDate(box.Text());
    const QDate day = current ? current->date() : QDate::currentDate();
    picker.Select(day);
    picker.EnsureVisible(day);
    picker.Move(box.Left(), box.Top() + box.Height() + modSharedWork::twipsToPixels(GapTwips, logicalDpiY()));
    if (!picker.ShowModal(1, 1))
        return;
    const DatePickerSelection& selection = picker.Selection();
    if (selection.BlocksCount() > 0)
        box.SetText(Regional::formatShortDate(OleDate::fromParts(selection.Blocks(0).DateBegin)));
    else if (allowNone)
        box.SetText(QStringLiteral("None"));
    box.SetFocus();
}

void Screen::Form_Load()
{
    modSharedWork::RestoreWindowPlacement(windowTitle(), *this, true);
    OnLoad();
}

void Screen::Form_Activate()
{
    if (FirstActivation())
        OnFirstActivation();
}

void Screen::Form_Unload()
{
    OnUnload();
    modSharedWork::SaveWindowPlacement(windowTitle(), *this);
    m_library = nullptr;
}

} // namespace tesr
