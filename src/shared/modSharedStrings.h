#pragma once

// Numbered templates: "{0}", "{1}" ... "{16}" filled from a list of loosely typed values.

#include <QString>
#include <QVariantList>

namespace tesr::modSharedStrings {

// Replaces every "{n}" (n = 0..16, in ascending order, each over the whole current text) by
// the default text of element n. A missing element, or one without text (NULL), leaves its
// marker in place; elements after 16 are ignored. Nothing is quoted or escaped.
QString FillTemplate(const QString& templateText, const QVariantList& args);

} // namespace tesr::modSharedStrings
