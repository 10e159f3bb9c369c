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
//   tesr_workstation URL CUSTOMER-IDS(1,2,3) OPERATIONS SEED USER-ID LOG-FOLDER NAME
//
// The standard output is a journal, one JSON object per line, written straight to the pipe so
// that a line outlives the process the moment it is written (the crash test kills
// workstations at random moments): before each save what it is about to write, as the dialog
// shows it ({"intent": "pay"|"credit"|"remove", "tag": NAME-n, ...}), after it whether it was
// saved ({"done": tag, "saved": ...}), and every error the host showed ({"error": ...}). Each
// new payment carries its tag as its memo, so the database tells which ones were written. The
// last line is {"failure": ...}: empty, or what went wrong with the script itself (then the
// exit code is 1).

#include "entry/Library.h"
#include "forms/frmAllocateCredit/frmAllocateCredit.h"
#include "host/HostConfig.h"
#include "host/ReferenceHost.h"
#include "platform/controls/ComboBox.h"
#include "platform/controls/ReportControl.h"
#include "support/ScreenTest.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QRandomGenerator>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <functional>

#include <unistd.h>

using namespace tesr;

namespace {

// Answers every question Yes and every notice OK; keeps the errors it was shown.
class AgreeingPrompter final : public host::Prompter {
public:
    int ask(const QString& headline, const QString&, int buttons, int) override
    {
        if (buttons != 6)
            told << headline; // a notice, such as a row another workstation removed first
        return buttons == 6 ? 2 : 1;
    }
    void showError(const QString& headline, const QString& explanation, const QString& detail) override
    {
        errors << headline + " / " + explanation + " / " + detail;
    }
    QStringList errors;
    QStringList told;
};

template <class T> T* child(QWidget* w, const char* name)
{
    return w->findChild<T*>(QString::fromLatin1(name));
}

bool clickCell(ReportControl* g, int record, int column)
{
    ReportRow* row = g->Rows().FindRow(g->Records().Record(record));
    if (!row)
        return false;
    g->scrollTo(g->model()->index(row->Index(), 0)); // a long list: bring the row into view
    const QRect cell = g->CellRect(row, g->Columns().Find(column));
    if (!cell.isEmpty())
        QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    return !cell.isEmpty();
}

Currency cellMoney(ReportControl* g, int record, int column)
{
    return Currency::fromVariant(g->Records().Record(record)->Item(column)->Value()).value_or(Currency());
}

// Click, type, Enter: as a user fills a cell; answers what the cell then holds.
Currency typeIntoCell(ReportControl* g, int record, int column, Currency amount)
{
    if (clickCell(g, record, column) && QApplication::focusWidget()) {
        for (const QChar c : amount.toPlainString()) // the first key opens the cell's editor
            QTest::keyClick(QApplication::focusWidget(), char(c.unicode()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCoreApplication::processEvents();
    }
    return cellMoney(g, record, column);
}

// One line of the journal, in one write to the pipe (no buffer to lose in a kill).
void journal(const QJsonObject& entry)
{
    const QByteArray line = QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n';
    for (qsizetype done = 0; done < line.size();) {
        const ssize_t n = ::write(STDOUT_FILENO, line.constData() + done, size_t(line.size() - done));
        if (n <= 0)
            return;
        done += n;
    }
}

class Workstation {
public:
    Workstation(std::shared_ptr<host::ReferenceHost> host, AgreeingPrompter& prompter, const QStringList& customers,
                quint32 seed, const QString& journalName)
        : m_host(*host), m_prompter(prompter), m_rng(seed), m_journalName(journalName)
    {
        for (const QString& id : customers)
            m_customers << id.toInt();
        m_library.Initialize(host);
        m_poll.setInterval(10);
        QObject::connect(&m_poll, &QTimer::timeout, [this] { poll(); });
    }

    // Answers what went wrong with the script (empty: nothing).
    QString run(int operations)
    {
        for (int i = 0; i < operations && m_failure.isEmpty(); ++i) {
            const int customer = m_customers[pickOne(int(m_customers.size()))];
            const quint32 pick = m_rng.bounded(10u);
            pick < 4 ? newPayment(customer) : pick < 7 ? allocateCredit(customer) : removeAllocation();
            for (; m_errorsJournaled < m_prompter.errors.size(); ++m_errorsJournaled)
                journal({{"error", m_prompter.errors[m_errorsJournaled]}});
        }
        m_library.PreTerminate();
        return m_failure;
    }

private:
    // Opens a dialog with `show`; `step` works its window each time the poll finds it active,
    // until it answers true.
    void work(const QString& operation, std::function<bool(QWidget*)> step, const std::function<void()>& show)
    {
        m_operation = operation;
        m_step = std::move(step);
        m_started.start();
        m_poll.start();
        show();
        m_poll.stop();
    }

    void poll()
    {
        if (std::exchange(m_busy, true))
            return;
        QWidget* modal = QApplication::activeModalWidget();
        if (m_started.elapsed() > 30000) {
            // Every visible window named: a modal loop left running behind another one shows.
            QStringList windows;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible())
                    windows << w->objectName() + (w->isModal() ? " (modal)" : "");
            m_failure = "an operation (" + m_operation + ") did not finish in time; windows: " + windows.join(u", ");
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isModal() && w->isVisible())
                    w->close();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            // A refusal the module tells in a message box: acknowledged; the dialog is cancelled.
            m_cancelNext = true;
            tesrtest::answerMessageBox(box, QMessageBox::Ok);
        } else if (modal && m_cancelNext && child<QWidget>(modal, "cmdCancel")) {
            m_cancelNext = false;
            tesrtest::clickLater(modal, QStringLiteral("cmdCancel"));
        } else if (modal && m_step && m_step(modal)) {
            m_step = nullptr;
        }
        m_busy = false;
    }

    int pickOne(int count) { return count > 0 ? int(m_rng.bounded(quint32(count))) : -1; }

    QString nextTag() { return m_journalName + u'-' + QString::number(++m_tags); }
    void journalDone(const QString& tag, bool saved) { journal({{"done", tag}, {"saved", saved}}); }
    // Whole cents between low and high.
    Currency randomAmount(Currency low, Currency high)
    {
        const qint64 cents = high.minus(low).value().rounded(2).raw() / 100;
        return cents <= 0 ? high : low.plus(Currency::fromRaw(qint64(m_rng.bounded(quint32(cents) + 1)) * 100)).value();
    }
    void newPayment(int customer)
    {
        const Currency amount = randomAmount(Currency::fromUnits(5), Currency::fromUnits(200));
        QMap<QString, Currency> written;
        int id = 0;
        const QString tag = nextTag();
        work(
            QStringLiteral("New Payment"),
            [&](QWidget* w) {
                ComboBox* amountBox = child<ComboBox>(w, "cboAmount");
                auto* orders = child<ReportControl>(w, "rptOrders");
                if (w->objectName() != u"frmNewPayment" || !amountBox || amountBox->Text().isEmpty())
                    return false;             // still loading
                tesrtest::pickFirstMethod(w); // the load test's only one, Cash
                tesrtest::typeOver(amountBox, amount.toPlainString(), true);
                // One order takes part or all of it, the others nothing: what the dialog will
                // write is what its "To Allocate" cells then hold.
                const int count = orders->Records().Count(), chosen = pickOne(count);
                const Currency part = m_rng.bounded(4u) == 0 ? amount : randomAmount(Currency(), amount);
                for (int r = 0; r < count; ++r)
                    typeIntoCell(orders, r, 4, r == chosen ? part : Currency());
                for (int r = 0; r < count; ++r)
                    if (const Currency v = cellMoney(orders, r, 4); v > Currency())
                        written[orders->Records().Record(r)->Item(6)->Value().toString()] = v;
                tesrtest::typeOver(child<QWidget>(w, "txtDescription"), tag);
                QJsonObject parts;
                for (auto it = written.cbegin(); it != written.cend(); ++it)
                    parts.insert(it.key(), it.value().toPlainString());
                journal({{"intent", "pay"},
                         {"tag", tag},
                         {"customer", customer},
                         {"amount", amount.toPlainString()},
                         {"orders", parts}});
                tesrtest::clickLater(w, QStringLiteral("cmdOK"));
                return true;
            },
            [&] { id = m_library.ShowNewPayment(customer); });
        journalDone(tag, id > 0);
    }

    void allocateCredit(int customer)
    {
        QString order;
        Currency amount;
        bool saved = false;
        const QString tag = nextTag();
        work(
            QStringLiteral("Allocate Credit"),
            [&](QWidget* w) {
                auto* form = qobject_cast<frmAllocateCredit*>(w);
                if (!form || !form->DataLoaded())
                    return false;
                auto* payments = child<ReportControl>(w, "rptPayments");
                auto* orders = child<ReportControl>(w, "rptOrders");
                const int p = pickOne(payments->Records().Count()), o = pickOne(orders->Records().Count());
                if (p >= 0 && o >= 0 && clickCell(payments, p, frmAllocateCredit::PayDetails)) {
                    const Currency credit = cellMoney(payments, p, frmAllocateCredit::PayUnallocated);
                    // Often all of it: two workstations then want the same credit.
                    amount = typeIntoCell(orders, o, frmAllocateCredit::OrdAllocate,
                                          m_rng.bounded(2u) ? credit : randomAmount(Currency::fromRaw(100), credit));
                    order = orders->Records().Record(o)->Item(frmAllocateCredit::OrdUniqueID)->Value().toString();
                    if (amount > Currency())
                        journal({{"intent", "credit"},
                                 {"tag", tag},
                                 {"payment", payments->Records().Record(p)->Tag().toInt()},
                                 {"order", order},
                                 {"amount", amount.toPlainString()}});
                }
                tesrtest::clickLater(w, QString::fromLatin1(amount > Currency() ? "cmdOK" : "cmdCancel"));
                return true;
            },
            [&] { saved = m_library.ShowAllocateCredit(customer) && amount > Currency(); });
        if (amount > Currency())
            journalDone(tag, saved);
    }

    // The first value of a statement's first row, on a session of the host's.
    QVariantList firstRow(const QString& statement)
    {
        auto conn = m_host.CurrentCompanyConn();
        auto rs = conn ? conn->OpenRecordset(statement) : nullptr;
        QVariantList row;
        for (int i = 0; rs && !rs->Eof() && i < rs->FieldCount(); ++i)
            row << rs->FieldValue(i);
        return row;
    }

    void removeAllocation()
    {
        // Any allocation of any workstation, from somewhere along the list.
        const QVariantList row = firstRow(QStringLiteral("SELECT TOP 1 ID, PaymentID, OrderUniqueID, Amount FROM "
                                                         "PaymentAllocations WHERE ID >= (SELECT MAX(ID) FROM "
                                                         "PaymentAllocations) * %1 / 100 ORDER BY ID")
                                              .arg(m_rng.bounded(101u)));
        if (row.isEmpty())
            return;
        const qsizetype errors = m_prompter.errors.size();
        const qsizetype told = m_prompter.told.size();
        bool removed = false;
        const QString tag = nextTag();
        bool tried = false;
        work(
            QStringLiteral("Payment Allocations"),
            [&](QWidget* w) {
                auto* grid = child<ReportControl>(w, "rptAllocations");
                // Loaded on the first activation: an empty list is given a moment to fill.
                if (!grid || (grid->Records().Count() == 0 && m_started.elapsed() < 300))
                    return false;
                for (int r = 0, before = grid->Records().Count(); r < before && !tried; ++r)
                    if (grid->Records().Record(r)->Tag() == row[0].toString() && clickCell(grid, r, 1)) {
                        journal({{"intent", "remove"},
                                 {"tag", tag},
                                 {"allocation", row[0].toInt()},
                                 {"payment", row[1].toInt()},
                                 {"order", row[2].toString()},
                                 {"amount", Currency::fromVariant(row[3]).value_or(Currency()).toPlainString()}});
                        tried = true;
                        tesrtest::clickButton(w, QStringLiteral("cmdDelete"));
                        // A row gone already leaves the list too, with a notice instead of a removal.
                        removed = grid->Records().Count() == before - 1 && m_prompter.errors.size() == errors &&
                                  m_prompter.told.size() == told;
                    }
                tesrtest::clickLater(w, QStringLiteral("cmdClose"));
                return true;
            },
            [&] { m_library.ShowPaymentAllocations(row[1].toInt()); });
        if (tried)
            journalDone(tag, removed);
        // Another workstation removed it between the list and the click: the save was refused
        // with nothing written, which is what a lost race must do.
        if (!removed && m_prompter.errors.size() > errors &&
            firstRow("SELECT COUNT(*) FROM PaymentAllocations WHERE ID = " + row[0].toString())[0].toInt() == 0)
            m_prompter.errors.removeLast();
    }

    host::ReferenceHost& m_host;
    AgreeingPrompter& m_prompter;
    Library m_library;
    QList<int> m_customers;
    QRandomGenerator m_rng;
    QTimer m_poll;
    QElapsedTimer m_started;
    std::function<bool(QWidget*)> m_step;
    bool m_busy = false, m_cancelNext = false;
    QString m_failure;
    QString m_operation; // the one under way, for the watchdog's message
    QString m_journalName;
    int m_tags = 0;
    qsizetype m_errorsJournaled = 0;
};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    // Window placements are saved as each form ends, under a lock file; a workstation killed
    // while it held one leaves it to stall the next writer for half a minute. So each keeps its
    // own, in the folder the test gives it, not in the one all test programs share.
    if (const QString own = qEnvironmentVariable("XDG_CONFIG_HOME"); !own.isEmpty())
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, own);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCoreApplication::setAttribute(Qt::AA_Use96Dpi, true);
    QApplication app(argc, argv);
    const QStringList args = app.arguments(); // see the top of this file
    if (args.size() != 8)
        return 2;
    host::HostConfig config;
    config.setDatabaseUrl(args[1]);
    config.setUserId(args[5].toInt());
    config.setDefaultRights(-1);
    config.setLogFolder(args[6]);
    // A clerk at the counter would be offered a receipt after each save; this one agrees to
    // everything and has no printer.
    config.setOption(QStringLiteral("Receipts"), QStringLiteral("OfferAfterNewPayment"), 0);
    auto prompter = std::make_shared<AgreeingPrompter>();
    auto services =
        std::make_shared<host::ReferenceHost>(config, prompter, std::make_shared<host::Logger>(config.logFolder()));
    const QString failure =
        Workstation(services, *prompter, args[2].split(u','), args[4].toUInt(), args[7]).run(args[3].toInt());
    journal({{"failure", failure}});
    return failure.isEmpty() ? 0 : 1;
}
