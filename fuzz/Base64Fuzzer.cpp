// Base64 as it arrives inside JSON: any bytes are decoded as text, both cut to the
// input's exact length and as a terminated string with a larger character limit
// (as the serial tunnel passes the sender's "payload_len"), and any bytes survive
// encoding and decoding unchanged.

#include "FuzzCheck.h"
#include "mqtt-c/mqtt_base64.h"

#include <cstring>
#include <string>

namespace {

bool InAlphabet(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    const std::vector<uint8_t> cut = mqtt_base64_decode(text, size);
    // Decoding stops at the first character outside the alphabet: every 4 characters
    // before it give 3 bytes, a last group of 2 or 3 gives 1 or 2.
    size_t valid = 0;
    while (valid < size && InAlphabet(text[valid]))
        ++valid;
    const size_t rest = valid % 4;
    FUZZ_CHECK(cut.size() == valid / 4 * 3 + (rest >= 2 ? rest - 1 : 0));

    const std::string terminated(text, size);
    FUZZ_CHECK(mqtt_base64_decode(terminated.c_str(), size + 1000) == cut);

    const std::string encoded = mqtt_base64_encode(data, size);
    FUZZ_CHECK(encoded.size() == (size + 2) / 3 * 4);
    FUZZ_CHECK(mqtt_base64_decode(encoded.c_str(), encoded.size()) ==
               std::vector<uint8_t>(data, data + size));
    return 0;
}
