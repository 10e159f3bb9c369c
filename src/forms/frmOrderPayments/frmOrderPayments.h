#pragma once

// The payments applied to one sale/order: one row per allocation naming the order, and their
// total. From here the user records a new payment for the order's customer, or removes an
// applied payment, then decides whether a payment left without allocations is deleted or kept
// as the customer's credit. An order without payments opens New Payment at once.

#include "forms/ReviewScreen.h"

#include <QDomDocument>
#include <QDomElement>

class QLabel;

namespace tesr {

class frmOrderPayments : public ReviewScreen {
    Q_OBJECT
public:
    // The answers of the delete question after a removal.
    static constexpr int ButtonDeletePayment = 128;
    static constexpr int ButtonKeepPayment = 256;

    explicit frmOrderPayments(QWidget* parent = nullptr);
    ~frmOrderPayments() override;

    // Stores the order and the Library and reads the order's customer and UniqueID once.
    void Prepare(int OrderID, ILibrary& library);

protected:
    void OnFirstActivation() override;
    void OnUnload() override;
    void SetupGrid() override;
    void UpdateButtons() override;

private:
    void LoadPayments();
    bool AskDeletePayment();

    void cmdNewPayment_Click();
    void cmdDelete_Click();

    int m_orderID = 0;
    QDomDocument m_orderDoc;
    QDomElement m_orderRecord; // null when the order does not exist

    ReportControl* rptPayments;
    QLabel* lblSummary;
    GroupBox* GroupBox1;
    PushButton* cmdNewPayment;
    PushButton* cmdDelete;
};

} // namespace tesr
