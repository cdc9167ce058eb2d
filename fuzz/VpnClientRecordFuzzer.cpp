// The record of this program's OpenVPN client, as read back from its file in the
// installation folder, where anything may have been left: any bytes either are no
// record or are exactly the line the record writes, with every number in range.

#include "FuzzCheck.h"
#include "endpoint/VpnClientRecord.h"

#include <climits>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<VpnClientRecord> record = VpnClientRecord::Parse(text);
    if (!record) {
        return 0;
    }
    FUZZ_CHECK(record->Text() == text);
    FUZZ_CHECK(record->pid >= 1 && record->pid <= INT_MAX);
    FUZZ_CHECK(record->ownerPid >= 1 && record->ownerPid <= INT_MAX);
    FUZZ_CHECK(record->startTime > 0 && record->ownerStartTime > 0);
    FUZZ_CHECK(text.size() <= VpnClientRecord::kMaxFileBytes);
    const std::optional<VpnClientRecord> again = VpnClientRecord::Parse(record->Text());
    FUZZ_CHECK(again && *again == *record);
    return 0;
}
