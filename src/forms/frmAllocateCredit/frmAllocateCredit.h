#pragma once

// Applies the unused part (credit) of one earlier payment of a customer to that customer's open
// sales and orders. The upper list holds the payments not fully allocated, the lower one the
// open orders with an editable "Allocate" column; the user selects one payment, types what each
// order gets and presses OK, which writes one allocation per order in a single transaction.
// Nothing is proposed or distributed unless the user asks: Spread Oldest First (the orders list's
// context menu, Ctrl+Shift+S) fills the amounts from the selected payment's credit.

#include "forms/Screen.h"
#include "values/Currency.h"

#include <optional>

class QLabel;

namespace tesr {

namespace modSharedSpread {
class SpreadAction;
}

class frmAllocateCredit : public Screen {
    Q_OBJECT
public:
    // The columns of both lists (item indexes).
    enum PaymentColumn { PayDate = 0, PayDetails = 1, PayAmount = 2, PayAllocated = 3, PayUnallocated = 4 };
    enum OrderColumn {
        OrdNumber = 0,
        OrdSidemark = 1,
        OrdBalance = 2,
        OrdAllocate = 3,
        OrdNewBalance = 4,
        OrdUniqueID = 5
    };

    // The one place that reads a payment's figures again inside the save's transaction, on the
    // save's connection, so that credit another workstation applied meanwhile is seen. Marker
    // <pid>: the payment's ID. The update lock holds the row until the save ends, so a second
    // workstation's save reads it only after this one has committed or rolled back.
    static constexpr QStringView RecheckPaymentStatement =
        u"SELECT Amount, Allocated FROM Payments WITH (UPDLOCK, ROWLOCK) WHERE ID = <pid>";

    explicit frmAllocateCredit(QWidget* parent = nullptr);
    ~frmAllocateCredit() override;

    // Stores the customer and the Library; the lists load on the first activation.
    void Prepare(int CustomerID, ILibrary& library);

    // True from loading until OK has saved.
    bool Cancelled = true;

    // True once the first activation has loaded the lists.
    bool DataLoaded() const { return m_dataLoaded; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void OnLoad() override;
    void OnFirstActivation() override;

private:
    // Spreads the grid's width over its visible columns in proportion to their design widths,
    // never narrower than the design width or the column's heading (nor, for the date column,
    // than a date). dateItem: the item index of the date column, -1 for none.
    static void FitColumns(ReportControl& grid, const int* designWidths, int count, int dateItem);
    void SetupPaymentsGrid();
    void SetupOrdersGrid();
    void InitialLoad();
    void LoadPayments();
    void LoadOrders();
    void UpdateSummary();
    void RecalcNewBalances();
    bool ValidateAllocations();
    bool SaveAllocations();
    // The save's writes in one transaction on the connection; false, rolled back, with the
    // engine's words in *error, or with *refusal set when the payment's credit changed.
    bool WriteAllocations(Connection& conn, int paymentID, QString* error, const QString** refusal);
    bool ApplyAllocations(int paymentID, Connection* connection, QString* error);

    // The one selected payment record, or nullptr (none, several, or a group heading).
    ReportRecord* SelectedPayment() const;
    // The sum of every Allocate value, or of those above 0 (the amounts a save writes); nothing
    // when the sum is beyond what money holds.
    enum class Amounts { All, AboveZero };
    std::optional<Currency> AllocateTotal(Amounts which) const;
    // The payment's unallocated amount as the database has it now, read inside the save's
    // transaction: *now is nothing when the row is gone or its figures unreadable; false, with
    // the engine's words in *error, when the read itself failed.
    bool ReadUnallocated(int paymentID, Connection& connection, std::optional<Currency>* now, QString* error) const;

    // What Spread Oldest First spreads: the selected payment's unallocated amount, within the
    // customer's credit; nothing (the user told why) without a payment or a credit above 0.
    std::optional<Currency> CreditToSpread();

    void rptOrders_ValueChanging(ReportValueChange& change);
    void rptOrders_ValueChanged(ReportRow* row, ReportColumn* column, ReportRecordItem* item);
    void cmdOK_Click();
    void cmdCancel_Click();

    int m_customerID = 0;
    Currency m_customerCredit;
    bool m_dataLoaded = false;

    QLabel* Label4;
    QLabel* lblCustomer;
    QLabel* lblCredit;
    QLabel* Label2;
    ReportControl* rptPayments;
    QLabel* Label1;
    ReportControl* rptOrders;
    QLabel* lblSummary;
    GroupBox* GroupBox1;
    PushButton* cmdOK;
    PushButton* cmdCancel;
    modSharedSpread::SpreadAction* m_spread;
};

} // namespace tesr
