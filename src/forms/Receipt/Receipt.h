#pragma once

// A payment's receipt: what the customer is handed when they pay, and again on request later.
// One page (more only for a payment spread over very many orders) with the shop's name and
// address, the customer, the payment's date, method and memo, the amount received, each order
// it was applied to with the amount and the order's balance after it, and the part left as
// credit.
//
// "Balance after" is the order's balance right after that amount was applied: its balance now
// plus every amount applied to it by allocations recorded later (whichever payment they came
// from). A receipt printed weeks later therefore still shows what the customer owed once this
// payment was in, not what they owe today. An allocation made later and removed again cancels
// out; the figure is off only when, since then, an earlier allocation of the order was removed
// or the host changed the order's total.
//
// A card payment shows at most the last four digits of the card, whatever the payment row holds.
//
// The shop's details are the host's: user options of the section "Receipts", read through
// Options.GetUserOption when the receipt is made: "ShopName", "ShopAddress" (lines separated by
// line breaks or '|') and "Footer" (a closing line; a thank-you when not set).

#include "values/Currency.h"
#include "values/OleDate.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class QPagedPaintDevice;
class QPainter;
class QWidget;

namespace tesr {

class SharedCodeLibrary;

namespace receipt {

struct AppliedLine {
    OleDate appliedOn;      // the allocation's date, as Payment Allocations shows it
    QString orderNumber;    // the order's UniqueID when the order is not in this database
    QString sidemark;       // trimmed
    Currency amount;        // applied by this payment
    bool orderKnown = true; // false: kept on another system, so no balance is known here
    // The order's balance right after this amount was applied; nothing when money cannot hold it.
    std::optional<Currency> balanceAfter;
};

struct Receipt {
    int paymentID = 0;
    QString shopName;
    QStringList shopAddress;
    QString footer;
    QString customerName;
    OleDate paymentDate; // local time; absent when the payment has none
    QString method;      // "Visa ending in 4242" for a card with digits on file
    QString memo;
    Currency amount;
    std::vector<AppliedLine> applied;
    std::optional<Currency> credit; // Amount - Allocated; nothing when money cannot hold it
    OleDate printedOn;              // local time
};

// The last four digits of what a card-number field holds ("4242" from "4111 1111 1111 4242"),
// fewer when it holds fewer, empty when it holds none.
QString LastFourDigits(const QString& cardNumber);

// Reads a payment's receipt through the host: its connection, its options and its customer
// names. Nothing, with the reason in `error`, when there is no connection or no such payment.
std::optional<Receipt> ReadReceipt(SharedCodeLibrary& host, int paymentID, QString* error = nullptr);

// Draws the receipt on a printer or PDF writer, starting a new page only when the orders do not
// fit on the first.
void PaintReceipt(const Receipt& receipt, QPagedPaintDevice& device);

// Writes the receipt to a PDF file (A4, or Letter where the user's region measures in inches),
// all or nothing. False, with the reason, when the file cannot be written.
bool WriteReceiptPdf(const Receipt& receipt, const QString& path, QString* error = nullptr);

// The print preview (a modal QPrintPreviewDialog named "receiptPreview") from which the user
// prints the receipt, or saves it as PDF with its "Save as PDF..." action (Ctrl+S).
void PreviewReceipt(const Receipt& receipt, QWidget* parent = nullptr);

} // namespace receipt
} // namespace tesr
