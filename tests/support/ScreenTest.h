#pragma once

// The steps the screen tests share: acting on a screen once it has loaded, typing into named
// controls and grid cells as a user does, reading what a grid shows, answering the standard
// message box, and reading the ledger back; plus the shop most of them start from.

#include "platform/controls/ReportControl.h"
#include "support/ModalDriver.h"
#include "support/ScriptedPrompter.h"
#include "support/Shorthand.h"
#include "support/TestDatabase.h"
#include "support/TestHost.h"

#include <QTest>
#include <QTimer>

#include <functional>

// Every step of the driver ran, and the host was asked just what the test expected.
#define SCREEN_DONE(driver, host)                                                                                      \
    do {                                                                                                               \
        QVERIFY2((driver).waitDone(), qPrintable((driver).failure()));                                                 \
        QVERIFY2((host).prompter().ok(), qPrintable((host).prompter().failures()));                                    \
    } while (0)

// Declares h (the test's host), b (what `make` built in its database) and d (the driver).
#define SCREEN_FIXTURE(make)                                                                                           \
    ::tesrtest::Fixture<decltype(make(std::declval<::tesrtest::TestDatabase&>()))> fixture_(make);                     \
    [[maybe_unused]] auto& [h, b, d] = fixture_

namespace tesrtest {

using tesr::ReportControl;

// The named child of a window; a missing control stops the program.
QWidget* childWidget(QWidget* w, const QString& name);
template <class T = QWidget> T* child(QWidget* w, const char* name)
{
    T* c = dynamic_cast<T*>(childWidget(w, QString::fromLatin1(name)));
    if (!c)
        qFatal("control %s is not of the expected kind", name);
    return c;
}

// Runs `act` on the screen once it has loaded: once `ready` holds (then the action must
// queue whatever follows it), or else at the second look (the first may come while the first
// activation still lets events through).
void onScreen(ModalDriver& d, const QString& screen, ModalDriver::Action act, std::function<bool(QWidget*)> ready = {});
// Presses a button from the event loop once the current step has returned (a press that opens
// a modal window the driver must answer).
inline void clickLater(QWidget* w, const QString& button)
{
    QTimer::singleShot(0, w, [w, button] { clickButton(w, button); });
}
// Queues OK on the next standard message box, keeping its text in `shown`.
void answerBox(ModalDriver& d, QString& shown);

// Selects what the field holds and types over it; `leave` then tabs away.
void typeOver(QWidget* field, const QString& text, bool leave = false);
// New Payment's first payment method (Cash in a Shop), picked with the keyboard: no payment is
// saved without one.
void pickFirstMethod(QWidget* newPayment);
// Takes the focus from the field the way that checks nothing: the window's Cancel pressed and
// the mouse released off it, so Cancel is not clicked either.
void leaveForCancel(QWidget* window);
// Clicks a record's cell (record index, column by item index); a record not shown fails the test.
void clickCell(ReportControl* g, int record, int column = 1, Qt::KeyboardModifiers keys = Qt::NoModifier);
void clickTag(ReportControl* g, int tag, Qt::KeyboardModifiers keys = Qt::NoModifier);
// Types into a record's cell (click, keys, Enter) and waits until the grid has taken it.
void editCell(ReportControl* g, int record, int column, const QString& text);

// Each record as "tag|caption|caption...".
QStringList shown(ReportControl* g);
QStringList tags(ReportControl* g);
QString focusedTag(ReportControl* g);
// The caption of a record's item.
inline QString caption(ReportControl* g, int record, int item)
{
    return g->Records().Record(record)->Item(item)->Caption();
}
// The text of a named field, label or button.
inline QString textOf(QWidget* w, const char* name)
{
    return childWidget(w, QString::fromLatin1(name))->property("text").toString();
}
// Which of the named controls are enabled: "all", "none", or the names of those that are.
QString enabledStates(QWidget* w, const QStringList& names);

// A picture of the widget under TESR_RENDER_DIR, when that is set (framed, on a real desktop).
void render(QWidget* w, const QString& file);
// Forgets where screens were placed (each test opens them at the design size).
void forgetPlacements(const QStringList& captions);
// Local time is `bias` minutes behind universal time, an hour less while `daylight`.
void setZone(int bias, bool daylight = false);
void resetZone();

// A payment's Allocated, and an order's Payments and Balance, as plain amounts.
QString allocatedOf(TestDatabase& db, int payment);
struct Owed {
    QString payments, balance;
    bool operator==(const Owed&) const = default;
};
char* toString(const Owed& o);
Owed owedOf(TestDatabase& db, int order);
QList<Owed> owedOf(TestDatabase& db, const QList<int>& orders);
// Every payment's Allocated, order's Payments/Balance, allocation and activity line: what an
// all-or-nothing check compares.
QString ledgerState(TestDatabase& db);
// "UniqueID=amount" for each allocation of a payment, in the order written.
QStringList allocationsOf(TestDatabase& db, int payment);
// The activity lines that meet `where`, in the order written.
QStringList activity(TestDatabase& db, const QString& where = QStringLiteral("1 = 1"));
// What the host showed as errors: headline, explanation and detail of each.
QStringList errors(const ScriptedPrompter& p);

// Methods Cash, Check and Visa (a card); Abbott has an order (800, deposit 400) and a sale
// (2,000, deposit 1,000.50) that take payments, a quote, and orders in states or with status
// codes that take none.
struct Shop {
    int cash = 0, check = 0, visa = 0, abbott = 0, orderA = 0, orderB = 0;
};
Shop makeShop(TestDatabase& db);

// A test's host over a fresh database holding what `make` builds in it, and its driver.
template <class Book> struct Fixture {
    explicit Fixture(Book (*make)(TestDatabase&)) : b(make(h.db())) {}
    TestHost h;
    Book b;
    ModalDriver d;
};

} // namespace tesrtest
