// The literal lifter on any text. Beyond not crashing:
//   - the shape with its literals given back is the command, character for character;
//   - the shape holds one marker per lifted literal (a command with markers of its own keeps
//     its literals), and lifting it again lifts nothing;
//   - each literal has its type's form: an integer is digits that fit 64 bits, a decimal
//     carries a point or an exponent.

#include "FuzzSupport.h"

#include "ledger/Literals.h"

#include <algorithm>

using tesr::ledger::Literal;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString command = fuzz::text(data, size);
    const tesr::ledger::LiftedCommand lifted = tesr::ledger::liftLiterals(command);
    const QString restored = tesr::ledger::restoreLiterals(lifted);
    FUZZ_CHECK(restored == command, fuzz::shown(lifted.shape) + " restored as " + fuzz::shown(restored));
    // A command that already holds markers keeps its literals.
    const int markers = tesr::ledger::countMarkers(command);
    FUZZ_CHECK(markers == 0 || lifted.literals.isEmpty(), fuzz::shown(command));
    FUZZ_CHECK(tesr::ledger::countMarkers(lifted.shape) == markers + lifted.literals.size(), fuzz::shown(lifted.shape));
    if (!lifted.literals.isEmpty()) {
        const tesr::ledger::LiftedCommand again = tesr::ledger::liftLiterals(lifted.shape);
        FUZZ_CHECK(again.literals.isEmpty() && again.shape == lifted.shape, fuzz::shown(again.shape));
    }
    for (const Literal& literal : lifted.literals) {
        if (literal.type == Literal::Type::Integer) {
            bool fits = false;
            literal.text.toLongLong(&fits);
            FUZZ_CHECK(fits &&
                           std::all_of(literal.text.begin(), literal.text.end(), [](QChar c) { return c.isDigit(); }),
                       fuzz::shown(literal.text));
        } else if (literal.type == Literal::Type::Decimal) {
            FUZZ_CHECK(literal.text.contains(u'.') || literal.text.contains(u'e', Qt::CaseInsensitive),
                       fuzz::shown(literal.text));
        }
    }
    return 0;
}
