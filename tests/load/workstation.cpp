// One workstation of the load test: the reference host and the payments module over a shared
// company database, a person replaced by a script that works the real dialogs offscreen (keys
// and clicks on their named controls) for a fixed number of operations:
//   - New Payment: a payment of a random amount, part of it applied to one of the customer's
//     orders (the rest stays credit);
//   - Allocate Credit: some or all of a payment's credit applied to one order;
//   - Payment Allocations: one allocation removed (any workstation's).
// The host's questions are answered Yes, its notices OK; a refusal the module shows in a
// message box is acknowledged and the dialog cancelled. Each operation has a watchdog.
//
//   tesr_workstation --database URL --customers 1,2,3 --operations N --seed S --user ID
//
// At the end one JSON object goes to the standard output: the saves that went through, the
// amounts applied and removed per order (from what the dialogs showed and wrote, not from the
// database), the refusals, and any failure. Exit code 0 unless the script itself failed.

#include "entry/Library.h"
#include "forms/frmAllocateCredit/frmAllocateCredit.h"
#include "host/HostConfig.h"
#include "host/Logger.h"
#include "host/Prompter.h"
#include "host/ReferenceHost.h"
#include "platform/SqlConnection.h"
#include "platform/controls/ComboBox.h"
#include "platform/controls/ReportControl.h"
#include "support/ModalDriver.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QMap>
#include <QMessageBox>
#include <QPointer>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>

using namespace tesr;

namespace {

constexpr int OperationTimeoutMs = 30000;

// Answers every question Yes and every notice OK; keeps what it was told.
class AgreeingPrompter final : public host::Prompter {
public:
    int ask(const QString& headline, const QString&, int buttons, int) override
    {
        said << headline;
        return buttons == 6 ? 2 : 1;
    }
    void showError(const QString& headline, const QString& explanation, const QString& detail) override
    {
        errors << headline + QStringLiteral(" / ") + explanation + QStringLiteral(" / ") + detail;
    }
    QStringList said;
    QStringList errors;
};

// ---- working the controls ------------------------------------------------------------------------

template <class T> T* child(QWidget* w, const char* name)
{
    return w ? w->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}

void typeText(QWidget* w, const QString& text)
{
    for (const QChar c : text)
        QTest::keyClick(w, char(c.unicode()));
}

void typeOver(QWidget* field, const QString& text)
{
    field->setFocus(Qt::TabFocusReason);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(field, Qt::Key_Delete);
    else
        typeText(field, text);
}

bool clickCell(ReportControl* g, int record, int column)
{
    ReportRow* row = g->Rows().FindRow(g->Records().Record(record));
    if (!row)
        return false;
    g->scrollTo(g->model()->index(row->Index(), 0)); // a long list: bring the row into view
    const QRect cell = g->CellRect(row, g->Columns().Find(column));
    if (cell.isEmpty())
        return false;
    QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    return true;
}

// Click, type, Enter: as a user fills a cell.
bool typeIntoCell(ReportControl* g, int record, int column, const QString& text)
{
    if (!clickCell(g, record, column))
        return false;
    // The first key opens the cell's editor: each key goes to whatever has the focus then.
    for (const QChar c : text) {
        if (!QApplication::focusWidget())
            return false;
        QTest::keyClick(QApplication::focusWidget(), char(c.unicode()));
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCoreApplication::processEvents();
    return true;
}

void pickMethod(QWidget* w, const QString& name)
{
    ComboBox* box = child<ComboBox>(w, "cboPaymentMethod");
    box->setFocus(Qt::TabFocusReason);
    QTest::keyClick(box, Qt::Key_Home);
    for (int i = 0; i < box->ListCount() && box->Text() != name; ++i)
        QTest::keyClick(box, Qt::Key_Down);
}

void clickLater(QWidget* w, const QString& button)
{
    QPointer<QWidget> target(w);
    QTimer::singleShot(0, [target, button] {
        if (target)
            tesrtest::clickButton(target, button);
    });
}

Currency moneyOf(const ReportRecordItem* item)
{
    return item ? Currency::fromVariant(item->Value()).value_or(Currency()) : Currency();
}

// ---- the script ----------------------------------------------------------------------------------

class Workstation {
public:
    Workstation(host::ReferenceHost& host, Library& library, AgreeingPrompter& prompter, QList<int> customers,
                quint32 seed)
        : m_host(host), m_library(library), m_prompter(prompter), m_customers(std::move(customers)), m_rng(seed)
    {
        m_poll.setInterval(10);
        QObject::connect(&m_poll, &QTimer::timeout, [this] { poll(); });
    }

    bool run(int operations)
    {
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < operations && m_failure.isEmpty(); ++i) {
            const int customer = m_customers[int(m_rng.bounded(quint32(m_customers.size())))];
            const quint32 pick = m_rng.bounded(10u);
            if (pick < 4)
                newPayment(customer);
            else if (pick < 7)
                allocateCredit(customer);
            else
                removeAllocation();
        }
        m_seconds = double(clock.elapsed()) / 1000.0;
        return m_failure.isEmpty();
    }

    QJsonObject summary() const
    {
        auto amounts = [](const QMap<QString, Currency>& map) {
            QJsonObject o;
            for (auto it = map.cbegin(); it != map.cend(); ++it)
                o.insert(it.key(), it.value().toPlainString());
            return o;
        };
        QJsonObject o;
        o.insert(QStringLiteral("newPayments"), m_newPayments);
        o.insert(QStringLiteral("credits"), m_credits);
        o.insert(QStringLiteral("removals"), m_removals);
        o.insert(QStringLiteral("allocationsMade"), m_allocationsMade);
        o.insert(QStringLiteral("refused"), m_refused);
        o.insert(QStringLiteral("applied"), amounts(m_applied));
        o.insert(QStringLiteral("removed"), amounts(m_removed));
        o.insert(QStringLiteral("seconds"), m_seconds);
        o.insert(QStringLiteral("failure"), m_failure);
        o.insert(QStringLiteral("refusals"), QJsonArray::fromStringList(m_refusals));
        o.insert(QStringLiteral("lostRaces"), QJsonArray::fromStringList(m_lostRaces));
        o.insert(QStringLiteral("errors"), QJsonArray::fromStringList(m_prompter.errors));
        return o;
    }

private:
    // The step to run on the active modal window each time the poll finds it (until it
    // returns true: done with this window).
    using Step = std::function<bool(QWidget*)>;

    void start(Step step)
    {
        m_step = std::move(step);
        m_started.start();
        m_poll.start();
    }
    void stop() { m_poll.stop(); }

    void poll()
    {
        if (m_busy)
            return;
        m_busy = true;
        QWidget* modal = QApplication::activeModalWidget();
        if (m_started.elapsed() > OperationTimeoutMs) {
            m_failure = QStringLiteral("an operation did not finish in time (window: %1)")
                            .arg(modal ? modal->objectName() : QStringLiteral("none"));
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isModal() && w->isVisible())
                    w->close();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            // A refusal the module tells in a message box: acknowledged; the dialog is cancelled.
            m_refusals << box->text();
            ++m_refused;
            m_cancelNext = true;
            tesrtest::answerMessageBox(box, QMessageBox::Ok);
        } else if (modal && m_cancelNext && modal->findChild<QWidget*>(QStringLiteral("cmdCancel"))) {
            m_cancelNext = false;
            clickLater(modal, QStringLiteral("cmdCancel"));
        } else if (modal && m_step && m_step(modal)) {
            m_step = nullptr;
        }
        m_busy = false;
    }

    Currency randomAmount(Currency low, Currency high)
    {
        if (high <= low)
            return high;
        const qint64 span = (high - low).rounded(2).raw() / 100;
        return low + Currency::fromRaw(qint64(m_rng.bounded(quint32(std::min<qint64>(span, 1000000)) + 1)) * 100);
    }

    void newPayment(int customer)
    {
        const Currency amount = randomAmount(Currency::fromUnits(5), Currency::fromUnits(200));
        QMap<QString, Currency> written;
        start([&](QWidget* w) {
            if (w->objectName() != u"frmNewPayment")
                return false;
            ComboBox* amountBox = child<ComboBox>(w, "cboAmount");
            auto* orders = child<ReportControl>(w, "rptOrders");
            if (!amountBox || amountBox->Text().isEmpty() || !orders)
                return false; // still loading
            pickMethod(w, QStringLiteral("Cash"));
            typeOver(amountBox, amount.toPlainString());
            QTest::keyClick(amountBox, Qt::Key_Tab);
            const int count = orders->Records().Count();
            // One order takes part or all of it; the others nothing.
            const int chosen = count > 0 ? int(m_rng.bounded(quint32(count))) : -1;
            const Currency applied = m_rng.bounded(4u) == 0 ? amount : randomAmount(Currency(), amount);
            for (int r = 0; r < count; ++r)
                typeIntoCell(orders, r, 4, r == chosen ? applied.toPlainString() : QStringLiteral("0"));
            // What the dialog will write: its own "To Allocate" cells.
            for (int r = 0; r < count; ++r) {
                ReportRecord* record = orders->Records().Record(r);
                const Currency value = moneyOf(record->Item(4));
                if (value > Currency())
                    written[record->Item(6)->Value().toString()] += value;
            }
            clickLater(w, QStringLiteral("cmdOK"));
            return true;
        });
        const int id = m_library.ShowNewPayment(customer);
        stop();
        if (id > 0) {
            ++m_newPayments;
            for (auto it = written.cbegin(); it != written.cend(); ++it) {
                m_applied[it.key().toUpper()] += it.value();
                ++m_allocationsMade;
            }
        }
    }

    void allocateCredit(int customer)
    {
        QString order;
        Currency amount;
        start([&](QWidget* w) {
            auto* form = qobject_cast<frmAllocateCredit*>(w);
            if (!form)
                return false;
            if (!form->DataLoaded())
                return false;
            auto* payments = child<ReportControl>(w, "rptPayments");
            auto* orders = child<ReportControl>(w, "rptOrders");
            if (payments->Records().Count() == 0 || orders->Records().Count() == 0) {
                clickLater(w, QStringLiteral("cmdCancel"));
                return true;
            }
            const int p = int(m_rng.bounded(quint32(payments->Records().Count())));
            clickCell(payments, p, frmAllocateCredit::PayDetails);
            const Currency credit = moneyOf(payments->Records().Record(p)->Item(frmAllocateCredit::PayUnallocated));
            const int o = int(m_rng.bounded(quint32(orders->Records().Count())));
            // Often all of it: two workstations then want the same credit.
            amount = m_rng.bounded(2u) == 0 ? credit : randomAmount(Currency::fromRaw(100), credit);
            if (!(amount > Currency())) {
                clickLater(w, QStringLiteral("cmdCancel"));
                return true;
            }
            typeIntoCell(orders, o, frmAllocateCredit::OrdAllocate, amount.toPlainString());
            ReportRecord* record = orders->Records().Record(o);
            amount = moneyOf(record->Item(frmAllocateCredit::OrdAllocate));
            order = record->Item(frmAllocateCredit::OrdUniqueID)->Value().toString();
            clickLater(w, QStringLiteral("cmdOK"));
            return true;
        });
        const bool saved = m_library.ShowAllocateCredit(customer);
        stop();
        if (saved && !order.isEmpty() && amount > Currency()) {
            ++m_credits;
            ++m_allocationsMade;
            m_applied[order.toUpper()] += amount;
        }
    }

    void removeAllocation()
    {
        // Any allocation, of any workstation.
        int allocation = 0;
        int payment = 0;
        QString order;
        Currency amount;
        if (auto conn = m_host.CurrentCompanyConn()) {
            int top = 0;
            if (auto rs = conn->OpenRecordset(QStringLiteral("SELECT MAX(ID) AS Top FROM PaymentAllocations"))) {
                top = rs->Eof() ? 0 : rs->Field(QStringLiteral("Top")).toInt();
                rs->Close();
            }
            if (top > 0) {
                const int from = 1 + int(m_rng.bounded(quint32(top)));
                if (auto rs = conn->OpenRecordset(QStringLiteral("SELECT TOP 1 ID, PaymentID, OrderUniqueID, Amount "
                                                                 "FROM PaymentAllocations WHERE ID >= %1 ORDER BY ID")
                                                      .arg(from))) {
                    if (!rs->Eof()) {
                        allocation = rs->Field(QStringLiteral("ID")).toInt();
                        payment = rs->Field(QStringLiteral("PaymentID")).toInt();
                        order = rs->Field(QStringLiteral("OrderUniqueID")).toString();
                        amount = Currency::fromVariant(rs->Field(QStringLiteral("Amount"))).value_or(Currency());
                    }
                    rs->Close();
                }
            }
            conn->Close();
        }
        if (allocation == 0)
            return;
        bool removed = false;
        QElapsedTimer seen;
        start([&](QWidget* w) {
            if (w->objectName() != u"frmPaymentAllocations")
                return false;
            auto* grid = child<ReportControl>(w, "rptAllocations");
            if (!seen.isValid())
                seen.start();
            // Loaded on the first activation; an empty list is given a moment to fill.
            if (grid->Records().Count() == 0 && seen.elapsed() < 300)
                return false;
            int record = -1;
            for (int r = 0; r < grid->Records().Count(); ++r)
                if (grid->Records().Record(r)->Tag() == QString::number(allocation))
                    record = r;
            if (record >= 0 && clickCell(grid, record, 1)) {
                const int before = grid->Records().Count();
                const qsizetype errorsBefore = m_prompter.errors.size();
                tesrtest::clickButton(w, QStringLiteral("cmdDelete"));
                removed = grid->Records().Count() == before - 1 && m_prompter.errors.size() == errorsBefore;
                if (m_prompter.errors.size() != errorsBefore)
                    ++m_refused;
            } else {
                ++m_refused; // gone from the list already
            }
            clickLater(w, QStringLiteral("cmdClose"));
            return true;
        });
        const qsizetype errorsBefore = m_prompter.errors.size();
        m_library.ShowPaymentAllocations(payment);
        stop();
        if (removed) {
            ++m_removals;
            m_removed[order.toUpper()] += amount;
        } else if (m_prompter.errors.size() > errorsBefore && !stillThere(allocation)) {
            // Another workstation removed it between the list and the click: the save was refused
            // with nothing written, which is what a lost race must do.
            m_lostRaces << m_prompter.errors.takeLast();
        }
    }

    bool stillThere(int allocation)
    {
        auto conn = m_host.CurrentCompanyConn();
        if (!conn)
            return true;
        bool found = true;
        if (auto rs = conn->OpenRecordset(
                QStringLiteral("SELECT COUNT(*) AS Here FROM PaymentAllocations WHERE ID = %1").arg(allocation))) {
            found = rs->Eof() || rs->Field(QStringLiteral("Here")).toInt() > 0;
            rs->Close();
        }
        conn->Close();
        return found;
    }

    host::ReferenceHost& m_host;
    Library& m_library;
    AgreeingPrompter& m_prompter;
    QList<int> m_customers;
    QRandomGenerator m_rng;
    QTimer m_poll;
    QElapsedTimer m_started;
    Step m_step;
    bool m_busy = false;
    bool m_cancelNext = false;

    int m_newPayments = 0;
    int m_credits = 0;
    int m_removals = 0;
    int m_allocationsMade = 0;
    int m_refused = 0;
    QMap<QString, Currency> m_applied;
    QMap<QString, Currency> m_removed;
    QStringList m_refusals;
    QStringList m_lostRaces;
    QString m_failure;
    double m_seconds = 0;
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCoreApplication::setAttribute(Qt::AA_Use96Dpi, true);
    QApplication app(argc, argv);

    QCommandLineParser parser;
    const QCommandLineOption database(QStringLiteral("database"), QStringLiteral("Company database URL."),
                                      QStringLiteral("url"));
    const QCommandLineOption customers(QStringLiteral("customers"), QStringLiteral("Customer IDs to work on."),
                                       QStringLiteral("ids"));
    const QCommandLineOption operations(QStringLiteral("operations"), QStringLiteral("How many operations."),
                                        QStringLiteral("n"), QStringLiteral("10"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Random seed."), QStringLiteral("n"),
                                  QStringLiteral("1"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("User ID."), QStringLiteral("id"),
                                  QStringLiteral("1"));
    const QCommandLineOption logs(QStringLiteral("log-dir"), QStringLiteral("Log folder."), QStringLiteral("folder"));
    parser.addOptions({database, customers, operations, seed, user, logs});
    parser.process(app);

    QList<int> ids;
    for (const QString& id : parser.value(customers).split(u',', Qt::SkipEmptyParts))
        ids << id.toInt();
    if (!parser.isSet(database) || ids.isEmpty()) {
        std::fprintf(stderr, "tesr_workstation: --database and --customers are needed.\n");
        return 2;
    }

    host::HostConfig config;
    config.setDatabaseUrl(parser.value(database));
    config.setUserId(parser.value(user).toInt());
    config.setDefaultRights(-1);
    config.setLogFolder(parser.value(logs));
    auto prompter = std::make_shared<AgreeingPrompter>();
    auto logger = std::make_shared<host::Logger>(config.logFolder());
    auto services = std::make_shared<host::ReferenceHost>(config, prompter, logger);
    Library library;
    library.Initialize(services);

    Workstation station(*services, library, *prompter, ids, parser.value(seed).toUInt());
    const bool ok = station.run(parser.value(operations).toInt());
    library.PreTerminate();
    std::printf("%s\n", QJsonDocument(station.summary()).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
    return ok ? 0 : 1;
}
