// Option parsing and loading of the MQTT client: every option, every message, the
// options file and the checks after parsing.

#include "ProfileFolder.h"
#include "mqtt-c/mqtt_config.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Runs the parser or the loader on an argument list (the program name is added) and
// keeps the result, the record and everything written to the error stream.
class ParsedOptions
{
public:
    ParsedOptions(const std::vector<std::string>& args, bool load)
    {
        std::vector<std::string> all{"mosquitto_sub"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all) {
            argv.push_back(arg.data());
        }
        char* buffer = nullptr;
        size_t size = 0;
        FILE* err = open_memstream(&buffer, &size);
        mqtt_config_defaults(&cfg);
        rc = load ? mqtt_config_load(&cfg, MQTT_CLIENT_SUB, static_cast<int>(argv.size()), argv.data(), err)
                  : mqtt_config_parse(&cfg, MQTT_CLIENT_SUB, static_cast<int>(argv.size()), argv.data(), err);
        std::fclose(err);
        text.assign(buffer, size);
        std::free(buffer);
    }
    ~ParsedOptions() { mqtt_config_free(&cfg); }

    mqtt_config cfg;
    int rc = -1;
    std::string text;
};

struct ParseCase
{
    std::vector<std::string> args;
    int rc;
    std::string message;
};

class OptionMessages : public ::testing::TestWithParam<ParseCase>
{
};

TEST_P(OptionMessages, ExactResultAndMessage)
{
    const ParseCase& c = GetParam();
    ParsedOptions parsed(c.args, false);
    EXPECT_EQ(parsed.rc, c.rc);
    EXPECT_EQ(parsed.text, c.message);
}

INSTANTIATE_TEST_SUITE_P(
    EveryOption, OptionMessages,
    ::testing::Values(
        ParseCase{{"-p"}, 1, "Error: -p argument given but no port specified.\n\n"},
        ParseCase{{"--port", "0"}, 1, "Error: Invalid port given: 0\n"},
        ParseCase{{"-p", "65536"}, 1, "Error: Invalid port given: 65536\n"},
        ParseCase{{"-A"}, 1, "Error: -A argument given but no address specified.\n\n"},
        ParseCase{{"-C"}, 1, "Error: -C argument given but no count specified.\n\n"},
        ParseCase{{"-C", "0"}, 1, "Error: Invalid message count \"0\".\n\n"}, ParseCase{{"--help"}, 2, ""},
        ParseCase{{"-h"}, 1, "Error: -h argument given but no host specified.\n\n"},
        ParseCase{{"--host"}, 1, "Error: -h argument given but no host specified.\n\n"},
        ParseCase{{"-i", "a", "-I", "b"}, 1, "Error: -i and -I argument cannot be used together.\n\n"},
        ParseCase{{"-I", "b", "--id", "a"}, 1, "Error: -i and -I argument cannot be used together.\n\n"},
        ParseCase{{"-i"}, 1, "Error: -i argument given but no id specified.\n\n"},
        ParseCase{{"--id-prefix"}, 1, "Error: -I argument given but no id prefix specified.\n\n"},
        ParseCase{{"-k"}, 1, "Error: -k argument given but no keepalive specified.\n\n"},
        ParseCase{{"--keepalive", "65536"}, 1, "Error: Invalid keepalive given: 65536\n"},
        ParseCase{{"-M"}, 1, "Error: -M argument given but max_inflight not specified.\n\n"},
        ParseCase{{"-V"}, 1, "Error: --protocol-version argument given but no version specified.\n\n"},
        ParseCase{{"--protocol-version", "mqttv5"}, 1, "Error: Invalid protocol version argument given.\n\n"},
        ParseCase{{"-q"}, 1, "Error: -q argument given but no QoS specified.\n\n"},
        ParseCase{{"--qos", "3"}, 1, "Error: Invalid QoS given: 3\n"},
        ParseCase{{"-q", "-1"}, 1, "Error: Invalid QoS given: -1\n"},
        ParseCase{{"-t"}, 1, "Error: -t argument given but no topic specified.\n\n"},
        ParseCase{{"--topic", "a/#/b"},
                  1,
                  "Error: Invalid subscription topic 'a/#/b', are all '+' and '#' wildcards correct?\n"},
        ParseCase{{"-T"}, 1, "Error: -T argument given but no topic filter specified.\n\n"},
        ParseCase{{"--filter-out", "a+"},
                  1,
                  "Error: Invalid filter topic 'a+', are all '+' and '#' wildcards correct?\n"},
        ParseCase{{"-u"}, 1, "Error: -u argument given but no username specified.\n\n"},
        ParseCase{{"--pw"}, 1, "Error: -P argument given but no password specified.\n\n"},
        ParseCase{
            {"--will-payload"}, 1, "Error: --will-payload argument given but no will payload specified.\n\n"},
        ParseCase{{"--will-qos"}, 1, "Error: --will-qos argument given but no will QoS specified.\n\n"},
        ParseCase{{"--will-qos", "3"}, 1, "Error: Invalid will QoS 3.\n\n"},
        ParseCase{{"--will-topic"}, 1, "Error: --will-topic argument given but no will topic specified.\n\n"},
        ParseCase{
            {"--will-topic", "a/+"}, 1, "Error: Invalid will topic 'a/+', does it contain '+' or '#'?\n"},
        ParseCase{{"-x"}, 1, "Error: Unknown option '-x'.\n"},
        ParseCase{{"-v", "stray"}, 1, "Error: Unknown option 'stray'.\n"}));

TEST(OptionParsing, EveryOptionSetsItsField)
{
    ParsedOptions parsed({"-p",
                          "1884",
                          "-A",
                          "127.0.0.2",
                          "-C",
                          "5",
                          "-d",
                          "-h",
                          "broker",
                          "-i",
                          "me",
                          "-k",
                          "30",
                          "-M",
                          "7",
                          "-V",
                          "mqttv311",
                          "-q",
                          "1",
                          "--quiet",
                          "-t",
                          "a/+",
                          "-t",
                          "b/#",
                          "-T",
                          "a/x",
                          "-u",
                          "user",
                          "-P",
                          "pass",
                          "--will-payload",
                          "bye",
                          "--will-qos",
                          "2",
                          "--will-retain",
                          "--will-topic",
                          "w/t",
                          "-c",
                          "-N",
                          "-R",
                          "-v"},
                         false);
    ASSERT_EQ(parsed.rc, 0) << parsed.text;
    const mqtt_config& c = parsed.cfg;
    EXPECT_EQ(c.port, 1884);
    EXPECT_STREQ(c.bind_address, "127.0.0.2");
    EXPECT_EQ(c.msg_count, 5);
    EXPECT_TRUE(c.debug);
    EXPECT_STREQ(c.host, "broker");
    EXPECT_STREQ(c.id, "me");
    EXPECT_EQ(c.keepalive, 30);
    EXPECT_EQ(c.max_inflight, 7u);
    EXPECT_EQ(c.protocol_version, 4);
    EXPECT_EQ(c.qos, 1);
    EXPECT_TRUE(c.quiet);
    ASSERT_EQ(c.topic_count, 2);
    EXPECT_STREQ(c.topics[0], "a/+");
    EXPECT_STREQ(c.topics[1], "b/#");
    ASSERT_EQ(c.filter_out_count, 1);
    EXPECT_STREQ(c.filter_outs[0], "a/x");
    EXPECT_STREQ(c.username, "user");
    EXPECT_STREQ(c.password, "pass");
    EXPECT_STREQ(c.will_payload, "bye");
    EXPECT_EQ(c.will_payloadlen, 3);
    EXPECT_EQ(c.will_qos, 2);
    EXPECT_TRUE(c.will_retain);
    EXPECT_STREQ(c.will_topic, "w/t");
    EXPECT_FALSE(c.clean_session);
    EXPECT_FALSE(c.eol);
    EXPECT_TRUE(c.no_retain);
    EXPECT_TRUE(c.verbose);
    EXPECT_EQ(parsed.text, "");
}

TEST(OptionParsing, DefaultsAndIdPrefixAndOldProtocol)
{
    ParsedOptions parsed({"-I", "pre", "-V", "mqttv31"}, false);
    ASSERT_EQ(parsed.rc, 0);
    EXPECT_STREQ(parsed.cfg.id_prefix, "pre");
    EXPECT_EQ(parsed.cfg.protocol_version, 3);
    EXPECT_EQ(parsed.cfg.keepalive, 60);
    EXPECT_EQ(parsed.cfg.port, 1883);
    EXPECT_EQ(parsed.cfg.max_inflight, 20u);
    EXPECT_TRUE(parsed.cfg.clean_session);
    EXPECT_TRUE(parsed.cfg.eol);
    EXPECT_EQ(parsed.cfg.host, nullptr);
}

TEST(OptionLoading, ChecksAfterParsing)
{
    ProfileFolder profile;
    {
        ParsedOptions p({"-t", "x", "--will-payload", "p"}, true);
        EXPECT_EQ(p.rc, 1);
        EXPECT_EQ(p.text, "Error: Will payload given, but no will topic given.\n");
    }
    {
        ParsedOptions p({"-t", "x", "--will-retain"}, true);
        EXPECT_EQ(p.rc, 1);
        EXPECT_EQ(p.text, "Error: Will retain given, but no will topic given.\n");
    }
    {
        ParsedOptions p({"-t", "x", "-P", "secret"}, true);
        EXPECT_EQ(p.rc, 0);
        EXPECT_EQ(p.text, "Warning: Not using password since username not set.\n");
    }
    {
        ParsedOptions p({"-t", "x", "-P", "secret", "--quiet"}, true);
        EXPECT_EQ(p.rc, 0);
        EXPECT_EQ(p.text, "");
    }
    {
        ParsedOptions p({"-t", "x", "-c"}, true);
        EXPECT_EQ(p.rc, 1);
        EXPECT_EQ(p.text, "Error: You must provide a client id if you are using the -c option.\n");
    }
    {
        ParsedOptions p({"-t", "x", "-c", "-I", "pre"}, true);
        EXPECT_EQ(p.rc, 1);
        EXPECT_EQ(p.text, "Error: You must provide a client id if you are using the -c option.\n");
    }
    {
        ParsedOptions p({"-t", "x", "-c", "-i", "fixed"}, true);
        EXPECT_EQ(p.rc, 0);
    }
    {
        ParsedOptions p({}, true);
        EXPECT_EQ(p.rc, 1);
        EXPECT_EQ(p.text, "Error: You must specify a topic to subscribe to.\n");
    }
    {
        ParsedOptions p({"-t", "x"}, true);
        EXPECT_EQ(p.rc, 0);
        EXPECT_STREQ(p.cfg.host, "localhost");
    }
}

TEST(OptionLoading, WarnsWithoutProfileFolder)
{
    ProfileFolder profile;
    unsetenv("USERPROFILE");
    unsetenv("HOME");
    ParsedOptions p({"-t", "x"}, true);
    EXPECT_EQ(p.rc, 0);
    EXPECT_EQ(p.text, "Warning: Unable to locate configuration directory, default config not loaded.\n");
}

TEST(OptionsFile, CommentsBlankLinesAndLineEndsAreHandled)
{
    ProfileFolder profile;
    // The comment would be an unknown option if it were parsed; the blank lines
    // (one of them empty after its CR LF is removed) are skipped.
    ASSERT_TRUE(profile.WriteOptions("# --not-an-option\n\n\r\n-M 5\r\n-A 127.0.0.3 ignored-third-word\n"));
    ParsedOptions p({"-t", "x"}, true);
    EXPECT_EQ(p.rc, 0) << p.text;
    EXPECT_EQ(p.text, "");
    EXPECT_EQ(p.cfg.max_inflight, 5u);
    EXPECT_STREQ(p.cfg.bind_address, "127.0.0.3");
}

TEST(OptionsFile, UnknownOptionFailsTheLoad)
{
    ProfileFolder profile;
    ASSERT_TRUE(profile.WriteOptions("--bogus\n-q 1\n"));
    ParsedOptions p({"-t", "x"}, true);
    EXPECT_EQ(p.rc, 1);
    EXPECT_EQ(p.text, "Error: Unknown option '--bogus'.\n");
}

TEST(OptionsFile, ArgumentsWinOverTheFile)
{
    ProfileFolder profile;
    ASSERT_TRUE(profile.WriteOptions("-q 1\n-k 45\n"));
    ParsedOptions p({"-t", "x", "-q", "2", "-k", "10"}, true);
    ASSERT_EQ(p.rc, 0);
    EXPECT_EQ(p.cfg.qos, 2);
    EXPECT_EQ(p.cfg.keepalive, 10);
}

TEST(OptionsFile, HomeIsUsedWhenUserProfileIsUnset)
{
    ProfileFolder profile;
    const std::string folder = profile.Path().toStdString();
    unsetenv("USERPROFILE");
    setenv("HOME", folder.c_str(), 1);
    ASSERT_TRUE(profile.WriteOptions("-M 9\n"));
    ParsedOptions p({"-t", "x"}, true);
    ASSERT_EQ(p.rc, 0);
    EXPECT_EQ(p.cfg.max_inflight, 9u);
}

} // namespace
