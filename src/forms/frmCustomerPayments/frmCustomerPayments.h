#pragma once

// The payments of one customer: date, details, amount, the part applied to sales/orders and
// the part left as credit. From here the user records a new payment, edits one, opens its
// allocations, or deletes one that has no allocations.

#include "forms/ReviewScreen.h"

class QAction;

namespace tesr {

class frmCustomerPayments : public ReviewScreen {
    Q_OBJECT
public:
    explicit frmCustomerPayments(QWidget* parent = nullptr);
    ~frmCustomerPayments() override;

    // Stores the customer and the Library (its screens and receipts); the list loads on the
    // first activation.
    void Prepare(int CustomerID, ILibrary& library, IReceipts& receipts);

protected:
    void OnFirstActivation() override;
    void SetupGrid() override;
    void UpdateButtons() override;

private:
    void LoadPayments(int SelectID);

    void cmdNew_Click();
    void cmdEdit_Click();
    void cmdAllocations_Click();
    void cmdDelete_Click();
    // The selected payment's receipt (the list's context menu, Ctrl+P).
    void PrintReceipt();

    int m_customerID = 0;
    IReceipts* m_receipts = nullptr;

    ReportControl* rptPayments;
    PushButton* cmdAllocations;
    PushButton* cmdNew;
    PushButton* cmdEdit;
    PushButton* cmdDelete;
    QAction* actPrintReceipt;
};

} // namespace tesr
