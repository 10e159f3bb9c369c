#pragma once

// The module's own field input rules (what HelperFactory::CreateInputTools gives unless a host
// installed another factory). Every rule reads the field in the user's regional settings and
// leaves it holding text the screens can put into a statement unchanged.

#include "platform/HelperTools.h"
#include "values/Currency.h"

#include <QString>
#include <QValidator>

#include <memory>

namespace tesr {

class DefaultInputTools final : public InputTools {
public:
    // A date the user's settings read is rewritten as the short date (four-digit year, no time
    // of day); any other text is cleared; an empty field stays empty.
    void DateTextRule(TextField& field) override;
    // The number in the user's format (grouping allowed, no currency symbol); outside
    // [low, high] or not a number gives the fallback. The field is left holding plain decimal
    // text ("1234.5": no grouping, '.' as the decimal point), because the screens put it into
    // statements as it stands.
    void NumberRangeRule(double low, double high, double fallback, TextField& field) override;
    // The same for whole numbers: a fraction rounds to the nearest whole number, halves to
    // even ("2.5" -> 2, "3.5" -> 4), and the rounded number is checked against the range.
    void WholeNumberRangeRule(double low, double high, double fallback, TextField& field) override;
    // The first entry whose text equals the text exactly (case counts); none selected (-1)
    // when no entry matches.
    void SelectEntryByText(const QString& text, ComboList& combo) override;
    // The first entry whose item data equals the value; none selected when no entry matches.
    void SelectEntryByItemData(int value, ComboList& combo) override;
};

std::unique_ptr<InputTools> makeDefaultInputTools();

// The card number box holds the last four digits of a card, never more: a whole number typed
// or pasted into it keeps its last four digits ("4111 1111 1111 1234" -> "1234"); a text of
// more than four characters with fewer than four digits keeps its first four characters.
QString cardNumberLastFour(const QString& text);
// A payment's details text as the lists show it ("Visa ending 1234 (Ann) - memo"), with a card
// number stored whole before the box kept four digits cut to its last four: the digits,
// blanks and dashes after " ending ", when that comes before the memo's " - ".
QString paymentDetailsShown(const QString& details);
class CardNumberValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

// A money or date box checks what the user typed before its rule rewrites the text, so that
// an entry nobody can read is refused at the box, in words, rather than turned into 0 or
// blanked. Each answers the words for the user, or nothing when the entry can be taken.
//
// The amount as parseMoneyEntry reads it (symbol, grouping), within [low, high]; an empty box
// is no refusal (its rule gives it the fallback).
QString amountEntryRefusal(const QString& text, Currency low, Currency high);
// A date the date rule reads; an empty box is no refusal.
QString dateEntryRefusal(const QString& text);
// Shows the refusal (the standard message box, exclamation icon) and sets cancel, which keeps
// the focus in the box; false, doing nothing, when there is no refusal.
bool refuseEntry(const QString& refusal, bool& cancel);
// When the entry can be taken: the box's text as plain decimal money text, the form the
// screens' statements and the number rule read ("$1,250.50" -> "1250.5"); else the text.
QString plainAmountText(const QString& text);

} // namespace tesr
