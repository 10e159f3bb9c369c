// A host that links the module and uses its public class directly; prints the module's
// description when the library it got speaks this interface.
#include "entry/Library.h"

#include <cstdio>

int main()
{
    const tesr::ModuleEntry* module = tesrpay5_module();
    tesr::Library payments;
    if (module->abiVersion != tesr::ModuleAbiVersion || payments.GetSharedCodeLibrary() != nullptr)
        return 1;
    std::printf("%s\n", module->description);
    return 0;
}
