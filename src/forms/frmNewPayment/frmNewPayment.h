#pragma once

// New Payment: the user records one payment received from a customer and, in the same step,
// spreads it over the customer's open sales/orders. What is not applied stays with the customer
// as credit. The payment, its allocations and the order activity lines are saved in one
// transaction on one connection.
//
// The work is split over three files: this class's controls, loading and customer box
// (frmNewPayment.cpp), the amount presets and the allocation column (frmNewPaymentAmount.cpp),
// and the checks and the save (frmNewPaymentSave.cpp).

#include "forms/PaymentScreen.h"
#include "values/Currency.h"

#include <QString>

#include <cstdint>
#include <optional>

class QLabel;
class QTimer;

namespace tesr {

class DataTools;
namespace modSharedSpread {
class SpreadAction;
}

class frmNewPayment : public PaymentScreen {
    Q_OBJECT
public:
    // The grid's items, one per column, in column order.
    enum OrderItem {
        ItemNumber = 0,
        ItemSidemark = 1,
        ItemBalance = 2,
        ItemDeposit = 3,
        ItemToAllocate = 4,
        ItemNewBalance = 5,
        ItemUniqueID = 6
    };

    explicit frmNewPayment(QWidget* parent = nullptr);
    ~frmNewPayment() override;

    // Stores the customer, whether it is locked and the Library, and fills the payment methods;
    // everything else loads on the first activation.
    void Prepare(int CustomerID, bool ForceCustomer, ILibrary& library);

    // The ID of the payment the dialog inserted; 0 until a save succeeds.
    int NewPaymentID = 0;

protected:
    void OnLoad() override;
    void OnFirstActivation() override;
    void OnUnload() override;

private:
    void BuildControls();
    void BuildLayout();
    void ConnectEvents();

    // ---- opening and loading ------------------------------------------------------------
    void BuildOrderColumns();
    void InitialLoad();
    void ReloadCustomer();
    void LoadOrders();
    void cboCustomer_GotFocus();
    void cboCustomer_LostFocus();
    void cboCustomer_Change();
    void cboCustomer_Click();
    void cmdCredit_Click();

    // ---- amount and allocation ----------------------------------------------------------
    void BuildAmountPresets(ReportRow* row);
    void AddAmountPreset(Currency total, int percent);
    void RecalcNewBalances();
    void UpdateSummary();
    void cboAmount_Click();
    void tmrSetAmount_Timer();
    void cboAmount_Validate(bool& cancel);
    void rptOrders_ValueChanging(ReportValueChange& change);
    void rptOrders_ValueChanged(ReportRow* row, ReportColumn* column, ReportRecordItem* item);
    void rptOrders_FocusChanging(ReportRow* newRow, ReportColumn* newColumn, ReportRecordItem* newItem, bool& cancel);
    // What Spread Oldest First spreads: the amount box's amount, once the box has accepted it;
    // nothing (the user told why) when there is no amount above 0.
    std::optional<Currency> AmountToSpread();
    void AfterSpread();
    // A money item: its value and the value in the user's currency format as its caption.
    void SetMoneyItem(ReportRecordItem* item, const std::optional<Currency>& value);
    static Currency MoneyOf(const ReportRecordItem* item);
    static Currency MoneyOf(const ReportRecord* record, int item);
    // The sum of the "To Allocate" values, and one order's balance less its "To Allocate";
    // nothing when the figure is beyond what money holds.
    std::optional<Currency> AllocatedTotal() const;
    static std::optional<Currency> NewBalanceOf(const ReportRecord* record);

    // ---- checks and saving --------------------------------------------------------------
    void cmdOK_Click() override;
    bool ValidateInput();
    bool SavePayment();
    QString FillInsertStatement(const QString& templateText, SharedCodeLibrary& scl) const;
    // The save's writes, in one transaction on the connection: the new payment's ID, or 0 with
    // the reason in *error (rolled back; *ordersChanged when the orders changed meanwhile).
    qint64 WritePayment(Connection& conn, QString* error, bool* ordersChanged);
    bool OrdersStillTakeThePayment(Connection& conn, QString* error, bool* changed);
    bool ApplyAllocations(int PaymentID, Connection* conn, DataTools& data, QString* error);
    // Leaves the amount and expiry boxes holding what their leave rules accept, for a box whose
    // last visit was never checked (the focus left it for a control that checks nothing).
    bool EnsureCheckedNumbers();

    // ---- state ---------------------------------------------------------------------------
    int m_customerID = 0;
    bool m_forceCustomer = false;
    // The figures as last worked out from the grid, with the grid's values serial they hold
    // for: a pass over thousands of orders is spared while no value has changed since.
    std::optional<std::uint64_t> m_newBalancesAt;
    mutable std::optional<std::uint64_t> m_allocatedAt;
    mutable std::optional<Currency> m_allocated;
    QString m_pendingAmount;
    bool m_customerBusy = false;

    // ---- controls ------------------------------------------------------------------------
    QLabel* Label4;
    ComboBox* cboCustomer;
    PushButton* cmdCredit;
    QLabel* Label5;
    ReportControl* rptOrders;
    QLabel* lblSummary;
    QLabel* lblAmount;
    ComboBox* cboAmount;
    QTimer* tmrSetAmount;
    modSharedSpread::SpreadAction* m_spread;
};

} // namespace tesr
