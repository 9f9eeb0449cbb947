#include "platform/cancellation.h"

namespace vlt {

void CancelSignal::ThrowIfRequested() const {
    if (Requested()) {
        throw Cancelled();
    }
}

}  // namespace vlt
