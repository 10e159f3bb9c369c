#pragma once

// The allocations of one payment: when each part was applied, to which order (number and
// sidemark) and how much. The user removes one allocation at a time, which moves its amount
// back to the payment's unallocated part and onto the order's balance. A payment with an
// allocation naming an order that is not in this database is refused: its allocations could
// neither be shown nor removed correctly here.

#include "forms/ReviewScreen.h"

namespace tesr {

class frmPaymentAllocations : public ReviewScreen {
    Q_OBJECT
public:
    explicit frmPaymentAllocations(QWidget* parent = nullptr);
    ~frmPaymentAllocations() override;

    // Stores the payment and the Library; the list loads on the first activation.
    void Prepare(int PaymentID, ILibrary& library);

protected:
    void OnFirstActivation() override;
    void SetupGrid() override;
    void UpdateButtons() override;

private:
    // False when the list may not be shown (no connection, or orders missing here).
    bool LoadAllocations();

    void cmdDelete_Click();

    int m_paymentID = 0;

    ReportControl* rptAllocations;
    PushButton* cmdDelete;
};

} // namespace tesr
