// The web service's replies: any bytes are taken as the body of a login, a gateway
// list and a device list reply. Every list element costs at least two bytes of the
// body, so no reply yields more records than that allows.

#include "FuzzCheck.h"
#include "cloud/CCloudClient.h"

#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string body(reinterpret_cast<const char*>(data), size);

    const CAccountInfo account = CCloudClient::ParseLoginReply(body);
    (void)account;

    const CGatewayListReply gateways = CCloudClient::ParseGatewayListReply(body);
    FUZZ_CHECK(gateways.gateways.size() <= size / 2);

    CDeviceListReply devices = CCloudClient::ParseDeviceListReply(body);
    FUZZ_CHECK(devices.devices.size() <= size / 2);
    for (CNodeDevice* device : devices.devices) {
        const std::unique_ptr<CNodeDevice> owned(device);
        (void)owned->AddressText();
        (void)owned->ParityLetter();
    }
    return 0;
}
