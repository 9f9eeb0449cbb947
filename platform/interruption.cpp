#include "platform/interruption.h"

namespace vlt {

const CancelSignal& InstallInterruptHandlers() {
    // Never destroyed: a second Ctrl-C may come while the program exits,
    // after static objects are gone, and its handler still uses this one.
    static CancelSignal& cancel = *new CancelSignal;
    interruption::InstallHandlers(cancel);
    return cancel;
}

}  // namespace vlt
