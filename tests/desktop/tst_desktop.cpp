// The module's windows on a real desktop, where a window manager frames, places, stacks and
// titles them (Xvfb with openbox; this program runs there only): every screen and the host's
// window come back to the pixel where they were left, a screen is drawn before it reads its
// data, a screen and every message come up over the window that opened them, and each title
// names the application once.

#include "support/Desktop.h"
#include "support/ScreenTest.h"
#include "support/TestMain.h"

#include "platform/HelperTools.h"
#include "platform/SqlConnection.h"
#include "shared/modSharedWork.h"
#include "ui/MainWindow.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QWindow>

using namespace tesr;
using namespace tesrtest;
using namespace Qt::StringLiterals;

namespace {

// A shop with a payment partly allocated to one order: every screen has something to show,
// and the customer has credit (New Payment tells so).
struct Book {
    Shop shop;
    int payment = 0;
};
Book makeBook(TestDatabase& db)
{
    Book b{makeShop(db)};
    b.payment = db.addPayment(b.shop.abbott, cur("100"), b.shop.cash, at(2024, 3, 1, 15));
    db.allocate(b.payment, u"SO-1001"_s, cur("40"));
    return b;
}

enum Screen { NewPayment, EditPayment, AllocateCredit, CustomerPayments, OrderPayments, PaymentAllocations };

void open(TestHost& h, const Book& b, int screen)
{
    Library& lib = h.library();
    const std::function<void()> show[] = {
        [&] { lib.ShowNewPayment(b.shop.abbott); },     [&] { lib.ShowEditPayment(b.payment); },
        [&] { lib.ShowAllocateCredit(b.shop.abbott); }, [&] { lib.ShowCustomerPayments(b.shop.abbott); },
        [&] { lib.ShowOrderPayments(b.shop.orderA); },  [&] { lib.ShowPaymentAllocations(b.payment); }};
    show[screen]();
}

QString stored(const QString& caption)
{
    return helperFactory().CreateRegistryTools()->ReadString(
        RegistryTools::HKEY_CURRENT_USER_ROOT, QString::fromLatin1(modSharedWork::WindowPositionsKey), caption, {});
}

// The frame in twips, "top,left,width,height", as the placement is stored (96 dpi: 15 a pixel).
QString twips(const QRect& r)
{
    return u"%1,%2,%3,%4"_s.arg(r.top() * 15).arg(r.left() * 15).arg(r.width() * 15).arg(r.height() * 15);
}

// The module's screen of that name now on the screen.
QWidget* screenNamed(const QString& name)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible())
            return w;
    return nullptr;
}

// Notes when a window of that name has been painted.
struct PaintWatch : QObject {
    explicit PaintWatch(const QString& name) : name(name) { qApp->installEventFilter(this); }
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Paint && o->objectName() == name)
            seen = true;
        return false;
    }
    QString name;
    bool seen = false;
};

// "upper over lower", or "upper UNDER lower" when the window manager stacks them the wrong way.
QString stacking(const QWidget* upper, const QWidget* lower)
{
    const auto name = [](const QWidget* w) { return w ? w->objectName() : u"(none)"_s; };
    return name(upper) + (upper && lower && stacksAbove(upper, lower) ? u" over "_s : u" UNDER "_s) + name(lower);
}

// Moves and resizes a window as its user does, by its frame, and waits until it is there.
QRect putFrame(QWidget* w, const QRect& frame)
{
    w->setGeometry(frame.marginsRemoved(w->windowHandle()->frameMargins()));
    waitFramed(w);
    return frameOf(w);
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QGuiApplication::platformName() == u"xcb", "these tests need a real desktop (NAME_x11)");
        // As the host names itself.
        QGuiApplication::setApplicationDisplayName(u"TESR 5 - Payments"_s);
    }

    // Open and closed four times, a screen comes back where it was left, to the pixel: as it
    // opened the first time, then where the user moved it and at the size the user gave it.
    // What is stored is the frame the user saw, in twips.
    void screensStayWhereTheyWereLeft_data()
    {
        QTest::addColumn<int>("screen");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::newRow("New Payment") << int(NewPayment) << u"frmNewPayment"_s << u"New Payment"_s;
        QTest::newRow("Edit Payment") << int(EditPayment) << u"frmEditPayment"_s << u"Edit Payment"_s;
        QTest::newRow("Allocate Credit") << int(AllocateCredit) << u"frmAllocateCredit"_s << u"Allocate Credit"_s;
        QTest::newRow("Customer Payments")
            << int(CustomerPayments) << u"frmCustomerPayments"_s << u"Customer Payments"_s;
        QTest::newRow("Order Payments") << int(OrderPayments) << u"frmOrderPayments"_s << u"Order Payments"_s;
        QTest::newRow("Payment Allocations")
            << int(PaymentAllocations) << u"frmPaymentAllocations"_s << u"Payment Allocations"_s;
    }
    void screensStayWhereTheyWereLeft()
    {
        QFETCH(int, screen);
        QFETCH(QString, name);
        QFETCH(QString, caption);
        SCREEN_FIXTURE(makeBook);
        forgetPlacements({caption});
        QList<QRect> seen;
        QStringList kept;
        QRect moved;
        for (int cycle = 0; cycle < 4; ++cycle) {
            d.expect(name, [&, cycle](QWidget* w) {
                QVERIFY(waitFramed(w));
                seen << frameOf(w);
                if (cycle == 1)
                    moved = putFrame(w, seen.back().adjusted(37, 23, 37 + 41, 23 + 29));
                w->close(); // the close box
            });
            open(h, b, screen);
            QVERIFY2(d.waitDone(), qPrintable(d.failure()));
            kept << stored(caption);
        }
        QCOMPARE(moved, seen[0].adjusted(37, 23, 78, 52));
        QCOMPARE(seen, (QList<QRect>{seen[0], seen[0], moved, moved}));
        QCOMPARE(kept, (QStringList{twips(seen[0]), twips(moved), twips(moved), twips(moved)}));
    }

    // A screen is drawn before it reads its data: every statement it sends once it is shown
    // finds its window painted (the window system puts a new window on the screen a moment
    // after it is shown; a screen that loaded at once would leave an empty frame meanwhile).
    void screensAreDrawnBeforeTheyRead_data() { screensStayWhereTheyWereLeft_data(); }
    void screensAreDrawnBeforeTheyRead()
    {
        QFETCH(int, screen);
        QFETCH(QString, name);
        SCREEN_FIXTURE(makeBook);
        PaintWatch painted(name);
        QStringList unpainted;
        int afterShow = 0;
        setStatementHook([&](const QString& statement) {
            if (screenNamed(name)) {
                ++afterShow;
                if (!painted.seen)
                    unpainted << statement.left(60);
            }
            return true;
        });
        d.expect(name, [](QWidget* w) { w->close(); });
        open(h, b, screen);
        setStatementHook({});
        QVERIFY2(d.waitDone(), qPrintable(d.failure()));
        QVERIFY(afterShow > 0);
        QCOMPARE(unpainted, QStringList());
    }

    // A screen closed maximised keeps the place it had when last closed in its normal state.
    void maximisedKeepsTheLastNormalPlace()
    {
        SCREEN_FIXTURE(makeBook);
        forgetPlacements({u"Customer Payments"_s});
        QRect normal, reopened;
        d.expect(u"frmCustomerPayments"_s, [&](QWidget* w) {
            QVERIFY(waitFramed(w));
            normal = putFrame(w, frameOf(w).translated(15, 10));
            w->close();
        });
        open(h, b, CustomerPayments);
        d.expect(u"frmCustomerPayments"_s, [&](QWidget* w) {
            QVERIFY(waitFramed(w));
            w->showMaximized();
            QTRY_VERIFY(w->isMaximized());
            w->close();
        });
        open(h, b, CustomerPayments);
        d.expect(u"frmCustomerPayments"_s, [&](QWidget* w) {
            QVERIFY(waitFramed(w));
            reopened = frameOf(w);
            w->close();
        });
        open(h, b, CustomerPayments);
        QVERIFY2(d.waitDone(), qPrintable(d.failure()));
        QCOMPARE(reopened, normal);
        QCOMPARE(stored(u"Customer Payments"_s), twips(normal));
    }

    // A screen opened from another comes up over it, and every notice or question over the
    // screen that asked; answered, the screen that asked is still on top. From Customer
    // Payments: New Payment with its credit notice, and a refusal at its amount box; from an
    // order without payments: Order Payments, then New Payment at once, over the host's window.
    // Each window's title names the application once; a screen keeps its own caption.
    void screensAndMessagesStackOverTheirOpener()
    {
        SCREEN_FIXTURE(makeBook);
        h.prompter().showOnScreen(true);
        host::MainWindow main(h.host(), h.library());
        main.show();
        QVERIFY(waitFramed(&main));
        QStringList seen, titles{titleOnScreen(&main)};
        auto answerNotice = [&](const QString& opener) {
            d.expect(u"hostMessage"_s, [&, opener](QWidget* box) {
                QVERIFY(waitFramed(box));
                titles << titleOnScreen(box);
                seen << stacking(box, screenNamed(opener));
                answerMessageBox(box, QMessageBox::Ok);
            });
        };
        d.expect(u"frmCustomerPayments"_s, [&](QWidget* w) {
            QVERIFY(waitFramed(w));
            titles << titleOnScreen(w);
            seen << stacking(w, &main);
            clickLater(w, u"cmdNew"_s);
            answerNotice(u"frmNewPayment"_s);
            d.expect(u"frmNewPayment"_s, [&, w](QWidget* np) {
                QVERIFY(waitFramed(np));
                titles << titleOnScreen(np);
                seen << stacking(np, w);
                typeOver(child(np, "cboAmount"), u"abc"_s);
                QTimer::singleShot(0, np, [np] { QTest::keyClick(child(np, "cboAmount"), Qt::Key_Tab); });
                d.expect(u"moduleMessageBox"_s, [&, np](QWidget* box) {
                    QVERIFY(waitFramed(box));
                    seen << stacking(box, np);
                    answerMessageBox(box, QMessageBox::Ok);
                });
                d.expect(u"frmNewPayment"_s, [&, w](QWidget* np) {
                    QTest::qWait(200);
                    seen << stacking(np, w);
                    clickButton(np, u"cmdCancel"_s);
                });
                d.expect(u"frmCustomerPayments"_s, [](QWidget* w) { w->close(); });
            });
        });
        h.library().ShowCustomerPayments(b.shop.abbott);
        QVERIFY2(d.waitDone(), qPrintable(d.failure()));
        const QString db = QFileInfo(tesr::DatabaseUrl::parse(h.config().databaseUrl())->path).fileName();
        QCOMPARE(titles, (QStringList{db + u" — TESR 5 - Payments"_s, u"Customer Payments — TESR 5 - Payments"_s,
                                      u"TESR 5 - Payments"_s, u"New Payment — TESR 5 - Payments"_s}));

        // Nothing paid on the sale yet: New Payment opens over Order Payments at once. (How a
        // window manager stacks windows that do not say what they belong over depends on the
        // moment: three times, so a fault shows.)
        for (int time = 0; time < 3; ++time) {
            answerNotice(u"frmNewPayment"_s);
            d.expect(u"frmNewPayment"_s, [&](QWidget* np) {
                QVERIFY(waitFramed(np));
                QWidget* orders = screenNamed(u"frmOrderPayments"_s);
                seen << stacking(np, orders) << stacking(orders, &main);
                clickButton(np, u"cmdCancel"_s);
            });
            d.expect(u"frmOrderPayments"_s, [](QWidget* w) { w->close(); });
            main.activateWindow();
            QTRY_VERIFY(main.isActiveWindow());
            h.library().ShowOrderPayments(b.shop.orderB);
            QVERIFY2(d.waitDone(), qPrintable(d.failure()));
        }

        QStringList expected{u"frmCustomerPayments over hostMainWindow"_s, u"hostMessage over frmNewPayment"_s,
                             u"frmNewPayment over frmCustomerPayments"_s, u"moduleMessageBox over frmNewPayment"_s,
                             u"frmNewPayment over frmCustomerPayments"_s};
        for (int time = 0; time < 3; ++time)
            expected << u"hostMessage over frmNewPayment"_s << u"frmNewPayment over frmOrderPayments"_s
                     << u"frmOrderPayments over hostMainWindow"_s;
        QCOMPARE(seen, expected);
    }

    // The host's own window: where and how large the user left it.
    void hostWindowStaysWhereItWasLeft()
    {
        TestHost h;
        forgetPlacements({u"TESR 5 - Payments"_s});
        QRect left;
        {
            host::MainWindow first(h.host(), h.library());
            first.show();
            QVERIFY(waitFramed(&first));
            left = putFrame(&first, frameOf(&first).adjusted(31, 17, 31 + 57, 17 + 43));
            first.close();
        }
        host::MainWindow second(h.host(), h.library());
        second.show();
        QVERIFY(waitFramed(&second));
        QCOMPARE(frameOf(&second), left);
    }
};

TESR_TEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
