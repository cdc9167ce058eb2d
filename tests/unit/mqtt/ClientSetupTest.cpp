// Set-up of the MQTT client without a broker: the built-in argument list and the
// option record it gives, the identity, the server topic and will, and publishing
// without a client.

#include "ProfileFolder.h"
#include "mqtt-c/mosquitto_wrapper.h"

#include <gtest/gtest.h>

#include <mosquitto.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char kPcId[] = "17250000001234567890";

std::string ReadAll(FILE* file)
{
    std::string text;
    std::rewind(file);
    char buffer[512];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
        text.append(buffer, n);
    }
    return text;
}

class ClientSetup : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mqtt_set_pc_id(kPcId, std::strlen(kPcId));
        err_ = std::tmpfile();
        out_ = std::tmpfile();
        mqtt_set_streams(out_, err_);
    }
    void TearDown() override
    {
        mqtt_set_streams(nullptr, nullptr);
        std::fclose(err_);
        std::fclose(out_);
    }

    ProfileFolder profile_;
    FILE* err_ = nullptr;
    FILE* out_ = nullptr;
};

TEST_F(ClientSetup, ArgumentListHasSixteenEntriesInOrder)
{
    mqtt_client_args args;
    mqtt_client_build_args(&args, "broker.example", 18830, "user", "pass");
    const std::vector<std::string> expected = {"mosquitto_sub",
                                               "-v",
                                               "-h",
                                               "broker.example",
                                               "-t",
                                               "/17250000001234567890/lumetraToPC",
                                               "-k",
                                               "10",
                                               "-q",
                                               "2",
                                               "-p",
                                               "18830",
                                               "-u",
                                               "user",
                                               "-P",
                                               "pass"};
    ASSERT_EQ(sizeof(args.argv) / sizeof(args.argv[0]), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(args.argv[i], expected[i]) << "entry " << i;
    }
}

TEST_F(ClientSetup, BuiltInListGivesTheInstallationsConnection)
{
    ASSERT_EQ(mqtt_client_init("127.0.0.1", 18830, "lumetra", "secret"), 0) << ReadAll(err_);
    const mqtt_config* cfg = mqtt_client_config();
    ASSERT_EQ(cfg->topic_count, 1);
    EXPECT_STREQ(cfg->topics[0], "/17250000001234567890/lumetraToPC");
    EXPECT_EQ(cfg->qos, 2);
    EXPECT_EQ(cfg->keepalive, 10);
    EXPECT_EQ(cfg->protocol_version, MQTT_PROTOCOL_V31);
    EXPECT_TRUE(cfg->clean_session);
    EXPECT_EQ(cfg->max_inflight, 20u);
    EXPECT_TRUE(cfg->verbose);
    EXPECT_STREQ(cfg->host, "127.0.0.1");
    EXPECT_EQ(cfg->port, 18830);
    EXPECT_STREQ(cfg->username, "lumetra");
    EXPECT_STREQ(cfg->password, "secret");
    ASSERT_NE(cfg->id, nullptr);
    EXPECT_LE(std::strlen(cfg->id), 23u);
    EXPECT_EQ(std::string(cfg->id).substr(0, 21), std::string(kPcId) + "|");
    EXPECT_STREQ(mqtt_server_topic(), "/17250000001234567890/lumetraToServer");
    EXPECT_STREQ(mqtt_will_payload(), "{\"pc_id\":\"17250000001234567890\",\"cmdId\":3012}");
    mqtt_client_destroy();
}

TEST_F(ClientSetup, QosLineOfTheOptionsFileChangesNothing)
{
    ASSERT_TRUE(profile_.WriteOptions("-q 1\n"));
    ASSERT_EQ(mqtt_client_init("127.0.0.1", 18830, "lumetra", "secret"), 0);
    EXPECT_EQ(mqtt_client_config()->qos, 2);
    mqtt_client_destroy();
}

TEST_F(ClientSetup, UnknownOptionInTheOptionsFileFailsSetUp)
{
    ASSERT_TRUE(profile_.WriteOptions("--bogus\n"));
    EXPECT_NE(mqtt_client_init("127.0.0.1", 18830, "lumetra", "secret"), 0);
    EXPECT_EQ(ReadAll(err_),
              "Error: Unknown option '--bogus'.\n\nUse 'mosquitto_sub --help' to see usage.\n");
    // No client exists, so nothing can be published.
    EXPECT_NE(mqtt_publish("/x", "y", 1, 0), MOSQ_ERR_SUCCESS);
}

TEST_F(ClientSetup, HelpInTheOptionsFileFailsSilently)
{
    ASSERT_TRUE(profile_.WriteOptions("--help\n"));
    EXPECT_NE(mqtt_client_init("127.0.0.1", 18830, "lumetra", "secret"), 0);
    EXPECT_EQ(ReadAll(err_), "");
}

TEST_F(ClientSetup, PublishingWithoutAClientDoesNothing)
{
    EXPECT_NE(mqtt_publish("/x/down", "{}", 2, 0), MOSQ_ERR_SUCCESS);
    EXPECT_NE(mqtt_publish_to_server("{}", 2, 2), MOSQ_ERR_SUCCESS);
}

TEST(ClientIdentity, NeverLongerThanTwentyThreeCharacters)
{
    mqtt_config cfg;
    mqtt_config_defaults(&cfg);
    ASSERT_EQ(mqtt_client_id_generate(&cfg, kPcId), 0);
    char host[256] = {};
    gethostname(host, sizeof(host) - 1);
    const std::string full = std::string(kPcId) + "|" + std::to_string(getpid()) + "-" + host;
    EXPECT_EQ(std::string(cfg.id), full.substr(0, 23));
    mqtt_config_free(&cfg);

    // A short identifier is not padded or cut.
    mqtt_config_defaults(&cfg);
    ASSERT_EQ(mqtt_client_id_generate(&cfg, "42"), 0);
    const std::string shortFull = std::string("42|") + std::to_string(getpid()) + "-" + host;
    EXPECT_EQ(std::string(cfg.id), shortFull.substr(0, 23));
    mqtt_config_free(&cfg);
}

TEST(ClientIdentity, PrefixAndExplicitId)
{
    mqtt_config cfg;
    mqtt_config_defaults(&cfg);
    cfg.id_prefix = strdup("pre-");
    ASSERT_EQ(mqtt_client_id_generate(&cfg, kPcId), 0);
    EXPECT_EQ(std::string(cfg.id), "pre-" + std::to_string(getpid()));
    mqtt_config_free(&cfg);

    mqtt_config_defaults(&cfg);
    cfg.id = strdup("given-id");
    ASSERT_EQ(mqtt_client_id_generate(&cfg, kPcId), 0);
    EXPECT_STREQ(cfg.id, "given-id");
    mqtt_config_free(&cfg);
}

TEST(PcIdBuffer, LongIdentifierIsCutToTheBuffer)
{
    const std::string longId(400, '7');
    mqtt_set_pc_id(longId.c_str(), longId.size());
    EXPECT_EQ(std::strlen(mqtt_pc_id()), 259u);
    mqtt_set_pc_id(kPcId, std::strlen(kPcId));
    EXPECT_STREQ(mqtt_pc_id(), kPcId);
}

} // namespace
