#pragma once

// The reference host's window: customers on the left (with a filter), the selected
// customer's orders and payments on the right, and a button for each payment screen. Every
// screen is opened through the module's Library; the lists are read again when it returns.

#include <QMainWindow>

#include <functional>

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace tesr {
class ILibrary;
class IReceipts;
class Recordset;
} // namespace tesr

namespace tesr::host {

class ReferenceHost;

class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    // At most this many customers are listed at once; the filter narrows the list.
    static constexpr int CustomerLimit = 1000;

    MainWindow(ReferenceHost& host, ILibrary& library, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Reads every list again from the database, keeping the selected customer, order and
    // payment where they still exist.
    void reload();
    // Switches to another company database after checking it (messages through the host's
    // prompter). False, and the current database kept, when it cannot be used.
    bool openDatabase(const QString& url);
    // Recreates the demo database (after asking) and switches to it.
    bool recreateDemoDatabase();
    // Whether the current database could be used; without one the lists stay empty.
    bool hasDatabase() const { return m_ready; }
    void setDatabaseReady(bool ready);

    int selectedCustomerId() const;
    int selectedOrderId() const;
    int selectedPaymentId() const;
    bool selectCustomer(int id);
    bool selectOrder(int id);
    bool selectPayment(int id);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The window's place is kept like the module's screens' are, under this name.
    static constexpr const char* PlacementName = "TESR 5 - Payments";

    void buildUi();
    void buildMenus();
    void loadCustomers(int selectId);
    void loadCustomerDetails();
    void loadOrders(int customerId, int selectId);
    void readInto(QTreeWidget* list, const QString& statement,
                  const std::function<void(Recordset&, QTreeWidgetItem*)>& describe);
    // The customer's rows of `statement` (%1: the customer's ID) in `list`, the row of
    // `selectId` selected again, without selection signals; empty without a database or a
    // customer.
    void readCustomerRows(QTreeWidget* list, const QString& statement, int customerId, int selectId,
                          const std::function<void(Recordset&, QTreeWidgetItem*)>& describe);
    void loadPayments(int customerId, int selectId);
    void updateButtons();
    void updateTitle();
    void chooseDatabaseFile();

    // Runs a screen of the module, then refreshes the lists.
    template <class Fn> void runScreen(Fn&& fn);

    void printReceipt();

    ReferenceHost& m_host;
    ILibrary& m_library;
    IReceipts* m_receipts; // nullptr when the module has no receipts
    bool m_ready = false;
    bool m_placed = false;

    QLineEdit* m_filter = nullptr;
    QTimer* m_filterTimer = nullptr;
    QTreeWidget* m_customers = nullptr;
    QTreeWidget* m_orders = nullptr;
    QTreeWidget* m_payments = nullptr;
    QLabel* m_customerName = nullptr;
    QLabel* m_customerCredit = nullptr;
    QLabel* m_databaseLabel = nullptr;
    QPushButton* m_cmdCustomerPayments = nullptr;
    QPushButton* m_cmdNewPayment = nullptr;
    QPushButton* m_cmdAllocateCredit = nullptr;
    QPushButton* m_cmdOrderPayments = nullptr;
    QPushButton* m_cmdEditPayment = nullptr;
    QPushButton* m_cmdPaymentAllocations = nullptr;
    QPushButton* m_cmdReceipt = nullptr;
    QAction* m_receiptAction = nullptr;
};

} // namespace tesr::host
