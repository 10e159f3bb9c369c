#include "forms/frmAllocateCredit/CurrencyText.h"

#include "values/Regional.h"

#include <algorithm>

namespace tesr {

CurrencyText::CurrencyText() : m_locale(Regional::locale()), m_digits(Regional::currencyDigits())
{
    m_point = m_locale.decimalPoint();
    for (int k = 0; k < 10; ++k)
        m_digitText[std::size_t(k)] = m_locale.toString(k);
    QString symbol = m_locale.currencySymbol();
    if (symbol.isEmpty())
        symbol = m_locale.currencySymbol(QLocale::CurrencyIsoCode);
    // The locale's layout around a one, with a marker for the symbol: the digits take the one's
    // place, as in Regional::formatCurrency.
    const QChar marker(0x0001);
    const QString one = m_locale.toString(1);
    for (Layout* layout : {&m_positive, &m_negative}) {
        QString text = m_locale.toCurrencyString(layout == &m_negative ? -1.0 : 1.0, QString(marker), 0);
        const qsizetype at = text.indexOf(one);
        if (at < 0)
            continue; // formatted the slow way, like the original does
        layout->before = text.left(at).replace(marker, symbol);
        layout->after = text.mid(at + one.size()).replace(marker, symbol);
        layout->usable = true;
    }
}

QString CurrencyText::operator()(Currency value) const
{
    const Currency rounded = value.rounded(std::min(m_digits, 4));
    const bool negative = rounded.raw() < 0;
    const Layout& layout = negative ? m_negative : m_positive;
    if (!layout.usable)
        return Regional::formatCurrency(value);
    const quint64 magnitude = negative ? 0 - quint64(rounded.raw()) : quint64(rounded.raw());
    QString text = layout.before;
    text += m_locale.toString(qulonglong(magnitude / Currency::Scale));
    if (m_digits > 0) {
        text += m_point;
        quint64 fraction = magnitude % Currency::Scale; // four decimals
        for (int k = 0; k < m_digits; ++k) {
            const int digit = k < 4 ? int(fraction / 1000) : 0;
            fraction = (fraction % 1000) * 10;
            text += m_digitText[std::size_t(digit)];
        }
    }
    text += layout.after;
    return text;
}

} // namespace tesr
