#include "shared/modSharedStrings.h"

#include "values/Regional.h"

namespace tesr::modSharedStrings {

QString FillTemplate(const QString& templateText, const QVariantList& args)
{
    // Markers are filled one after another over the growing text, so a value that carries a
    // higher marker has it filled in its turn; callers rely on nothing else.
    constexpr int LastMarker = 16;
    QString text = templateText;
    for (int n = 0; n <= LastMarker && n < args.size(); ++n) {
        const std::optional<QString> value = Regional::defaultText(args.at(n));
        if (!value)
            continue;
        text.replace(u'{' + QString::number(n) + u'}', *value, Qt::CaseSensitive);
    }
    return text;
}

} // namespace tesr::modSharedStrings
