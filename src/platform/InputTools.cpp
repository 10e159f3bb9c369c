#include "platform/InputTools.h"

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

} // namespace tesr
