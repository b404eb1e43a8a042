#include "transfers/TransferSettings.h"

#include "storage/TRegFile.h"

#include <algorithm>
#include <exception>

namespace {

const QString kSimultaneous = QStringLiteral("SimultaneousTransfers");

} // namespace

int TransferSettings::simultaneousTransfers() const
{
    try {
        TaggedValue value;
        store.ReadValue(kSimultaneous, value);
        // Missing, or text that is no number, reads as 0: out of range.
        const int count = value.toInteger();
        if (count < kFewestSimultaneous || count > kMostSimultaneous)
            return kDefaultSimultaneous;
        return count;
    } catch (const std::exception &) {
        // A store that cannot be read was reported at start-up already.
        return kDefaultSimultaneous;
    }
}

void TransferSettings::setSimultaneousTransfers(int count)
{
    const int clamped = std::clamp(count, kFewestSimultaneous, kMostSimultaneous);
    store.WriteValue(kSimultaneous, TaggedValue::fromInteger(clamped));
}
