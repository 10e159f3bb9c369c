#include "entry/Library.h"
#include "forms/Receipt/Receipt.h"

#include <QApplication>
#include <QTimer>

namespace tesr {

void Library::ShowReceipt(int PaymentID)
{
    tesr::SharedCodeLibrary* scl = SharedCodeLibrary();
    if (!scl)
        return;
    QString error;
    const std::optional<receipt::Receipt> receipt = receipt::ReadReceipt(*scl, PaymentID, &error);
    if (!receipt) {
        scl->ShowErrorMessage(QObject::tr("The receipt could not be made."), error);
        return;
    }
    receipt::PreviewReceipt(*receipt, QApplication::activeWindow());
}

bool Library::SaveReceiptPdf(int PaymentID, const QString& FileName, QString* Error)
{
    tesr::SharedCodeLibrary* scl = SharedCodeLibrary();
    if (!scl) {
        if (Error)
            *Error = QObject::tr("The module has not been initialised.");
        return false;
    }
    const std::optional<receipt::Receipt> receipt = receipt::ReadReceipt(*scl, PaymentID, Error);
    return receipt && receipt::WriteReceiptPdf(*receipt, FileName, Error);
}

void Library::OfferReceipt(int PaymentID)
{
    // Asked once the caller has the new payment's ID and has gone on (a list reloaded, the new
    // row selected), so ShowNewPayment returns what and when it always did.
    QTimer::singleShot(0, m_later.get(), [this, PaymentID] {
        tesr::SharedCodeLibrary* scl = SharedCodeLibrary();
        if (!scl || scl->Options()
                            .GetUserOption(QStringLiteral("Receipts"), QStringLiteral("OfferAfterNewPayment"), 1)
                            .toInt() <= 0)
            return;
        if (scl->ShowMessageStyle1(QObject::tr("The payment was recorded. Do you want to print a receipt for the "
                                               "customer?"),
                                   QObject::tr("The receipt shows the payment and the sales/orders it was applied "
                                               "to. It can be printed again later from Customer Payments (Ctrl+P)."),
                                   tesr::SharedCodeLibrary::ButtonsYesNo) == tesr::SharedCodeLibrary::AnswerYes)
            ShowReceipt(PaymentID);
    });
}

} // namespace tesr
