#pragma once

// The five steps every Show... method takes: load a fresh form (its load handler runs),
// Prepare it, show it modally, read its result once it has unloaded, release it.

#include "forms/Screen.h"

#include <concepts>
#include <memory>
#include <utility>

namespace tesr {

class Library;

template <class F>
concept ScreenForm = std::derived_from<F, Screen>;

template <class F>
concept Dialog = ScreenForm<F> && requires(const F& f) {
    { f.Cancelled } -> std::convertible_to<bool>;
};

// No host, no screen: before Initialize and after PreTerminate a Show... call opens nothing (a
// screen without the host's services would take the user's entries and drop them) and fails
// the way its screen reports nothing done: ShowNewPayment 0, ShowEditPayment and
// ShowAllocateCredit false, the list screens simply return. A warning names the call.
bool HostPresent(const Library& library, const char* call);

template <ScreenForm F, class ReadResult, class... PrepareArgs>
auto RunScreen(ReadResult&& readResult, PrepareArgs&&... args)
{
    auto form = std::make_unique<F>();                    // 1. a fresh instance per call
    form->Load();                                         //    ... whose load handler runs
    form->Prepare(std::forward<PrepareArgs>(args)...);    // 2. key, flags, the Library
    form->ShowModal();                                    // 3. modal, no owner window
    return readResult(static_cast<const F&>(*form));      // 4. the result
}                                                         // 5. released here

} // namespace tesr
