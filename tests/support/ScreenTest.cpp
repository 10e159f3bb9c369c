#include "support/ScreenTest.h"

#include "platform/HelperTools.h"
#include "shared/modSharedDateTime.h"
#include "shared/modSharedWork.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

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

void onScreen(ModalDriver& d, const QString& screen, ModalDriver::Action action, std::function<bool(QWidget*)> ready)
{
    if (!ready) {
        d.expect(screen, [](QWidget*) {}).expect(screen, std::move(action));
        return;
    }
    d.expect(screen, [&d, screen, action, ready](QWidget* w) {
        if (ready(w))
            action(w);
        else
            onScreen(d, screen, action, ready);
    });
}

void clickLater(QWidget* w, const QString& button)
{
    QTimer::singleShot(0, w, [w, button] { clickButton(w, button); });
}

void answerBox(ModalDriver& d, QString& shown)
{
    d.expect(QStringLiteral("moduleMessageBox"), [&shown](QWidget* box) {
        shown = messageBoxText(box);
        answerMessageBox(box, 0x00000400); // QMessageBox::Ok
    });
}

void typeText(QWidget* w, const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 128)
            QTest::keyClick(w, char(c.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

void typeOver(QWidget* field, const QString& text, bool leave)
{
    field->setFocus(Qt::TabFocusReason);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(field, Qt::Key_Delete);
    else
        typeText(field, text);
    if (leave)
        QTest::keyClick(field, Qt::Key_Tab);
}

void clickCell(ReportControl* g, int record, int column, Qt::KeyboardModifiers keys)
{
    const ReportRow* row = record < g->Records().Count() ? g->Rows().FindRow(g->Records().Record(record)) : nullptr;
    if (!row)
        return QTest::qFail(qPrintable(u"record %1 has no row"_s.arg(record)), __FILE__, __LINE__);
    QTest::mouseClick(g->viewport(), Qt::LeftButton, keys, g->CellRect(row, g->Columns().Find(column)).center());
}

void clickTag(ReportControl* g, int tag, Qt::KeyboardModifiers keys)
{
    const int index = int(tags(g).indexOf(QString::number(tag)));
    if (index < 0)
        return QTest::qFail(qPrintable(u"no record %1"_s.arg(tag)), __FILE__, __LINE__);
    clickCell(g, index, 1, keys);
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

QStringList selectedTags(ReportControl* g)
{
    QStringList out;
    const ReportSelectedRows rows = g->SelectedRows();
    for (int i = 0; i < rows.Count(); ++i)
        out << (rows.Row(i)->Record() ? rows.Row(i)->Record()->Tag() : QStringLiteral("[heading]"));
    return out;
}

QString caption(ReportControl* g, int record, int item)
{
    return g->Records().Record(record)->Item(item)->Caption();
}

QString textOf(QWidget* w, const char* name)
{
    QWidget* c = childWidget(w, QString::fromLatin1(name));
    if (auto* e = qobject_cast<QLineEdit*>(c))
        return e->text();
    if (auto* l = qobject_cast<QLabel*>(c))
        return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(c))
        return b->text();
    return QStringLiteral("(no text)");
}

QString enabledStates(QWidget* w, const QStringList& names)
{
    QString s;
    for (const QString& name : names)
        s += childWidget(w, name)->isEnabled() ? u'1' : u'0';
    return s;
}

void render(QWidget* w, const QString& file)
{
    const QString dir = qEnvironmentVariable("TESR_RENDER_DIR");
    if (!dir.isEmpty())
        w->grab().save(dir + u'/' + file);
}

void forgetPlacements(const QStringList& captions)
{
    for (const QString& caption : captions)
        helperFactory().CreateRegistryTools()->WriteString(
            RegistryTools::HKEY_CURRENT_USER_ROOT, QString::fromLatin1(modSharedWork::WindowPositionsKey), caption, {});
}

QString storedPlacement(const QString& caption)
{
    return helperFactory().CreateRegistryTools()->ReadString(
        RegistryTools::HKEY_CURRENT_USER_ROOT, QString::fromLatin1(modSharedWork::WindowPositionsKey), caption, {});
}

void setZone(int bias, bool daylight)
{
    modSharedDateTime::setTimeZoneSource([bias, daylight] {
        modSharedDateTime::TimeZoneInfo tz;
        tz.bias = bias;
        tz.daylightBias = -60;
        tz.daylightInEffect = daylight;
        return tz;
    });
}

void resetZone()
{
    modSharedDateTime::setTimeZoneSource({});
}

QString allocatedOf(TestDatabase& db, int payment)
{
    return db.money(QStringLiteral("SELECT Allocated FROM Payments WHERE ID = %1").arg(payment)).toPlainString();
}

QString owedOf(TestDatabase& db, int order)
{
    return db.money(QStringLiteral("SELECT Payments FROM Orders WHERE ID = %1").arg(order)).toPlainString() + u'/' +
           db.money(QStringLiteral("SELECT Balance FROM Orders WHERE ID = %1").arg(order)).toPlainString();
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

QString ledgerState(TestDatabase& db)
{
    return (rows(db, QStringLiteral("SELECT ID, Allocated FROM Payments ORDER BY ID"), 1) +
            rows(db, QStringLiteral("SELECT ID, Payments, Balance FROM Orders ORDER BY ID"), 1) +
            rows(db, QStringLiteral("SELECT PaymentID, OrderUniqueID, Amount FROM PaymentAllocations ORDER BY ID"), 2) +
            activity(db))
        .join(u' ');
}

QStringList allocationsOf(TestDatabase& db, int payment)
{
    return rows(db,
                QStringLiteral("SELECT OrderUniqueID, Amount FROM PaymentAllocations WHERE PaymentID = %1 ORDER "
                               "BY ID")
                    .arg(payment),
                1);
}

QStringList activity(TestDatabase& db, const QString& where)
{
    return rows(db, QStringLiteral("SELECT Description FROM ActivityHistory WHERE %1 ORDER BY ID").arg(where));
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
    s.cash = db.addPaymentMethod(QStringLiteral("Cash"));
    s.check = db.addPaymentMethod(QStringLiteral("Check"));
    s.visa = db.addPaymentMethod(QStringLiteral("Visa"), 1);
    s.abbott = db.addCustomer(QStringLiteral("Abbott Interiors"));
    s.baker = db.addCustomer(QStringLiteral("Baker & Sons"));
    s.barker = db.addCustomer(QStringLiteral("Barker Supply"));
    s.orderA = db.addOrder(s.abbott, QStringLiteral("SO-1001"), cur("800"), 3, 0, QStringLiteral(" 1001 "),
                           QStringLiteral("Kitchen  "), cur("400"));
    db.addOrder(s.abbott, QStringLiteral("SO-Q1"), cur("50"), 1, 0); // a quote
    s.orderB = db.addOrder(s.abbott, QStringLiteral("SO-1002"), cur("2000"), 2, 0, QStringLiteral("1002"),
                           QStringLiteral("Bath"), cur("1000.5"));
    db.addOrder(s.abbott, QStringLiteral("SO-4"), cur("70"), 4, 0);
    db.addOrder(s.abbott, QStringLiteral("SO-500"), cur("80"), 3, 500);
    db.addOrder(s.abbott, QStringLiteral("SO-1600"), cur("90"), 2, 1600);
    s.bakerOrder = db.addOrder(s.baker, QStringLiteral("SO-2001"), cur("300"), 3, 0, QStringLiteral("2001"));
    s.credit = db.addPayment(s.baker, cur("50"), s.cash, at(2024, 2, 1));
    return s;
}

} // namespace tesrtest
