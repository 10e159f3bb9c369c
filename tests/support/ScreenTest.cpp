#include "support/ScreenTest.h"

#include "host/WindowPicture.h"
#include "platform/HelperTools.h"
#include "shared/modSharedDateTime.h"
#include "shared/modSharedWork.h"

#include <QApplication>

namespace tesrtest {

using namespace tesr;
using namespace Qt::StringLiterals;

QWidget* childWidget(QWidget* w, const QString& name)
{
    auto* c = w->findChild<QWidget*>(name);
    if (!c)
        qFatal("no control %s in %s", qPrintable(name), qPrintable(w->objectName()));
    return c;
}

void onScreen(ModalDriver& d, const QString& screen, ModalDriver::Action act, std::function<bool(QWidget*)> ready)
{
    if (!ready)
        d.expect(screen, [](QWidget*) {});
    d.expect(screen, [&d, screen, act, ready](QWidget* w) {
        if (!ready || ready(w))
            act(w);
        else
            onScreen(d, screen, act, ready);
    });
}

void answerBox(ModalDriver& d, QString& shown)
{
    d.expect(u"moduleMessageBox"_s, [&shown](QWidget* box) {
        shown = messageBoxText(box);
        answerMessageBox(box, 0x00000400); // QMessageBox::Ok
    });
}

// Types key by key; characters beyond ASCII arrive as an input method delivers them.
static void typeText(QWidget* w, const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() < 128)
            QTest::keyClick(w, char(c.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

void pickFirstMethod(QWidget* newPayment)
{
    QWidget* box = childWidget(newPayment, QStringLiteral("cboPaymentMethod"));
    box->setFocus(Qt::TabFocusReason);
    QTest::keyClick(box, Qt::Key_Home);
}

void typeOver(QWidget* field, const QString& text, bool leave)
{
    field->setFocus(Qt::TabFocusReason);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Delete);
    typeText(field, text);
    if (leave)
        QTest::keyClick(field, Qt::Key_Tab);
}

void leaveForCancel(QWidget* window)
{
    QWidget* cancel = childWidget(window, u"cmdCancel"_s);
    QTest::mousePress(cancel, Qt::LeftButton);
    QTest::mouseRelease(cancel, Qt::LeftButton, {}, QPoint(-5, -5));
}

void clickCell(ReportControl* g, int record, int column, Qt::KeyboardModifiers keys)
{
    const ReportRecord* r = record >= 0 && record < g->Records().Count() ? g->Records().Record(record) : nullptr;
    const ReportRow* row = r ? g->Rows().FindRow(r) : nullptr;
    if (!row)
        return QTest::qFail(qPrintable(u"record %1 has no row"_s.arg(record)), __FILE__, __LINE__);
    QTest::mouseClick(g->viewport(), Qt::LeftButton, keys, g->CellRect(row, g->Columns().Find(column)).center());
}

void clickTag(ReportControl* g, int tag, Qt::KeyboardModifiers keys)
{
    clickCell(g, int(tags(g).indexOf(QString::number(tag))), 1, keys);
}

void editCell(ReportControl* g, int record, int column, const QString& text)
{
    clickCell(g, record, column);
    for (const QChar c : text)
        typeText(QApplication::focusWidget(), QString(c));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCoreApplication::processEvents(); // the grid takes the value once the editor has closed
}

QStringList shown(ReportControl* g)
{
    QStringList out;
    for (int i = 0; i < g->Records().Count(); ++i) {
        const ReportRecord* r = g->Records().Record(i);
        QStringList cells{r->Tag()};
        for (int k = 0; k < r->ItemCount(); ++k)
            cells << r->Item(k)->Caption();
        out << cells.join(u'|');
    }
    return out;
}

QStringList tags(ReportControl* g)
{
    QStringList out;
    for (int i = 0; i < g->Records().Count(); ++i)
        out << g->Records().Record(i)->Tag();
    return out;
}

QString focusedTag(ReportControl* g)
{
    const ReportRow* row = g->FocusedRow();
    return row && row->Record() ? row->Record()->Tag() : QString();
}

QString enabledStates(QWidget* w, const QStringList& names)
{
    QStringList on;
    for (const QString& name : names)
        if (childWidget(w, name)->isEnabled())
            on << name;
    return on.isEmpty() ? QStringLiteral("none") : on.size() == names.size() ? QStringLiteral("all") : on.join(u' ');
}

void render(QWidget* w, const QString& file)
{
    if (const QString dir = qEnvironmentVariable("TESR_RENDER_DIR"); !dir.isEmpty())
        tesr::host::windowPicture(*w).save(dir + u'/' + file);
}

void forgetPlacements(const QStringList& captions)
{
    for (const QString& caption : captions)
        helperFactory().CreateRegistryTools()->WriteString(
            RegistryTools::HKEY_CURRENT_USER_ROOT, QString::fromLatin1(modSharedWork::WindowPositionsKey), caption, {});
}

void setZone(int bias, bool daylight)
{
    modSharedDateTime::setTimeZoneSource([bias, daylight] {
        return modSharedDateTime::TimeZoneInfo{.bias = bias, .daylightBias = -60, .daylightInEffect = daylight};
    });
}

void resetZone()
{
    modSharedDateTime::setTimeZoneSource({});
}

namespace {
// Each row's cells joined by '='; the cells from `firstMoney` on are amounts.
QStringList rows(TestDatabase& db, const QString& statement, int firstMoney = 99)
{
    QStringList out;
    auto rs = db.connection().OpenRecordset(statement);
    for (; rs && !rs->Eof(); rs->MoveNext()) {
        QStringList cells;
        for (int i = 0; i < rs->FieldCount(); ++i)
            cells << (i >= firstMoney ? Currency::fromVariant(rs->FieldValue(i)).value_or(Currency()).toPlainString()
                                      : rs->FieldValue(i).toString());
        out << cells.join(u'=');
    }
    return out;
}
} // namespace

QString allocatedOf(TestDatabase& db, int payment)
{
    return db.money(u"SELECT Allocated FROM Payments WHERE ID = %1"_s.arg(payment)).toPlainString();
}

char* toString(const Owed& o)
{
    return QTest::toString(u"Payments %1, Balance %2"_s.arg(o.payments, o.balance));
}

Owed owedOf(TestDatabase& db, int order)
{
    const QString statement = u"SELECT Payments, Balance FROM Orders WHERE ID = %1"_s;
    const QStringList figures = rows(db, statement.arg(order), 0).value(0).split(u'=');
    return {figures.value(0), figures.value(1)};
}

QList<Owed> owedOf(TestDatabase& db, const QList<int>& orders)
{
    QList<Owed> out;
    for (int order : orders)
        out << owedOf(db, order);
    return out;
}

QString ledgerState(TestDatabase& db)
{
    return (rows(db, u"SELECT ID, Allocated FROM Payments ORDER BY ID"_s, 1) +
            rows(db, u"SELECT ID, Payments, Balance FROM Orders ORDER BY ID"_s, 1) +
            rows(db, u"SELECT PaymentID, OrderUniqueID, Amount FROM PaymentAllocations ORDER BY ID"_s, 2) +
            activity(db))
        .join(u' ');
}

QStringList allocationsOf(TestDatabase& db, int payment)
{
    const QString statement =
        u"SELECT OrderUniqueID, Amount FROM PaymentAllocations WHERE PaymentID = %1 ORDER BY ID"_s;
    return rows(db, statement.arg(payment), 1);
}

QStringList activity(TestDatabase& db, const QString& where)
{
    return rows(db, u"SELECT Description FROM ActivityHistory WHERE %1 ORDER BY ID"_s.arg(where));
}

QStringList errors(const ScriptedPrompter& p)
{
    QStringList out;
    for (const auto& c : p.calls(ScriptedPrompter::Call::Kind::Error))
        out << c.headline << c.explanation << c.detail;
    return out;
}

Shop makeShop(TestDatabase& db)
{
    Shop s;
    s.cash = db.addPaymentMethod(u"Cash"_s);
    s.check = db.addPaymentMethod(u"Check"_s);
    s.visa = db.addPaymentMethod(u"Visa"_s, 1);
    s.abbott = db.addCustomer(u"Abbott Interiors"_s);
    s.orderA = db.addOrder(s.abbott, u"SO-1001"_s, cur("800"), 3, 0, u" 1001 "_s, u"Kitchen  "_s, cur("400"));
    db.addOrder(s.abbott, u"SO-Q1"_s, cur("50"), 1, 0); // a quote
    s.orderB = db.addOrder(s.abbott, u"SO-1002"_s, cur("2000"), 2, 0, u"1002"_s, u"Bath"_s, cur("1000.5"));
    db.addOrder(s.abbott, u"SO-4"_s, cur("70"), 4, 0);
    db.addOrder(s.abbott, u"SO-500"_s, cur("80"), 3, 500);
    db.addOrder(s.abbott, u"SO-1600"_s, cur("90"), 2, 1600);
    return s;
}

} // namespace tesrtest
