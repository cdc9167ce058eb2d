// What a PC sends first to the far side's port-transfer and relay servers: any bytes
// are the start of a connection. They are looked at as they would arrive, in two
// parts and whole; once an object or frame is complete, more bytes never change it,
// and the object plus what followed it are exactly the bytes received. The object is
// then read both as a registration and as a release frame's request.

#include "FuzzCheck.h"
#include "RegistrationReader.h"

#include <string>

namespace {

using Scan = RegistrationReader::Scan;

struct Seen
{
    Scan scan;
    RegistrationReader::Result result;
    std::string error;
};

Seen LookAt(const std::string& received)
{
    Seen seen;
    seen.scan = RegistrationReader::Look(received, &seen.result, &seen.error);
    return seen;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string received(reinterpret_cast<const char*>(data), size);
    const Seen whole = LookAt(received);
    if (whole.scan == Scan::Complete) {
        const RegistrationReader::Result& r = whole.result;
        const std::string head = r.framed ? received.substr(0, 6) : std::string();
        FUZZ_CHECK(head + r.json + r.rest == received);
        FUZZ_CHECK(!r.framed || received.compare(0, 4, "zelq") == 0);
        FUZZ_CHECK(r.framed || (!r.json.empty() && r.json.front() == '{'));
    }
    FUZZ_CHECK((whole.scan == Scan::Refused) == !whole.error.empty());

    for (size_t part : {size_t(1), size / 2, size > 0 ? size - 1 : 0}) {
        if (part == 0 || part >= size)
            continue;
        const Seen early = LookAt(received.substr(0, part));
        if (early.scan == Scan::Incomplete)
            continue;
        FUZZ_CHECK(early.scan == whole.scan);
        if (early.scan == Scan::Complete) {
            FUZZ_CHECK(early.result.framed == whole.result.framed);
            FUZZ_CHECK(early.result.json == whole.result.json);
        }
    }

    if (whole.scan == Scan::Complete) {
        std::string why;
        RegistrationReader::Registration registration;
        if (!RegistrationReader::ParseRegistration(whole.result.json, &registration, &why))
            FUZZ_CHECK(why.rfind("registration refused: ", 0) == 0);
        RegistrationReader::Release release;
        why.clear();
        if (!RegistrationReader::ParseRelease(whole.result.json, &release, &why))
            FUZZ_CHECK(!why.empty());
    }
    return 0;
}
