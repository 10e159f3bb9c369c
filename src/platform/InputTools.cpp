#include "platform/InputTools.h"

#include "platform/controls/MessageBox.h"
#include "values/Regional.h"

#include <cmath>

namespace tesr {

namespace {

void select(ComboList& combo, int index)
{
    // Leave an already empty selection alone: clearing it again would wipe what the user
    // typed into the box's edit field.
    if (index < 0 && combo.ListIndex() < 0)
        return;
    combo.SetListIndex(index);
}

} // namespace

void DefaultInputTools::DateTextRule(TextField& field)
{
    const QString text = field.Text();
    if (text.trimmed().isEmpty()) {
        if (!text.isEmpty())
            field.SetText(QString());
        return;
    }
    const std::optional<OleDate> date = Regional::parseDate(text);
    field.SetText(date ? Regional::formatShortDate(date->startOfDay()) : QString());
}

void DefaultInputTools::NumberRangeRule(double low, double high, double fallback, TextField& field)
{
    const std::optional<double> value = Regional::parseNumber(field.Text());
    const bool inRange = value && *value >= low && *value <= high;
    field.SetText(Regional::plainNumberText(inRange ? *value : fallback));
}

void DefaultInputTools::WholeNumberRangeRule(double low, double high, double fallback, TextField& field)
{
    const std::optional<qint64> value = Regional::parseWholeNumber(field.Text());
    if (value && double(*value) >= low && double(*value) <= high) {
        field.SetText(QString::number(*value));
        return;
    }
    // nearbyint rounds halves to even in the default rounding mode, like the typed numbers.
    field.SetText(Regional::plainNumberText(std::nearbyint(fallback)));
}

void DefaultInputTools::SelectEntryByText(const QString& text, ComboList& combo)
{
    const int count = combo.ListCount();
    for (int i = 0; i < count; ++i) {
        if (combo.List(i) == text) {
            select(combo, i);
            return;
        }
    }
    select(combo, -1);
}

void DefaultInputTools::SelectEntryByItemData(int value, ComboList& combo)
{
    const int count = combo.ListCount();
    for (int i = 0; i < count; ++i) {
        if (combo.ItemData(i) == value) {
            select(combo, i);
            return;
        }
    }
    select(combo, -1);
}

std::unique_ptr<InputTools> makeDefaultInputTools()
{
    return std::make_unique<DefaultInputTools>();
}

QString cardNumberLastFour(const QString& text)
{
    constexpr qsizetype Kept = 4;
    if (text.size() <= Kept)
        return text;
    QString digits;
    for (const QChar c : text)
        if (c >= u'0' && c <= u'9')
            digits += c;
    return digits.size() >= Kept ? digits.right(Kept) : text.left(Kept);
}

QString paymentDetailsShown(const QString& details)
{
    const QLatin1StringView ending(" ending "), memoSeparator(" - ");
    const qsizetype at = details.indexOf(ending);
    const qsizetype memo = details.indexOf(memoSeparator);
    if (at < 0 || (memo >= 0 && memo < at))
        return details;
    // The card number: digits, blanks and dashes, up to the name or the memo.
    const qsizetype begin = at + ending.size();
    qsizetype end = begin;
    int digits = 0;
    for (; end < details.size() && !QStringView(details).sliced(end).startsWith(memoSeparator); ++end) {
        const QChar c = details[end];
        if (c >= u'0' && c <= u'9')
            ++digits;
        else if (c != u' ' && c != u'-')
            break;
    }
    while (end > begin && details[end - 1] == u' ')
        --end;
    if (digits <= 4)
        return details;
    return details.left(begin) + cardNumberLastFour(details.mid(begin, end - begin)) + details.mid(end);
}

QValidator::State CardNumberValidator::validate(QString& input, int& pos) const
{
    const QString kept = cardNumberLastFour(input);
    if (kept != input) {
        input = kept;
        pos = int(kept.size());
    }
    return Acceptable;
}

QString amountEntryRefusal(const QString& text, Currency low, Currency high)
{
    if (text.trimmed().isEmpty())
        return QString();
    const std::optional<Currency> amount = Regional::parseMoneyEntry(text);
    if (!amount)
        return QStringLiteral("The amount \"%1\" cannot be read. Type it in figures, for example %2.")
            .arg(text.trimmed(), Regional::formatCurrency(Currency::fromRaw(12505000)));
    if (*amount > high)
        return QStringLiteral("The amount %1 is too large. The largest amount is %2.")
            .arg(Regional::formatCurrency(*amount), Regional::formatCurrency(high));
    if (*amount < low)
        return QStringLiteral("The amount %1 is too small. The smallest amount is %2.")
            .arg(Regional::formatCurrency(*amount), Regional::formatCurrency(low));
    return QString();
}

QString dateEntryRefusal(const QString& text)
{
    if (text.trimmed().isEmpty() || Regional::parseDate(text))
        return QString();
    return QStringLiteral("The date \"%1\" cannot be read. Type it as %2, for example %3.")
        .arg(text.trimmed(), Regional::shortDatePattern(),
             Regional::formatShortDate(OleDate::fromParts(QDate::currentDate())));
}

bool refuseEntry(const QString& refusal, bool& cancel)
{
    if (refusal.isEmpty())
        return false;
    MessageBox::Show(refusal, MessageBox::OkOnly | MessageBox::Exclamation);
    cancel = true;
    return true;
}

QString plainAmountText(const QString& text)
{
    const std::optional<Currency> amount = Regional::parseMoneyEntry(text);
    return amount ? amount->toPlainString() : text;
}

} // namespace tesr
