#include "CountingTunnel.h"

#include <cjson/cJSON.h>

void CountingTunnel::OnMessage(cJSON* message, TunnelInbound kind)
{
    const cJSON* sn = cJSON_GetObjectItem(message, "pt_sn");
    if (!cJSON_IsNumber(sn)) {
        return;
    }
    if (sn->valuedouble < 1) {
        ++probes_;
        return;
    }
    const uint32_t number = static_cast<uint32_t>(sn->valuedouble);
    outOfOrder_ += number != expected_ ? 1 : 0;
    misrouted_ += kind != TunnelInbound::kPortForwardData ? 1 : 0;
    expected_ = number + 1;
    ++received_;
    last_ = Clock::now();
}
