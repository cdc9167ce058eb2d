// The web service's replies: any bytes are taken as the body of a login, a gateway
// list and a device list reply. Every list element costs at least two bytes of the
// body, so no reply yields more records than that allows.
//
// The replies are read member by member (ReplyWalker) instead of as one tree, and
// must read exactly as cJSON reads the whole text: the same verdict on whether it is
// one object, the same value for the first member of each name, and the same list
// elements in the same order.

#include "FuzzCheck.h"
#include "cloud/CCloudClient.h"
#include "cloud/ReplyWalker.h"

#include <cjson/cJSON.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const char kAbsent[] = "(absent)";

std::string Print(const cJSON* value)
{
    char* printed = cJSON_PrintUnformatted(value);
    std::string text = printed != nullptr ? printed : "(unprintable)";
    cJSON_free(printed);
    return text;
}

void CompareWithTree(const char* text)
{
    const std::vector<const char*> names = {"flag", "msg", "count"};
    const char* listName = "gwList";
    std::vector<std::string> members(names.size(), kAbsent);
    std::vector<std::string> elements;
    const bool walked = ReplyWalker::Walk(
        text, names, listName, [&](size_t index, const cJSON* value) { members.at(index) = Print(value); },
        [&](const cJSON* element) {
            elements.push_back(Print(element));
            return true;
        });

    const std::unique_ptr<cJSON, void (*)(cJSON*)> tree(cJSON_Parse(text), &cJSON_Delete);
    const bool object = tree != nullptr && cJSON_IsObject(tree.get());
    FUZZ_CHECK(walked == object);
    if (!object)
        return;
    for (size_t i = 0; i < names.size(); ++i) {
        const cJSON* item = cJSON_GetObjectItem(tree.get(), names[i]);
        FUZZ_CHECK(members[i] == (item != nullptr ? Print(item) : std::string(kAbsent)));
    }
    std::vector<std::string> expected;
    const cJSON* list = cJSON_GetObjectItem(tree.get(), listName);
    if (cJSON_IsArray(list)) {
        for (const cJSON* element = list->child; element != nullptr; element = element->next)
            expected.push_back(Print(element));
    }
    FUZZ_CHECK(elements == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string body(reinterpret_cast<const char*>(data), size);
    CompareWithTree(body.c_str());

    const CAccountInfo account = CCloudClient::ParseLoginReply(body);
    (void)account;

    const CGatewayListReply gateways = CCloudClient::ParseGatewayListReply(body);
    FUZZ_CHECK(gateways.gateways.size() <= size / 2);

    const CDeviceListReply devices = CCloudClient::ParseDeviceListReply(body);
    FUZZ_CHECK(devices.devices.size() <= size / 2);
    for (const std::unique_ptr<CNodeDevice>& device : devices.devices) {
        (void)device->AddressText();
        (void)device->ParityLetter();
    }
    return 0;
}
