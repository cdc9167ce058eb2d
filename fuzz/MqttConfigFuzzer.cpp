// The MQTT options file ("mosquitto_sub.conf" in the user's profile folder): any
// bytes are that file, read together with the argument list the client builds for
// itself, then the client identifier is made as at connection set-up. A load that
// succeeds leaves a complete option record: a host, a topic and a port in range.

#include "FuzzCheck.h"
#include "FuzzFolder.h"
#include "mqtt-c/mqtt_client_setup.h"
#include "mqtt-c/mqtt_config.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kPcId[] = "17250000001234567890";
FILE* g_discard = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("USERPROFILE", FuzzFolder::Path().c_str(), 1);
    g_discard = std::fopen("/dev/null", "w");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzFolder::Write("mosquitto_sub.conf", data, size);
    mqtt_client_args args;
    mqtt_client_build_args(&args, kPcId, "127.0.0.1", 1883, "user", "password");
    mqtt_config config;
    const int rc = mqtt_config_load(&config, MQTT_CLIENT_SUB, 16, args.argv, g_discard);
    if (rc == 0) {
        FUZZ_CHECK(config.host != nullptr && config.topic_count >= 1);
        FUZZ_CHECK(config.port >= 1 && config.port <= 65535);
        FUZZ_CHECK(config.qos >= 0 && config.qos <= 2);
        if (mqtt_client_id_generate(&config, kPcId, g_discard) == 0)
            FUZZ_CHECK(config.id != nullptr);
    }
    mqtt_config_free(&config);
    return 0;
}
