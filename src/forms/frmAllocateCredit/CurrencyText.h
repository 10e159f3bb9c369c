#pragma once

// Money in the user's currency format, for filling long lists. The text is exactly what
// Regional::formatCurrency gives; what that function works out again on every call (the
// locale's currency decimals, its positive and negative layouts, its symbol and digits) is
// worked out here once, so a list of thousands of amounts costs little more than its digits.
// Build one per list load: it keeps the regional settings in force when it was made.

#include "values/Currency.h"

#include <QLocale>
#include <QString>

#include <array>

namespace tesr {

class CurrencyText {
public:
    CurrencyText();

    QString operator()(Currency value) const;

private:
    struct Layout {
        QString before; // text before the digits, symbol in place
        QString after;  // text after them
        bool usable = false;
    };

    QLocale m_locale;
    int m_digits = 2;
    QString m_point;
    std::array<QString, 10> m_digitText;
    Layout m_positive;
    Layout m_negative;
};

} // namespace tesr
