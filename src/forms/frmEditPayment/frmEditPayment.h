#pragma once

// Corrects the descriptive fields of one recorded payment: its method, the date it was received,
// its memo and the card details. The customer and the amount are shown but not changed here, and
// the payment's allocations are left alone.

#include "forms/PaymentScreen.h"

class QLabel;

namespace tesr {

class frmEditPayment : public PaymentScreen {
    Q_OBJECT
public:
    explicit frmEditPayment(QWidget* parent = nullptr);
    ~frmEditPayment() override;

    // Stores the payment and the Library and fills the payment-method list; the payment loads on
    // the first activation.
    void Prepare(int ID, ILibrary& library);

    // True once the first activation has loaded the payment (or found it missing).
    bool DataLoaded() const { return m_dataLoaded; }

protected:
    void OnLoad() override;
    void OnFirstActivation() override;

private:
    void LoadPayment();
    bool CheckCardDetails();
    bool SavePayment();
    void cmdOK_Click() override;

    int m_paymentID = 0;
    // The method the payment was loaded with: kept when no entry of the list is chosen (a method
    // the list no longer offers).
    int m_loadedMethodID = 0;
    // The expiry texts the payment was loaded with.
    QString m_loadedMonth;
    QString m_loadedYear;
    bool m_dataLoaded = false;
    bool m_paymentFound = false; // the payment's row was read

    QLabel* Label4;
    ComboBox* cboCustomer;
    QLabel* lblAmount;
    ComboBox* cboAmount;
};

} // namespace tesr
