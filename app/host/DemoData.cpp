#include "host/DemoData.h"

#include "ledger/Schema.h"
#include "platform/SqlConnection.h"
#include "values/Currency.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace tesr::host {

namespace {

// Demo figures stay far below what money holds (thousands per order, a few thousand rows), so
// their checked sums always have a value.
Currency add(Currency a, Currency b)
{
    return a.plus(b).value();
}
Currency less(Currency a, Currency b)
{
    return a.minus(b).value();
}
// numerator / denominator of an amount, to the cent.
Currency share(Currency a, int numerator, int denominator)
{
    return a.mulDiv(numerator, denominator).value().rounded(2);
}

using ledger::Engine;

// ---- names the data is made of ----------------------------------------------------------------

constexpr std::array firstNames = {
    "James",   "Mary",    "Robert",  "Patricia", "John",    "Jennifer", "Michael", "Linda",  "David",   "Elizabeth",
    "William", "Barbara", "Richard", "Susan",    "Joseph",  "Jessica",  "Thomas",  "Sarah",  "Charles", "Karen",
    "Daniel",  "Nancy",   "Matthew", "Lisa",     "Anthony", "Margaret", "Mark",    "Sandra", "Steven",  "Ashley",
    "Paul",    "Emily",   "Andrew",  "Donna",    "Joshua",  "Michelle", "Kenneth", "Carol",  "Kevin",   "Amanda"};

constexpr std::array lastNames = {
    "Smith",    "Johnson",   "Williams", "Brown",    "Jones",    "Garcia",   "Miller", "Davis",   "Rodriguez",
    "Martinez", "Hernandez", "Lopez",    "Gonzalez", "Wilson",   "Anderson", "Thomas", "Taylor",  "Moore",
    "Jackson",  "Martin",    "Lee",      "Perez",    "Thompson", "White",    "Harris", "Sanchez", "Clark",
    "Ramirez",  "Lewis",     "Robinson", "Walker",   "Young",    "Allen",    "King",   "Wright",  "Scott",
    "Torres",   "Nguyen",    "Hill",     "Flores",   "Green",    "Adams",    "Nelson", "Baker",   "Hall",
    "Rivera",   "Campbell",  "Mitchell", "O'Brien",  "O'Neil"};

constexpr std::array companyNames = {
    "Lakeside Interiors",      "Hilltop Design Group", "Maple & Finch Builders",  "Riverbend Property Management",
    "Cedar Point Realty",      "Blue Door Staging",    "Northgate Dental Clinic", "Oak Hollow Apartments",
    "Sunrise Senior Living",   "Harbor View Hotel",    "Willow Creek Homes",      "Summit Law Offices",
    "Parkside Medical Suites", "Brightwater Marina",   "Stonebridge Academy",     "Greenleaf Architects"};

constexpr std::array rooms = {"Living room", "Master bedroom", "Kitchen", "Dining room", "Family room",
                              "Guest room",  "Office",         "Nursery", "Sunroom",     "Bath"};

constexpr std::array products = {"drapes", "roman shades", "shutters",        "blinds",  "valances",
                                 "sheers", "cornices",     "cellular shades", "bedding", "woven woods"};

constexpr std::array memos = {"Deposit",       "Final payment",    "Balance due",        "Paid at install",
                              "Phone payment", "Paid in showroom", "Second installment", "Deposit - 50% down"};

// Method IDs as the demo data inserts them.
enum Method { Cash = 1, Check = 2, Visa = 3, MasterCard = 4, Amex = 5 };
bool isCard(int method)
{
    return method >= Visa;
}

// Demo dates lie before a fixed day, so that a seed always gives the same file.
const QDateTime anchor(QDate(2024, 12, 31), QTime(17, 0, 0), Qt::UTC);

QString sqlDate(const QDateTime& dt)
{
    return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString money(Currency value)
{
    return value.toPlainString();
}

// ---- writing rows -----------------------------------------------------------------------------

// Prepared inserts on one session; the caller owns the transaction.
class Writer {
public:
    explicit Writer(const QSqlDatabase& db) : m_customer(db), m_method(db), m_order(db), m_payment(db), m_allocation(db)
    {
        m_ok = m_customer.prepare(QStringLiteral("INSERT INTO Customers (CustomerName, Active, SalesRepID, LastUsed) "
                                                 "VALUES (?, ?, ?, ?)")) &&
               m_method.prepare(QStringLiteral("INSERT INTO PaymentMethods (ID, PaymentMethod, MethodType) "
                                               "VALUES (?, ?, ?)")) &&
               m_order.prepare(QStringLiteral(
                   "INSERT INTO Orders (UniqueID, CustomerID, OrderNumber, Sidemark, State, StatusCode, Total, "
                   "DepositAmount, Payments, Balance) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")) &&
               m_payment.prepare(QStringLiteral(
                   "INSERT INTO Payments (PaymentMethodID, CustomerID, PaymentDate, Description, CardNumber, "
                   "NameOnCard, ExpireMonth, ExpireYear, Amount, Allocated, AddedOn) "
                   "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")) &&
               m_allocation.prepare(QStringLiteral(
                   "INSERT INTO PaymentAllocations (PaymentID, OrderUniqueID, Amount, AddedOn) VALUES (?, ?, ?, ?)"));
        if (!m_ok)
            m_error = QStringLiteral("The demo data statements could not be prepared.");
    }

    bool ok() const { return m_ok; }
    QString error() const { return m_error; }

    void method(int id, const QString& name, int type) { run(m_method, {id, name, type}); }

    int customer(const QString& name, bool active, int salesRep, const QString& lastUsed)
    {
        return run(m_customer, {name, active ? 1 : 0, salesRep, lastUsed});
    }

    int order(const QString& uniqueId, int customerId, const QString& number, const QString& sidemark, int state,
              int status, Currency total, Currency deposit, Currency paid)
    {
        return run(m_order, {uniqueId, customerId, number, sidemark, state, status, money(total), money(deposit),
                             money(paid), money(less(total, paid))});
    }

    struct Payment {
        int method = Cash;
        int customerId = 0;
        QString date;
        QString memo;
        QString card;
        QString nameOnCard;
        int expireMonth = 0;
        int expireYear = 0;
        Currency amount;
        Currency allocated;
        QString addedOn;
    };
    int payment(const Payment& p)
    {
        return run(m_payment, {p.method, p.customerId, p.date, p.memo, p.card, p.nameOnCard, p.expireMonth,
                               p.expireYear, money(p.amount), money(p.allocated), p.addedOn});
    }

    int allocation(int paymentId, const QString& orderUniqueId, Currency amount, const QString& addedOn)
    {
        return run(m_allocation, {paymentId, orderUniqueId, money(amount), addedOn});
    }

private:
    int run(QSqlQuery& query, std::initializer_list<QVariant> values)
    {
        if (!m_ok)
            return 0;
        int i = 0;
        for (const QVariant& v : values)
            query.bindValue(i++, v);
        if (!query.exec()) {
            m_ok = false;
            m_error = QStringLiteral("The demo data could not be written: %1").arg(query.lastError().text());
            return 0;
        }
        return query.lastInsertId().toInt();
    }

    QSqlQuery m_customer, m_method, m_order, m_payment, m_allocation;
    bool m_ok = false;
    QString m_error;
};

void standardMethods(Writer& w)
{
    w.method(Cash, QStringLiteral("Cash"), 0);
    w.method(Check, QStringLiteral("Check"), 0);
    w.method(Visa, QStringLiteral("Visa"), 1);
    w.method(MasterCard, QStringLiteral("MasterCard"), 1);
    w.method(Amex, QStringLiteral("American Express"), 1);
}

bool exec(QSqlDatabase db, const QString& statement, QString* error)
{
    QSqlQuery query(db);
    if (query.exec(statement))
        return true;
    if (error)
        *error = QStringLiteral("%1\nStatement: %2").arg(query.lastError().text(), statement);
    return false;
}

// ---- a new file, built under a temporary name --------------------------------------------------

// Builds a new database file: schema, then `fill` in one transaction; the file takes its
// name only when everything is in, so a failure never leaves a half-made database behind.
template <typename Fill> bool buildNewFile(const QString& sqlitePath, QString* error, Fill fill)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (sqlitePath.trimmed().isEmpty())
        return fail(QStringLiteral("No file name was given for the new database."));
    if (QFileInfo::exists(sqlitePath))
        return fail(QStringLiteral("The file \"%1\" already exists; choose a new file name.").arg(sqlitePath));
    const QString part = sqlitePath + QStringLiteral(".part");
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(part + QLatin1StringView(suffix));

    bool built = false;
    {
        DatabaseUrl url;
        url.engine = Engine::SQLite;
        url.path = part;
        QString why;
        auto connection = SqlConnection::open(url, SqlConnection::OpenMode::CreateIfMissing, &why);
        if (!connection)
            return fail(why);
        QSqlDatabase db = connection->database();
        // The file is private until it is renamed, so a crash only costs the unfinished copy.
        built = exec(db, QStringLiteral("PRAGMA journal_mode = MEMORY"), &why) &&
                exec(db, QStringLiteral("PRAGMA synchronous = OFF"), &why) &&
                ledger::createSchema(db, Engine::SQLite, &why) && exec(db, QStringLiteral("BEGIN IMMEDIATE"), &why);
        // The rows are written in their stored form already (dates, four-decimal money), so the
        // triggers that normalise values have nothing to do; they and the indexes are set aside
        // while the rows go in and put back, exactly as they were, before the commit.
        QStringList setAside;
        if (built) {
            QSqlQuery list(db);
            built = list.exec(QStringLiteral("SELECT type, name, sql FROM sqlite_master WHERE type IN ('index', "
                                             "'trigger') AND sql IS NOT NULL"));
            QStringList drops;
            while (built && list.next()) {
                drops << QStringLiteral("DROP %1 %2").arg(list.value(0).toString().toUpper(), list.value(1).toString());
                setAside << list.value(2).toString();
            }
            list.finish();
            for (const QString& drop : drops)
                built = built && exec(db, drop, &why);
        }
        if (built) {
            Writer writer(db);
            built = writer.ok() && fill(writer, db, &why) && writer.ok();
            if (!built && why.isEmpty())
                why = writer.error();
        }
        for (const QString& create : setAside)
            built = built && exec(db, create, &why);
        if (built)
            built =
                exec(db, QStringLiteral("COMMIT"), &why) && exec(db, QStringLiteral("PRAGMA journal_mode = WAL"), &why);
        else
            exec(db, QStringLiteral("ROLLBACK"), nullptr);
        db = QSqlDatabase();
        connection->Close();
        if (!built)
            fail(why);
    }
    if (built && !QFile::rename(part, sqlitePath))
        built = fail(QStringLiteral("The new database could not be saved as \"%1\".").arg(sqlitePath));
    if (!built) {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            QFile::remove(part + QLatin1StringView(suffix));
    }
    return built;
}

QString guid(QRandomGenerator& rng)
{
    const quint64 a = rng.generate64();
    const quint64 b = rng.generate64();
    return QString::asprintf("{%08X-%04X-%04X-%04X-%012llX}", quint32(a >> 32), quint32((a >> 16) & 0xFFFF),
                             quint32(a & 0xFFFF), quint32(b >> 48), (unsigned long long)(b & 0xFFFFFFFFFFFFULL));
}

Currency cents(QRandomGenerator& rng, int lowUnits, int highUnits)
{
    return Currency::fromRaw(qint64(lowUnits) * 10000 +
                             qint64(rng.bounded(quint32((highUnits - lowUnits) * 100))) * 100);
}

// ---- the demo database --------------------------------------------------------------------------

struct DemoOrder {
    int customer = 0; // index into customers
    QString uniqueId;
    QString number;
    QString sidemark;
    int state = 1;
    int status = 100;
    Currency total;
    Currency deposit;
    Currency paid;
};

struct DemoCustomer {
    QString name;
    QString person; // the name a card would carry
    bool active = true;
    int salesRep = 1;
    QString lastUsed;
};

struct DemoPayment {
    Writer::Payment row;
    int customer = 0;
    std::vector<std::pair<QString, Currency>> allocations; // order UniqueID, amount
};

bool fillDemo(Writer& w, quint32 seed, QString*)
{
    QRandomGenerator rng(seed);
    auto pick = [&](const auto& list) { return QString::fromUtf8(list[rng.bounded(quint32(list.size()))]); };
    auto pastDate = [&](int maxDays) {
        return anchor.addSecs(-qint64(rng.bounded(quint32(maxDays))) * 86400 - qint64(rng.bounded(9u * 3600u)));
    };

    standardMethods(w);

    std::vector<DemoCustomer> customers(200);
    for (size_t i = 0; i < customers.size(); ++i) {
        DemoCustomer& c = customers[i];
        c.person = pick(firstNames) + u' ' + pick(lastNames);
        c.name = rng.bounded(6u) == 0 ? pick(companyNames) : c.person;
        if (c.name != c.person && rng.bounded(2u) == 0)
            c.name += QStringLiteral(" #%1").arg(2 + rng.bounded(5u));
        if (i % 37 == 5)
            c.name += QStringLiteral("  "); // as stored by older versions: trailing blanks
        c.active = rng.bounded(12u) != 0;
        c.salesRep = 1 + int(rng.bounded(6u));
        c.lastUsed = sqlDate(pastDate(720));
    }

    std::vector<DemoOrder> orders(1000);
    for (size_t i = 0; i < orders.size(); ++i) {
        DemoOrder& o = orders[i];
        // A few busy customers and a long tail, as in a real shop.
        o.customer = rng.bounded(4u) == 0 ? int(rng.bounded(20u)) : int(rng.bounded(quint32(customers.size())));
        o.uniqueId = guid(rng);
        o.number = QString::number(10001 + int(i));
        const QString last = customers[size_t(o.customer)].person.section(u' ', -1);
        o.sidemark = rng.bounded(3u) == 0 ? pick(rooms) + u' ' + pick(products)
                                          : last + QStringLiteral(" - ") + pick(rooms) + u' ' + pick(products);
        const quint32 s = rng.bounded(100u);
        o.state = s < 15 ? 1 : s < 45 ? 2 : s < 85 ? 3 : 4;
        constexpr int statuses[] = {100, 200, 300, 400, 500, 1000, 1600};
        o.status = statuses[rng.bounded(7u)];
        o.total = cents(rng, 75, 6500);
        o.deposit = share(o.total, 1, 2);
    }

    std::vector<DemoPayment> payments;
    auto newPayment = [&](int customer, Currency amount) -> DemoPayment& {
        DemoPayment p;
        p.customer = customer;
        const quint32 m = rng.bounded(10u);
        p.row.method = m < 2 ? Cash : m < 4 ? Check : m < 7 ? Visa : m < 9 ? MasterCard : Amex;
        const QDateTime date = pastDate(540);
        p.row.date = sqlDate(date);
        p.row.addedOn = sqlDate(date.addSecs(60 + rng.bounded(3600u)));
        if (p.row.method == Check)
            p.row.memo = QStringLiteral("Check #%1").arg(1001 + rng.bounded(8000u));
        else if (rng.bounded(3u) != 0)
            p.row.memo = pick(memos);
        if (isCard(p.row.method)) {
            p.row.card = QStringLiteral("%1").arg(rng.bounded(10000u), 4, 10, QLatin1Char('0'));
            p.row.nameOnCard = customers[size_t(customer)].person;
            p.row.expireMonth = 1 + int(rng.bounded(12u));
            p.row.expireYear = 2025 + int(rng.bounded(5u));
        }
        p.row.amount = amount;
        payments.push_back(std::move(p));
        return payments.back();
    };
    auto apply = [&](DemoPayment& p, DemoOrder& o, Currency amount) {
        p.allocations.emplace_back(o.uniqueId, amount);
        p.row.allocated = add(p.row.allocated, amount);
        o.paid = add(o.paid, amount);
    };

    for (DemoOrder& o : orders) {
        const quint32 r = rng.bounded(100u);
        if (o.state == 4 || (o.state == 3 && r < 20)) {
            // Paid in full, sometimes in two parts.
            if (r % 3 == 0) {
                DemoPayment& first = newPayment(o.customer, o.deposit);
                apply(first, o, o.deposit);
                DemoPayment& second = newPayment(o.customer, less(o.total, o.deposit));
                apply(second, o, less(o.total, o.deposit));
            } else {
                apply(newPayment(o.customer, o.total), o, o.total);
            }
        } else if ((o.state == 3 && r < 80) || (o.state == 2 && r < 45)) {
            // The deposit is paid; now and then the customer rounded up and the rest is credit.
            Currency amount = o.deposit;
            if (r % 10 == 0)
                amount = Currency::fromUnits(int(o.deposit.raw() / 10000 / 100 + 1) * 100);
            apply(newPayment(o.customer, amount), o, o.deposit);
        }
    }
    // Payments spread over two open orders of one customer.
    for (int k = 0; k < 25; ++k) {
        DemoOrder* a = &orders[rng.bounded(quint32(orders.size()))];
        DemoOrder* b = nullptr;
        for (DemoOrder& o : orders)
            if (&o != a && o.customer == a->customer && o.state == 3 && less(o.total, o.paid) > Currency::fromUnits(20))
                b = &o;
        if (!b || a->state != 3 || less(a->total, a->paid) <= Currency::fromUnits(20))
            continue;
        const Currency toA = share(less(a->total, a->paid), 1, 3);
        const Currency toB = share(less(b->total, b->paid), 1, 4);
        DemoPayment& p = newPayment(a->customer, add(toA, toB));
        apply(p, *a, toA);
        apply(p, *b, toB);
    }
    // Customers with credit: payments not applied to anything.
    for (int k = 0; k < 15; ++k)
        newPayment(int(rng.bounded(quint32(customers.size()))), cents(rng, 50, 900));
    // One allocation naming an order kept on another system: no Orders row has its UniqueID.
    {
        DemoOrder elsewhere;
        elsewhere.uniqueId = guid(rng);
        DemoPayment& p = newPayment(orders.front().customer, Currency::fromUnits(250));
        p.row.memo = QStringLiteral("Applied to an order at the downtown store");
        apply(p, elsewhere, Currency::fromUnits(250));
    }

    // Write: customers, orders with their final figures, payments, allocations.
    std::vector<int> customerIds;
    for (const DemoCustomer& c : customers)
        customerIds.push_back(w.customer(c.name, c.active, c.salesRep, c.lastUsed));
    for (const DemoOrder& o : orders)
        w.order(o.uniqueId, customerIds[size_t(o.customer)], o.number, o.sidemark, o.state, o.status, o.total,
                o.deposit, o.paid);
    for (DemoPayment& p : payments) {
        p.row.customerId = customerIds[size_t(p.customer)];
        const int id = w.payment(p.row);
        for (const auto& [uniqueId, amount] : p.allocations)
            w.allocation(id, uniqueId, amount, p.row.addedOn);
    }
    return w.ok();
}

// ---- the scale database -----------------------------------------------------------------------

bool fillScale(Writer& w, int customers, int orders, int payments)
{
    standardMethods(w);
    const int F = int(firstNames.size());
    const int L = int(lastNames.size());
    for (int i = 0; i < customers && w.ok(); ++i) {
        QString name =
            QString::fromUtf8(firstNames[size_t(i % F)]) + u' ' + QString::fromUtf8(lastNames[size_t((i / F) % L)]);
        if (i >= F * L)
            name += u' ' + QString::number(i / (F * L));
        w.customer(name, i % 13 != 0, 1 + i % 6, sqlDate(anchor.addSecs(-qint64(i % 1000) * 86400 - (i % 3600))));
    }
    if (customers < 1)
        return w.ok();

    struct ScaleOrder {
        QString uniqueId;
        int customer;
        int state;
        Currency total;
        Currency paid;
    };
    std::vector<ScaleOrder> list(size_t(std::max(0, orders)));
    for (int i = 0; i < orders; ++i) {
        ScaleOrder& o = list[size_t(i)];
        o.uniqueId = QStringLiteral("SC-%1").arg(i + 1, 8, 10, QLatin1Char('0'));
        o.customer = 1 + int((qint64(i) * 7919) % customers);
        o.state = 1 + i % 4;
        o.total = Currency::fromRaw(qint64(100 + (i * 37) % 5000) * 10000 + (i % 100) * 100);
    }
    // Payments go to the orders that take them (states 2 to 4), a third of the total each.
    std::vector<int> payable;
    for (int i = 0; i < orders; ++i)
        if (list[size_t(i)].state >= 2)
            payable.push_back(i);
    struct ScalePayment {
        int order;
        Currency amount;
    };
    std::vector<ScalePayment> plan;
    plan.reserve(size_t(std::max(0, payments)));
    for (int k = 0; k < payments && !payable.empty(); ++k) {
        ScaleOrder& o = list[size_t(payable[size_t(k) % payable.size()])];
        const Currency amount = share(o.total, 1, 3);
        o.paid = add(o.paid, amount);
        plan.push_back({payable[size_t(k) % payable.size()], amount});
    }
    for (int i = 0; i < orders && w.ok(); ++i) {
        const ScaleOrder& o = list[size_t(i)];
        w.order(o.uniqueId, o.customer, QString::number(100001 + i), QStringLiteral("Job %1").arg(i + 1), o.state,
                i % 50 == 0 ? 500 : 100, o.total, share(o.total, 1, 2), o.paid);
    }
    for (size_t k = 0; k < plan.size() && w.ok(); ++k) {
        const ScaleOrder& o = list[size_t(plan[k].order)];
        Writer::Payment p;
        p.method = 1 + int(k % 5);
        p.customerId = o.customer;
        p.date = sqlDate(anchor.addSecs(-qint64(k % 700) * 86400));
        p.addedOn = p.date;
        p.amount = plan[k].amount;
        p.allocated = plan[k].amount;
        if (isCard(p.method)) {
            p.card = QStringLiteral("%1").arg(int(k % 10000), 4, 10, QLatin1Char('0'));
            p.nameOnCard = QStringLiteral("Card Holder");
            p.expireMonth = 1 + int(k % 12);
            p.expireYear = 2026;
        }
        const int id = w.payment(p);
        w.allocation(id, o.uniqueId, p.amount, p.addedOn);
    }
    return w.ok();
}

// ---- additions to an existing file --------------------------------------------------------------

// Runs `add` in one transaction on an existing company database.
template <typename Add> int addToExisting(const QString& sqlitePath, QString* error, Add add)
{
    DatabaseUrl url;
    url.engine = Engine::SQLite;
    url.path = sqlitePath;
    QString why;
    auto connection = SqlConnection::open(url, SqlConnection::OpenMode::MustExist, &why);
    if (!connection || !connection->BeginTrans()) {
        if (error)
            *error = connection ? connection->LastError() : why;
        return 0;
    }
    int id = 0;
    {
        Writer writer(connection->database());
        QSqlQuery methods(connection->database());
        int method = 0;
        if (methods.exec(QStringLiteral("SELECT MIN(ID) FROM PaymentMethods")) && methods.next())
            method = methods.value(0).toInt();
        methods.finish();
        if (method < 1 && writer.ok()) {
            writer.method(Cash, QStringLiteral("Cash"), 0);
            method = Cash;
        }
        id = writer.ok() ? add(writer, method) : 0;
        if (!writer.ok() || id < 1)
            why = writer.error().isEmpty() ? QStringLiteral("Nothing was added.") : writer.error();
    }
    if (id > 0 && connection->CommitTrans())
        return id;
    if (id > 0)
        why = connection->LastError();
    connection->RollbackTrans();
    if (error)
        *error = why;
    return 0;
}

QString newUniqueId()
{
    return QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
}

QString today()
{
    return sqlDate(QDateTime::currentDateTimeUtc());
}

int newCustomer(Writer& w, const QString& name)
{
    return w.customer(name, true, 1, today());
}

} // namespace

bool createDemoDatabase(const QString& sqlitePath, QString* error, quint32 seed)
{
    return buildNewFile(sqlitePath, error,
                        [seed](Writer& w, const QSqlDatabase&, QString* why) { return fillDemo(w, seed, why); });
}

bool createScaleDatabase(const QString& sqlitePath, int customers, int orders, int payments, QString* error)
{
    return buildNewFile(sqlitePath, error, [=](Writer& w, const QSqlDatabase&, QString*) {
        return fillScale(w, customers, orders, payments);
    });
}

int addCustomerWithOpenOrders(const QString& sqlitePath, int openOrders, int unallocatedPayments, QString* error)
{
    return addToExisting(sqlitePath, error, [&](Writer& w, int method) {
        const int customer = newCustomer(w, QStringLiteral("Busy Builders Inc."));
        for (int i = 0; i < openOrders && w.ok(); ++i) {
            const Currency total = Currency::fromRaw(qint64(500 + i % 700) * 10000 + (i % 100) * 100);
            w.order(newUniqueId(), customer, QStringLiteral("B%1").arg(i + 1, 5, 10, QLatin1Char('0')),
                    QStringLiteral("Unit %1 - blinds").arg(i + 1), 3, 100, total, share(total, 1, 2), Currency());
        }
        for (int k = 0; k < unallocatedPayments && w.ok(); ++k) {
            Writer::Payment p;
            p.method = method;
            p.customerId = customer;
            p.date = today();
            p.addedOn = p.date;
            p.memo = QStringLiteral("Advance %1").arg(k + 1);
            p.amount = Currency::fromRaw(qint64(100 + k % 400) * 10000 + (k % 100) * 100);
            w.payment(p);
        }
        return w.ok() ? customer : 0;
    });
}

int addCustomerWithPayments(const QString& sqlitePath, int payments, QString* error)
{
    return addToExisting(sqlitePath, error, [&](Writer& w, int method) {
        const int customer = newCustomer(w, QStringLiteral("Grand Hotel Group"));
        const int perOrder = 10;
        for (int start = 0; start < payments && w.ok(); start += perOrder) {
            const int count = std::min(perOrder, payments - start);
            const QString uniqueId = newUniqueId();
            std::vector<Currency> amounts;
            Currency total;
            for (int k = 0; k < count; ++k) {
                amounts.push_back(
                    Currency::fromRaw(qint64(50 + (start + k) % 450) * 10000 + ((start + k) % 100) * 100));
                total = add(total, amounts.back());
            }
            w.order(uniqueId, customer, QStringLiteral("G%1").arg(start / perOrder + 1, 5, 10, QLatin1Char('0')),
                    QStringLiteral("Suite %1 - drapes").arg(start / perOrder + 1), 4, 1000, total, share(total, 1, 2),
                    total);
            for (int k = 0; k < count && w.ok(); ++k) {
                Writer::Payment p;
                p.method = method;
                p.customerId = customer;
                p.date = sqlDate(anchor.addSecs(-qint64(start + k) * 3600));
                p.addedOn = p.date;
                p.amount = amounts[size_t(k)];
                p.allocated = amounts[size_t(k)];
                w.allocation(w.payment(p), uniqueId, p.amount, p.addedOn);
            }
        }
        return w.ok() ? customer : 0;
    });
}

int addOrderWithAllocations(const QString& sqlitePath, int allocations, QString* error)
{
    return addToExisting(sqlitePath, error, [&](Writer& w, int method) {
        const int customer = newCustomer(w, QStringLiteral("City Schools District"));
        const QString uniqueId = newUniqueId();
        std::vector<Currency> amounts;
        Currency paid;
        for (int k = 0; k < allocations; ++k) {
            amounts.push_back(Currency::fromRaw(qint64(20 + k % 180) * 10000 + (k % 100) * 100));
            paid = add(paid, amounts.back());
        }
        const Currency total = add(paid, Currency::fromUnits(1000));
        const int order = w.order(uniqueId, customer, QStringLiteral("D00001"), QStringLiteral("District-wide shades"),
                                  3, 100, total, share(total, 1, 2), paid);
        for (int k = 0; k < allocations && w.ok(); ++k) {
            Writer::Payment p;
            p.method = method;
            p.customerId = customer;
            p.date = sqlDate(anchor.addSecs(-qint64(k) * 3600));
            p.addedOn = p.date;
            p.amount = amounts[size_t(k)];
            p.allocated = amounts[size_t(k)];
            w.allocation(w.payment(p), uniqueId, p.amount, p.addedOn);
        }
        return w.ok() ? order : 0;
    });
}

int addPaymentWithAllocations(const QString& sqlitePath, int allocations, QString* error)
{
    return addToExisting(sqlitePath, error, [&](Writer& w, int method) {
        const int customer = newCustomer(w, QStringLiteral("Regional Housing Authority"));
        std::vector<std::pair<QString, Currency>> parts;
        Currency amount;
        for (int k = 0; k < allocations && w.ok(); ++k) {
            const Currency part = Currency::fromRaw(qint64(40 + k % 160) * 10000 + (k % 100) * 100);
            const Currency total = add(part, Currency::fromUnits(100));
            const QString uniqueId = newUniqueId();
            w.order(uniqueId, customer, QStringLiteral("H%1").arg(k + 1, 5, 10, QLatin1Char('0')),
                    QStringLiteral("Apartment %1 - blinds").arg(k + 1), 3, 100, total, share(total, 1, 2), part);
            parts.emplace_back(uniqueId, part);
            amount = add(amount, part);
        }
        Writer::Payment p;
        p.method = method;
        p.customerId = customer;
        p.date = today();
        p.addedOn = p.date;
        p.memo = QStringLiteral("Grant payment");
        p.amount = amount;
        p.allocated = amount;
        const int payment = w.payment(p);
        for (const auto& [uniqueId, part] : parts)
            w.allocation(payment, uniqueId, part, p.addedOn);
        return w.ok() ? payment : 0;
    });
}

} // namespace tesr::host
