// The installation file (custom resource table): any bytes are parsed as a file
// image. The entries kept must be exactly the bytes they came from, laid end to end
// from the start of the image, and the parse reports the whole image consumed only
// when they cover all of it.

#include "FuzzCheck.h"
#include "app/CustomResourceTable.h"

#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::unique_ptr<_Resource_Info>> entries;
    std::string error;
    const bool whole = ParseCustomResources(data, size, entries, &error);
    FUZZ_CHECK(whole == error.empty());

    size_t offset = 0;
    for (const std::unique_ptr<_Resource_Info>& entry : entries) {
        FUZZ_CHECK(entry->size == static_cast<int64_t>(entry->data.size()));
        // Everything but the uninterpreted leading field is written back as read.
        const std::vector<uint8_t> bytes = SerializeResourceEntry(*entry);
        FUZZ_CHECK(bytes.size() <= size - offset);
        FUZZ_CHECK(std::memcmp(bytes.data() + 4, data + offset + 4, bytes.size() - 4) == 0);
        offset += bytes.size();
        const std::string text = entry->Text();
        FUZZ_CHECK(text.size() <= entry->data.size());
        FUZZ_CHECK(text.find('\0') == std::string::npos);
    }
    FUZZ_CHECK(whole == (offset == size));
    return 0;
}
