#include "ui/MainWindow.h"

#include "ui/IntegrityDialog.h"

#include "entry/Library.h"
#include "host/DatabaseCheck.h"
#include "host/ReferenceHost.h"
#include "platform/InputTools.h"
#include "platform/SqlConnection.h"
#include "platform/controls/Access.h"
#include "platform/controls/GridExport.h"
#include "shared/modSharedCustomers.h"
#include "shared/modSharedDateTime.h"
#include "shared/modSharedWork.h"
#include "values/Regional.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <initializer_list>

namespace tesr::host {

namespace {

// A label for text read from the database or typed by someone (a customer's name, a file's
// path): shown as it is, never rendered as HTML.
QLabel* plainLabel(const QString& name)
{
    auto* label = new QLabel;
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

constexpr int IdRole = Qt::UserRole;
constexpr int SortRole = Qt::UserRole + 1;
// Money (Currency) and dates (OleDate) as values, for an export to read as numbers and dates.
constexpr int ValueRole = Qt::UserRole + 2;

// Sorts by the value behind a cell (money, dates, numbers), not by its text.
class ListItem final : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override
    {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        const QVariant a = data(column, SortRole);
        const QVariant b = other.data(column, SortRole);
        if (a.isValid() && b.isValid())
            return QVariant::compare(a, b) == QPartialOrdering::Less;
        return text(column).localeAwareCompare(other.text(column)) < 0;
    }
};

// The stretch column takes the room the fixed-width figures leave. The context menu offers Copy
// and Export to CSV..., the file named after the list.
QTreeWidget* makeList(const QString& objectName, const QString& exportName, const QStringList& headers,
                      const QList<int>& widths, int stretchColumn)
{
    auto* list = new QTreeWidget;
    list->setObjectName(objectName);
    list->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* actions = new gridexport::GridActions(
        list, [list](bool selectedOnly) { return gridexport::TableOf(*list, selectedOnly, ValueRole); });
    actions->SetFileName([exportName] { return exportName; });
    list->setHeaderLabels(headers);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAlternatingRowColors(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    // Rows stay in the order read until the user sorts by a column (a header click).
    QHeaderView* header = list->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    QObject::connect(header, &QHeaderView::sortIndicatorChanged, list,
                     [list](int section, Qt::SortOrder order) { list->sortItems(section, order); });
    for (int i = 0; i < widths.size(); ++i)
        list->setColumnWidth(i, widths[i]);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(stretchColumn, QHeaderView::Stretch);
    return list;
}

QPushButton* makeButton(const QString& objectName, const QString& caption, const QString& description)
{
    auto* button = new QPushButton(caption);
    button->setObjectName(objectName);
    button->setAccessibleDescription(description);
    access::PressOnEnter(button); // a window, not a dialog: Enter would do nothing otherwise
    return button;
}

// A titled box holding a list and, below it at the right, the buttons that act on its rows.
QGroupBox* listBox(const QString& title, QTreeWidget* list, std::initializer_list<QPushButton*> buttons)
{
    auto* box = new QGroupBox(title);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(list);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (QPushButton* button : buttons)
        row->addWidget(button);
    layout->addLayout(row);
    return box;
}

void setMoney(QTreeWidgetItem* item, int column, const QVariant& value)
{
    const Currency amount = Currency::fromVariantOrZero(value);
    item->setText(column, Regional::formatCurrency(amount));
    item->setData(column, SortRole, QVariant::fromValue<qint64>(amount.raw()));
    item->setData(column, ValueRole, QVariant::fromValue(amount));
    item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
}

QString stateName(int state)
{
    switch (state) {
    case 1:
        return MainWindow::tr("Quote");
    case 2:
        return MainWindow::tr("Sale");
    case 3:
        return MainWindow::tr("Order");
    case 4:
        return MainWindow::tr("Closed");
    default:
        return QString::number(state);
    }
}

// A LIKE pattern that finds the typed text anywhere, with its wildcard characters taken
// literally ('\' is the escape character of the statement).
QString likeContains(ReferenceHost& host, const QString& text)
{
    QString escaped;
    for (const QChar c : text) {
        if (c == u'\\' || c == u'%' || c == u'_' || c == u'[')
            escaped += u'\\';
        escaped += c;
    }
    return QStringLiteral("'%") + host.FixForSQLInsert(escaped) + QStringLiteral("%' ESCAPE '\\'");
}

// Rows read again keep the order the user chose.
void fill(QTreeWidget* list, const QList<QTreeWidgetItem*>& items)
{
    list->addTopLevelItems(items);
    const int section = list->header()->sortIndicatorSection();
    if (section >= 0 && section < list->columnCount())
        list->sortItems(section, list->header()->sortIndicatorOrder());
}

} // namespace

// One item a row (its ID kept with it, describe fills the rest), in the order the user chose.
void MainWindow::readInto(QTreeWidget* list, const QString& statement,
                          const std::function<void(Recordset&, QTreeWidgetItem*)>& describe)
{
    auto conn = m_host.CurrentCompanyConn();
    if (!conn)
        return;
    if (auto rs = m_host.query(*conn, statement)) {
        QList<QTreeWidgetItem*> items;
        for (; !rs->Eof(); rs->MoveNext()) {
            auto* item = new ListItem;
            item->setData(0, IdRole, rs->Field(QStringLiteral("ID")).toInt());
            describe(*rs, item);
            items << item;
        }
        rs->Close();
        fill(list, items);
    }
    conn->Close();
}

namespace {

int selectedId(const QTreeWidget* list)
{
    const QList<QTreeWidgetItem*> items = list->selectedItems();
    return items.size() == 1 ? items.first()->data(0, IdRole).toInt() : 0;
}

bool focusItemById(QTreeWidget* list, int id)
{
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list->topLevelItem(i);
        if (item->data(0, IdRole).toInt() == id) {
            list->setCurrentItem(item);
            list->scrollToItem(item);
            return true;
        }
    }
    return false;
}

} // namespace

MainWindow::MainWindow(ReferenceHost& host, ILibrary& library, QWidget* parent)
    : QMainWindow(parent), m_host(host), m_library(library), m_receipts(tesrpay5_receipts(&library))
{
    setObjectName(QStringLiteral("hostMainWindow"));
    buildUi();
    buildMenus();
    updateTitle();
    updateButtons();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildUi()
{
    m_filter = new QLineEdit;
    m_filter->setObjectName(QStringLiteral("customerFilter"));
    m_filter->setPlaceholderText(tr("Find a customer by name"));
    m_filter->setClearButtonEnabled(true);
    if (auto* clear = m_filter->findChild<QAction*>(QStringLiteral("_q_qlineeditclearaction")))
        clear->setText(tr("Clear the filter")); // what a screen reader names the button
    m_filter->setAccessibleName(tr("Find a customer"));
    m_filter->setAccessibleDescription(tr("Narrows the customer list to the names holding this text (Ctrl+F)"));
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, m_filter, [this] { m_filter->setFocus(Qt::ShortcutFocusReason); });
    m_filterTimer = new QTimer(this);
    m_filterTimer->setSingleShot(true);
    m_filterTimer->setInterval(150);
    connect(m_filter, &QLineEdit::textChanged, m_filterTimer, qOverload<>(&QTimer::start));
    connect(m_filterTimer, &QTimer::timeout, this, [this] { loadCustomers(selectedCustomerId()); });

    m_customers =
        makeList(QStringLiteral("customerList"), tr("Customers"), {tr("Customer"), tr("Credit")}, {220, 90}, 0);
    connect(m_customers, &QTreeWidget::itemSelectionChanged, this, [this] { loadCustomerDetails(); });

    auto* left = new QWidget;
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(m_filter);
    leftLayout->addWidget(m_customers);

    m_customerName = plainLabel(QStringLiteral("customerName"));
    QFont bold = m_customerName->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.25);
    m_customerName->setFont(bold);
    m_customerCredit = plainLabel(QStringLiteral("customerCredit"));

    m_cmdCustomerPayments = makeButton(QStringLiteral("cmdCustomerPayments"), tr("&Payments..."),
                                       tr("Lists the selected customer's payments"));
    m_cmdNewPayment = makeButton(QStringLiteral("cmdNewPayment"), tr("&New Payment..."),
                                 tr("Records a payment from the selected customer"));
    m_cmdAllocateCredit = makeButton(QStringLiteral("cmdAllocateCredit"), tr("Allocate &Credit..."),
                                     tr("Applies the selected customer's credit to orders"));
    m_cmdOrderPayments = makeButton(QStringLiteral("cmdOrderPayments"), tr("&Order Payments..."),
                                    tr("Lists the payments applied to the selected order"));
    m_cmdEditPayment =
        makeButton(QStringLiteral("cmdEditPayment"), tr("&Edit Payment..."), tr("Corrects the selected payment"));
    m_cmdPaymentAllocations = makeButton(QStringLiteral("cmdPaymentAllocations"), tr("Payment &Allocations..."),
                                         tr("Lists the orders the selected payment was applied to"));
    m_cmdReceipt = makeButton(QStringLiteral("cmdReceipt"), tr("Rece&ipt..."),
                              tr("Prints the selected payment's receipt (Ctrl+P)"));
    m_cmdReceipt->setToolTip(tr("Print the selected payment's receipt (Ctrl+P)"));
    m_cmdReceipt->setAccessibleName(tr("Print Receipt"));
    m_cmdReceipt->setVisible(m_receipts != nullptr);

    auto* customerBar = new QHBoxLayout;
    auto* customerText = new QVBoxLayout;
    customerText->addWidget(m_customerName);
    customerText->addWidget(m_customerCredit);
    customerBar->addLayout(customerText, 1);
    customerBar->addWidget(m_cmdCustomerPayments);
    customerBar->addWidget(m_cmdNewPayment);
    customerBar->addWidget(m_cmdAllocateCredit);

    m_orders =
        makeList(QStringLiteral("orderList"), tr("Quotes, sales and orders"),
                 {tr("Number"), tr("Sidemark"), tr("State"), tr("Status"), tr("Total"), tr("Payments"), tr("Balance")},
                 {80, 200, 60, 60, 95, 95, 95}, 1);
    QGroupBox* ordersBox = listBox(tr("&Quotes, sales and orders"), m_orders, {m_cmdOrderPayments});

    m_payments = makeList(QStringLiteral("paymentList"), tr("Payments"),
                          {tr("Date"), tr("Details"), tr("Amount"), tr("Allocated")}, {95, 320, 95, 95}, 1);
    QGroupBox* paymentsBox =
        listBox(tr("Pa&yments"), m_payments, {m_cmdEditPayment, m_cmdPaymentAllocations, m_cmdReceipt});

    auto* lists = new QSplitter(Qt::Vertical);
    lists->addWidget(ordersBox);
    lists->addWidget(paymentsBox);
    lists->setChildrenCollapsible(false);
    lists->setStretchFactor(0, 3);
    lists->setStretchFactor(1, 2);

    auto* right = new QWidget;
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addLayout(customerBar);
    rightLayout->addWidget(lists, 1);

    auto* split = new QSplitter(Qt::Horizontal);
    split->addWidget(left);
    split->addWidget(right);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({330, 770});
    split->setChildrenCollapsible(false);
    auto* central = new QWidget;
    auto* centralLayout = new QVBoxLayout(central);
    centralLayout->addWidget(split);
    setCentralWidget(central);

    m_databaseLabel = plainLabel(QStringLiteral("databaseLabel"));
    statusBar()->addWidget(m_databaseLabel, 1);

    connect(m_orders, &QTreeWidget::itemSelectionChanged, this, [this] { updateButtons(); });
    connect(m_payments, &QTreeWidget::itemSelectionChanged, this, [this] { updateButtons(); });
    // A double click or Enter on a row opens its screen.
    connect(m_orders, &QTreeWidget::itemActivated, m_cmdOrderPayments, &QPushButton::click);
    connect(m_payments, &QTreeWidget::itemActivated, m_cmdEditPayment, &QPushButton::click);
    // Alt+U reaches the customers; the group boxes' letters reach the other two lists.
    auto* toCustomers = new QShortcut(access::Alt(Qt::Key_U), this);
    connect(toCustomers, &QShortcut::activated, m_customers,
            [this] { m_customers->setFocus(Qt::ShortcutFocusReason); });
    m_customers->setAccessibleDescription(tr("The customers, with the credit each has (Alt+U)"));
    m_orders->setAccessibleDescription(
        tr("The selected customer's quotes, sales and orders; Enter lists an order's payments (Alt+Q)"));
    m_payments->setAccessibleDescription(tr("The selected customer's payments; Enter edits one (Alt+Y)"));
    m_customers->setAccessibleName(tr("Customers"));
    m_orders->setAccessibleName(tr("Quotes, sales and orders"));
    m_payments->setAccessibleName(tr("Payments"));
    // The order of the window's layout: left to right, top to bottom.
    QWidget* tabOrder[] = {
        m_filter,           m_customers, m_cmdCustomerPayments, m_cmdNewPayment,         m_cmdAllocateCredit, m_orders,
        m_cmdOrderPayments, m_payments,  m_cmdEditPayment,      m_cmdPaymentAllocations, m_cmdReceipt};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(m_cmdCustomerPayments, &QPushButton::clicked, this,
            [this] { runScreen([this] { m_library.ShowCustomerPayments(selectedCustomerId()); }); });
    connect(m_cmdNewPayment, &QPushButton::clicked, this, [this] {
        int newId = 0;
        runScreen([&] { newId = m_library.ShowNewPayment(selectedCustomerId()); });
        if (newId > 0)
            selectPayment(newId);
    });
    connect(m_cmdAllocateCredit, &QPushButton::clicked, this,
            [this] { runScreen([this] { m_library.ShowAllocateCredit(selectedCustomerId()); }); });
    connect(m_cmdOrderPayments, &QPushButton::clicked, this,
            [this] { runScreen([this] { m_library.ShowOrderPayments(selectedOrderId()); }); });
    connect(m_cmdEditPayment, &QPushButton::clicked, this,
            [this] { runScreen([this] { m_library.ShowEditPayment(selectedPaymentId()); }); });
    connect(m_cmdPaymentAllocations, &QPushButton::clicked, this,
            [this] { runScreen([this] { m_library.ShowPaymentAllocations(selectedPaymentId()); }); });
    connect(m_cmdReceipt, &QPushButton::clicked, this, [this] { printReceipt(); });
    if (m_receipts) {
        // In the payment list's context menu above Copy, and Ctrl+P anywhere in the window.
        m_receiptAction = new QAction(tr("Print Receipt..."), m_payments);
        m_receiptAction->setObjectName(QStringLiteral("actionPrintReceipt"));
        m_receiptAction->setShortcut(QKeySequence::Print);
        m_receiptAction->setShortcutContext(Qt::WindowShortcut);
        connect(m_receiptAction, &QAction::triggered, this, [this] { printReceipt(); });
        QAction* first = m_payments->actions().value(0);
        m_payments->insertAction(first, m_receiptAction);
        auto* separator = new QAction(m_payments);
        separator->setSeparator(true);
        m_payments->insertAction(first, separator);
    }

    resize(1120, 720);
}

void MainWindow::showEvent(QShowEvent* event)
{
    // Where the user left the window, the first time it is shown (as the module's screens do).
    if (!m_placed) {
        m_placed = true;
        modSharedWork::RestoreWindowPlacement(QString::fromLatin1(PlacementName), *this, true);
    }
    QMainWindow::showEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    modSharedWork::SaveWindowPlacement(QString::fromLatin1(PlacementName), *this);
    QMainWindow::closeEvent(event);
}

void MainWindow::buildMenus()
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* open = file->addAction(tr("&Open Database..."), this, [this] { chooseDatabaseFile(); });
    open->setObjectName(QStringLiteral("actionOpenDatabase"));
    open->setShortcut(QKeySequence::Open);
    QAction* demo = file->addAction(tr("&Recreate Demo Database..."), this, [this] { recreateDemoDatabase(); });
    demo->setObjectName(QStringLiteral("actionRecreateDemo"));
    file->addSeparator();
    QAction* quit = file->addAction(tr("&Quit"), this, &QWidget::close);
    quit->setObjectName(QStringLiteral("actionQuit"));
    quit->setShortcut(QKeySequence::Quit);

    QMenu* tools = menuBar()->addMenu(tr("&Tools"));
    QAction* integrity = tools->addAction(tr("Check &Integrity..."), this, [this] {
        if (!m_ready)
            return;
        IntegrityDialog dialog(m_host, this);
        dialog.exec();
        if (dialog.repaired())
            reload();
    });
    integrity->setObjectName(QStringLiteral("actionCheckIntegrity"));
}

template <class Fn> void MainWindow::runScreen(Fn&& fn)
{
    if (!m_ready)
        return;
    fn();
    reload();
}

void MainWindow::setDatabaseReady(bool ready)
{
    m_ready = ready;
    updateTitle();
    reload();
}

void MainWindow::updateTitle()
{
    const QString url = m_host.config().databaseUrl();
    const auto parsed = DatabaseUrl::parse(url);
    const QString name = !parsed                                    ? DatabaseUrl::redacted(url)
                         : parsed->engine == ledger::Engine::SQLite ? QFileInfo(parsed->path).fileName()
                                                                    : parsed->toString();
    // The application's name last, once: the platform adds the display name to a title that
    // does not end with it already.
    setWindowTitle(tr("%1 — TESR 5 - Payments").arg(name));
    m_databaseLabel->setText(m_ready ? tr("Company database: %1")
                                           .arg(parsed && parsed->engine == ledger::Engine::SQLite
                                                    ? QDir::toNativeSeparators(parsed->path)
                                                    : name)
                                     : tr("No company database. Open one with File > Open Database."));
}

void MainWindow::reload()
{
    // The order and payment lists keep their selection by ID while the customer stays.
    loadCustomers(selectedCustomerId());
}

void MainWindow::loadCustomers(int selectId)
{
    const QSignalBlocker block(m_customers);
    m_customers->clear();
    if (m_ready) {
        QString statement =
            QStringLiteral("SELECT TOP %1 ID, CustomerName, Active, "
                           "(SELECT SUM(Amount - Allocated) FROM Payments "
                           "WHERE Payments.CustomerID = Customers.ID AND Allocated <> Amount) AS Credit "
                           "FROM Customers")
                .arg(CustomerLimit);
        QStringList where;
        // A user who may not pick every customer sees their own, as in the module's customer box.
        if (const std::optional<int> own = modSharedCustomers::OwnCustomersOnly(m_host.Security()))
            where << QStringLiteral("SalesRepID = %1").arg(*own);
        const QString filter = m_filter->text().trimmed();
        if (!filter.isEmpty())
            where << QStringLiteral("CustomerName LIKE ") + likeContains(m_host, filter);
        if (!where.isEmpty())
            statement += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
        statement += QStringLiteral(" ORDER BY CustomerName");
        readInto(m_customers, statement, [&](Recordset& rs, QTreeWidgetItem* item) {
            item->setText(0, rs.Field(QStringLiteral("CustomerName")).toString().trimmed());
            setMoney(item, 1, rs.Field(QStringLiteral("Credit")));
            if (rs.Field(QStringLiteral("Active")).toInt() == 0) {
                item->setForeground(0, palette().brush(QPalette::Disabled, QPalette::Text));
                item->setToolTip(0, tr("Inactive customer"));
            }
        });
    }
    if (selectId <= 0 || !focusItemById(m_customers, selectId)) {
        if (m_customers->topLevelItemCount() > 0)
            m_customers->setCurrentItem(m_customers->topLevelItem(0));
    }
    loadCustomerDetails();
}

void MainWindow::loadCustomerDetails()
{
    const int customer = selectedCustomerId();
    const QTreeWidgetItem* item = m_customers->currentItem();
    m_customerName->setText(customer > 0 && item ? item->text(0) : tr("No customer selected"));
    m_customerCredit->setText(customer > 0 && item ? tr("Credit: %1").arg(item->text(1)) : QString());
    loadOrders(customer, selectedOrderId());
    loadPayments(customer, selectedPaymentId());
    updateButtons();
}

void MainWindow::readCustomerRows(QTreeWidget* list, const QString& statement, int customerId, int selectId,
                                  const std::function<void(Recordset&, QTreeWidgetItem*)>& describe)
{
    const QSignalBlocker block(list);
    list->clear();
    if (m_ready && customerId > 0)
        readInto(list, statement.arg(customerId), describe);
    focusItemById(list, selectId);
}

void MainWindow::loadOrders(int customerId, int selectId)
{
    readCustomerRows(m_orders,
                     QStringLiteral("SELECT ID, OrderNumber, Sidemark, State, StatusCode, Total, Payments, Balance "
                                    "FROM Orders WHERE CustomerID = %1 ORDER BY OrderNumber"),
                     customerId, selectId, [this](Recordset& rs, QTreeWidgetItem* item) {
                         item->setText(0, rs.Field(QStringLiteral("OrderNumber")).toString());
                         item->setText(1, rs.Field(QStringLiteral("Sidemark")).toString());
                         const int state = rs.Field(QStringLiteral("State")).toInt();
                         item->setText(2, stateName(state));
                         item->setData(2, SortRole, state);
                         const int status = rs.Field(QStringLiteral("StatusCode")).toInt();
                         item->setText(3, QString::number(status));
                         item->setData(3, SortRole, status);
                         item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
                         setMoney(item, 4, rs.Field(QStringLiteral("Total")));
                         setMoney(item, 5, rs.Field(QStringLiteral("Payments")));
                         setMoney(item, 6, rs.Field(QStringLiteral("Balance")));
                     });
}

void MainWindow::loadPayments(int customerId, int selectId)
{
    readCustomerRows(m_payments,
                     QStringLiteral("SELECT ID, PaymentDate, dbo.PaymentDetails(ID) AS theDetails, Amount, Allocated "
                                    "FROM Payments WHERE CustomerID = %1 ORDER BY PaymentDate DESC, ID DESC"),
                     customerId, selectId, [](Recordset& rs, QTreeWidgetItem* item) {
                         if (const auto date = OleDate::fromVariant(rs.Field(QStringLiteral("PaymentDate")));
                             date && !date->isAbsent()) {
                             const OleDate local = modSharedDateTime::UTCToLocal(*date);
                             item->setText(0, Regional::formatShortDate(local));
                             item->setData(0, SortRole, QVariant::fromValue<qint64>(local.seconds()));
                             item->setData(0, ValueRole, QVariant::fromValue(local));
                         }
                         item->setText(
                             1, tesr::paymentDetailsShown(rs.Field(QStringLiteral("theDetails")).toString().trimmed()));
                         setMoney(item, 2, rs.Field(QStringLiteral("Amount")));
                         setMoney(item, 3, rs.Field(QStringLiteral("Allocated")));
                     });
}

void MainWindow::updateButtons()
{
    const bool customer = m_ready && selectedCustomerId() > 0;
    m_cmdCustomerPayments->setEnabled(customer);
    m_cmdNewPayment->setEnabled(customer);
    m_cmdAllocateCredit->setEnabled(customer);
    m_cmdOrderPayments->setEnabled(customer && selectedOrderId() > 0);
    const bool payment = customer && selectedPaymentId() > 0;
    m_cmdEditPayment->setEnabled(payment);
    m_cmdPaymentAllocations->setEnabled(payment);
    m_cmdReceipt->setEnabled(payment);
    if (m_receiptAction)
        m_receiptAction->setEnabled(payment);
}

void MainWindow::printReceipt()
{
    if (m_ready && m_receipts && selectedPaymentId() > 0)
        m_receipts->ShowReceipt(selectedPaymentId());
}

int MainWindow::selectedCustomerId() const
{
    return selectedId(m_customers);
}

int MainWindow::selectedOrderId() const
{
    return selectedId(m_orders);
}

int MainWindow::selectedPaymentId() const
{
    return selectedId(m_payments);
}

bool MainWindow::selectCustomer(int id)
{
    return focusItemById(m_customers, id);
}

bool MainWindow::selectOrder(int id)
{
    return focusItemById(m_orders, id);
}

bool MainWindow::selectPayment(int id)
{
    return focusItemById(m_payments, id);
}

bool MainWindow::openDatabase(const QString& url)
{
    if (!prepareCompanyDatabase(url, false, m_host.prompter(), &m_host.logger()))
        return false;
    m_host.config().setDatabaseUrl(url);
    m_filter->clear();
    setDatabaseReady(true);
    return true;
}

void MainWindow::chooseDatabaseFile()
{
    const auto current = DatabaseUrl::parse(m_host.config().databaseUrl());
    const QString folder = current && current->engine == ledger::Engine::SQLite
                               ? QFileInfo(current->path).absolutePath()
                               : QFileInfo(HostConfig::defaultDatabasePath()).absolutePath();
    const QString path = QFileDialog::getOpenFileName(this, tr("Open Company Database"), folder,
                                                      tr("SQLite databases (*.db *.sqlite *.sqlite3);;All files (*)"));
    if (!path.isEmpty())
        openDatabase(path);
}

bool MainWindow::recreateDemoDatabase()
{
    const QString path = HostConfig::defaultDatabasePath();
    const int answer =
        m_host.prompter().ask(tr("Recreate the demo database?"),
                              tr("The demo database at %1 is replaced by a new one. Every change made to it is lost.")
                                  .arg(QDir::toNativeSeparators(path)),
                              6, 3);
    if (answer != 2)
        return false;
    QString error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool ok = host::recreateDemoDatabase(path, &error);
    QApplication::restoreOverrideCursor();
    if (!ok) {
        m_host.logger().error(tr("The demo database could not be created."), path, error);
        m_host.prompter().showError(tr("The demo database could not be created."), path, error);
        return false;
    }
    m_host.config().setDatabaseUrl(path);
    m_filter->clear();
    setDatabaseReady(true);
    return true;
}

} // namespace tesr::host
