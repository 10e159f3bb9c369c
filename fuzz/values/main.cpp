// Numbers, money and dates read from text, in several regional settings (the input's first
// byte picks one). Beyond not crashing, whatever is read comes back from its written form:
//   - plain money text (statements, stored values): both plain readers agree, and the plain
//     text of the amount reads back as the same amount, also as a user's amount box reads it;
//   - plain numbers: the shortest plain text of the double reads back as the same double;
//   - the user's numbers: read as money and as a double they agree to a ten-thousandth, and
//     the money format shows the amount's digits (rounded to the locale's decimals) with a
//     sign the positive amount lacks;
//   - dates: a date read from the user's text reads back from its general and short forms;
//     engine date text reads back from its ISO form.

#include "FuzzSupport.h"

#include "values/Regional.h"

#include <QLocale>

using tesr::Currency;
using tesr::OleDate;
namespace Regional = tesr::Regional;

namespace {

const QLocale locales[] = {
    QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::German, QLocale::Germany),
    QLocale(QLocale::French, QLocale::France),        QLocale(QLocale::English, QLocale::UnitedKingdom),
    QLocale(QLocale::Japanese, QLocale::Japan),       QLocale(QLocale::Dutch, QLocale::Netherlands),
    QLocale(QLocale::German, QLocale::Switzerland),   QLocale(QLocale::Persian, QLocale::Iran)};

QString money(std::optional<Currency> c)
{
    return c ? c->toPlainString() : QStringLiteral("nothing");
}

void plainMoney(const QString& text)
{
    const std::optional<Currency> c = Currency::parsePlain(text);
    if (!c)
        return;
    const QString plain = c->toPlainString();
    FUZZ_CHECK(Regional::parsePlainCurrency(text) == c,
               fuzz::shown(text) + " read as " + plain + " and as " + money(Regional::parsePlainCurrency(text)));
    FUZZ_CHECK(Currency::parsePlain(plain) == c, plain);
    FUZZ_CHECK(Currency::leadingNumber(plain) == *c, plain);
}

void plainNumber(const QString& text)
{
    const std::optional<double> d = Regional::parsePlainNumber(text);
    if (!d)
        return;
    const QString plain = Regional::plainNumberText(*d);
    const std::optional<double> back = Regional::parsePlainNumber(plain);
    FUZZ_CHECK(back && (*back == *d || (*back == 0 && *d == 0)), fuzz::shown(text) + " wrote " + plain);
}

void userMoney(const QString& text, const QLocale& loc)
{
    const std::optional<Currency> c = Regional::parseCurrency(text);
    if (!c)
        return;
    const std::optional<double> d = Regional::parseNumber(text);
    FUZZ_CHECK(d.has_value(), fuzz::shown(text));
    if (std::abs(*d) < 1e11) {
        const std::optional<Currency> near = Currency::fromDouble(*d);
        FUZZ_CHECK(near && std::abs(near->raw() - c->raw()) <= 1,
                   fuzz::shown(text) + ": " + c->toPlainString() + " against " + QString::number(*d, 'g', 17));
    }
    const Currency shownAmount = c->rounded(std::min(Regional::currencyDigits(), 4));
    const QString formatted = Regional::formatCurrency(*c);
    // The digits and the decimal point of the format, where the locale writes ASCII digits.
    if (loc.zeroDigit() == u"0" && loc.decimalPoint().size() == 1) {
        QString digits;
        for (const QChar ch : formatted)
            if (ch.isDigit() && ch.unicode() < 128)
                digits += ch;
            else if (ch == loc.decimalPoint()[0])
                digits += u'.';
        const Currency magnitude = Currency::fromRaw(std::abs(shownAmount.raw()));
        FUZZ_CHECK(Currency::parsePlain(digits) == magnitude,
                   fuzz::shown(text) + " (" + c->toPlainString() + ") shown as " + fuzz::shown(formatted));
    }
    if (shownAmount < Currency())
        FUZZ_CHECK(formatted != Regional::formatCurrency(Currency::fromRaw(-c->raw())), fuzz::shown(formatted));
}

void dates(const QString& text)
{
    if (const std::optional<OleDate> d = Regional::parseDate(text)) {
        const QString general = Regional::formatGeneralDate(*d);
        if (d->date() != OleDate::epoch())
            FUZZ_CHECK(Regional::parseDate(general) == d, fuzz::shown(text) + " shown as " + fuzz::shown(general));
        const QString shortForm = Regional::formatShortDate(*d);
        FUZZ_CHECK(Regional::parseDate(shortForm) == OleDate::fromParts(d->date()),
                   fuzz::shown(text) + " shown as " + fuzz::shown(shortForm));
    }
    if (const std::optional<OleDate> e = OleDate::fromEngineText(text))
        FUZZ_CHECK(OleDate::fromEngineText(e->toIsoString()) == e, fuzz::shown(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QLocale& loc = locales[data[0] % std::size(locales)];
    QLocale::setDefault(loc);
    const QString text = fuzz::text(data + 1, size - 1);
    plainMoney(text);
    plainNumber(text);
    userMoney(text, loc);
    dates(text);
    Regional::parseWholeNumber(text);
    Regional::parsePlainWholeNumber(text);
    return 0;
}
