// Options of the MQTT client: every option and its message, the options file, the
// checks after parsing, and the options file's part in the client's set-up.

#include "ProfileFolder.h"
#include "mqtt-c/MqttConnection.h"
#include "mqtt-c/mqtt_client_setup.h"
#include "mqtt-c/mqtt_config.h"

#include <gtest/gtest.h>

#include <mosquitto.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

const char kPcId[] = "17250000001234567890";

std::vector<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

// Every field of the record but the client id, as one line.
std::string Describe(const mqtt_config& c)
{
    auto s = [](const char* v) { return v != nullptr ? v : "(null)"; };
    std::ostringstream out;
    out << "prefix=" << s(c.id_prefix) << " proto=" << c.protocol_version << " k=" << c.keepalive
        << " host=" << s(c.host) << " port=" << c.port << " qos=" << c.qos << " bind=" << s(c.bind_address)
        << " debug=" << c.debug << " quiet=" << c.quiet << " inflight=" << c.max_inflight
        << " user=" << s(c.username) << " pw=" << s(c.password) << " will=" << s(c.will_topic) << ","
        << s(c.will_payload) << "," << c.will_payloadlen << "," << c.will_qos << "," << c.will_retain
        << " clean=" << c.clean_session << " topics=";
    for (int i = 0; i < c.topic_count; ++i)
        out << c.topics[i] << ";";
    out << " filters=";
    for (int i = 0; i < c.filter_out_count; ++i)
        out << c.filter_outs[i] << ";";
    out << " noretain=" << c.no_retain << " verbose=" << c.verbose << " eol=" << c.eol
        << " count=" << c.msg_count;
    return out.str();
}

// Runs the parser, or the loader, on "mosquitto_sub <args>" and keeps the result, the
// record and what was written to the error stream.
struct Parsed
{
    Parsed(const std::string& args, bool load)
    {
        std::vector<std::string> words = Words("mosquitto_sub " + args);
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        FILE* err = std::tmpfile();
        mqtt_config_defaults(&cfg);
        rc = (load ? mqtt_config_load : mqtt_config_parse)(&cfg, MQTT_CLIENT_SUB,
                                                           static_cast<int>(argv.size()), argv.data(), err);
        text = ReadAll(err);
        std::fclose(err);
    }
    ~Parsed() { mqtt_config_free(&cfg); }

    mqtt_config cfg;
    int rc = -1;
    std::string text;
};

TEST(Options, EveryResultAndMessage)
{
    const std::tuple<const char*, bool, int, const char*> cases[] = {
        {"-p", false, 1, "Error: -p argument given but no port specified.\n\n"},
        {"--port 0", false, 1, "Error: Invalid port given: 0\n"},
        {"-p 65536", false, 1, "Error: Invalid port given: 65536\n"},
        {"-A", false, 1, "Error: -A argument given but no address specified.\n\n"},
        {"-C", false, 1, "Error: -C argument given but no count specified.\n\n"},
        {"-C 0", false, 1, "Error: Invalid message count \"0\".\n\n"},
        {"--help", false, 2, ""},
        {"-h", false, 1, "Error: -h argument given but no host specified.\n\n"},
        {"--host", false, 1, "Error: -h argument given but no host specified.\n\n"},
        {"-i a -I b", false, 1, "Error: -i and -I argument cannot be used together.\n\n"},
        {"-I b --id a", false, 1, "Error: -i and -I argument cannot be used together.\n\n"},
        {"-i", false, 1, "Error: -i argument given but no id specified.\n\n"},
        {"--id-prefix", false, 1, "Error: -I argument given but no id prefix specified.\n\n"},
        {"-k", false, 1, "Error: -k argument given but no keepalive specified.\n\n"},
        {"--keepalive 65536", false, 1, "Error: Invalid keepalive given: 65536\n"},
        {"-M", false, 1, "Error: -M argument given but max_inflight not specified.\n\n"},
        {"-V", false, 1, "Error: --protocol-version argument given but no version specified.\n\n"},
        {"--protocol-version mqttv5", false, 1, "Error: Invalid protocol version argument given.\n\n"},
        {"-q", false, 1, "Error: -q argument given but no QoS specified.\n\n"},
        {"--qos 3", false, 1, "Error: Invalid QoS given: 3\n"},
        {"-q -1", false, 1, "Error: Invalid QoS given: -1\n"},
        {"-t", false, 1, "Error: -t argument given but no topic specified.\n\n"},
        {"--topic a/#/b", false, 1,
         "Error: Invalid subscription topic 'a/#/b', are all '+' and '#' wildcards correct?\n"},
        {"-T", false, 1, "Error: -T argument given but no topic filter specified.\n\n"},
        {"--filter-out a+", false, 1,
         "Error: Invalid filter topic 'a+', are all '+' and '#' wildcards correct?\n"},
        {"-u", false, 1, "Error: -u argument given but no username specified.\n\n"},
        {"--pw", false, 1, "Error: -P argument given but no password specified.\n\n"},
        {"--will-payload", false, 1,
         "Error: --will-payload argument given but no will payload specified.\n\n"},
        {"--will-qos", false, 1, "Error: --will-qos argument given but no will QoS specified.\n\n"},
        {"--will-qos 3", false, 1, "Error: Invalid will QoS 3.\n\n"},
        {"--will-topic", false, 1, "Error: --will-topic argument given but no will topic specified.\n\n"},
        {"--will-topic a/+", false, 1, "Error: Invalid will topic 'a/+', does it contain '+' or '#'?\n"},
        {"-x", false, 1, "Error: Unknown option '-x'.\n"},
        {"-v stray", false, 1, "Error: Unknown option 'stray'.\n"},
        // The checks after parsing.
        {"-t x --will-payload p", true, 1, "Error: Will payload given, but no will topic given.\n"},
        {"-t x --will-retain", true, 1, "Error: Will retain given, but no will topic given.\n"},
        {"-t x -P secret", true, 0, "Warning: Not using password since username not set.\n"},
        {"-t x -P secret --quiet", true, 0, ""},
        {"-t x -c", true, 1, "Error: You must provide a client id if you are using the -c option.\n"},
        {"-t x -c -I pre", true, 1, "Error: You must provide a client id if you are using the -c option.\n"},
        {"-t x -c -i fixed", true, 0, ""},
        {"", true, 1, "Error: You must specify a topic to subscribe to.\n"},
    };
    ProfileFolder profile;
    for (const auto& [args, load, rc, message] : cases) {
        Parsed parsed(args, load);
        EXPECT_EQ(parsed.rc, rc) << args;
        EXPECT_EQ(parsed.text, message) << args;
    }
}

TEST(Options, EveryOptionSetsItsFieldAndDefaultsStand)
{
    Parsed all(
        "-p 1884 -A 127.0.0.2 -C 5 -d -h broker -i me -k 30 -M 7 -V mqttv311 -q 1 --quiet -t a/+ -t b/# "
        "-T a/x -u user -P pass --will-payload bye --will-qos 2 --will-retain --will-topic w/t -c -N -R -v",
        false);
    ASSERT_EQ(all.rc, 0) << all.text;
    EXPECT_EQ(all.text, "");
    EXPECT_STREQ(all.cfg.id, "me");
    EXPECT_EQ(Describe(all.cfg),
              "prefix=(null) proto=4 k=30 host=broker port=1884 qos=1 bind=127.0.0.2 debug=1 "
              "quiet=1 inflight=7 user=user pw=pass will=w/t,bye,3,2,1 clean=0 topics=a/+;b/#; "
              "filters=a/x; noretain=1 verbose=1 eol=0 count=5");

    Parsed few("-I pre -V mqttv31", false);
    ASSERT_EQ(few.rc, 0);
    EXPECT_EQ(Describe(few.cfg),
              "prefix=pre proto=3 k=60 host=(null) port=1883 qos=0 bind=(null) debug=0 quiet=0 "
              "inflight=20 user=(null) pw=(null) will=(null),(null),0,0,0 clean=1 topics= "
              "filters= noretain=0 verbose=0 eol=1 count=0");

    ProfileFolder profile;
    Parsed loaded("-t x", true);
    ASSERT_EQ(loaded.rc, 0);
    EXPECT_STREQ(loaded.cfg.host, "localhost");
}

TEST(OptionsFile, LinesCommentsAndWhereTheFileIsFound)
{
    ProfileFolder profile;
    // The comment would be an unknown option if it were parsed; the blank lines (one
    // empty after its CR LF is removed) are skipped; a third word is ignored.
    ASSERT_TRUE(
        profile.WriteOptions("# --not-an-option\n\n\r\n-M 5\r\n-A 127.0.0.3 ignored-third-word\n-k 45\n"));
    {
        Parsed p("-t x -k 10", true);
        EXPECT_EQ(p.rc, 0) << p.text;
        EXPECT_EQ(p.text, "");
        EXPECT_EQ(p.cfg.max_inflight, 5u);
        EXPECT_STREQ(p.cfg.bind_address, "127.0.0.3");
        EXPECT_EQ(p.cfg.keepalive, 10) << "arguments win over the file";
    }
    // HOME is used when USERPROFILE is unset; without either a warning is given.
    unsetenv("USERPROFILE");
    setenv("HOME", profile.Path().toUtf8().constData(), 1);
    ASSERT_TRUE(profile.WriteOptions("-M 9\n"));
    {
        Parsed p("-t x", true);
        ASSERT_EQ(p.rc, 0);
        EXPECT_EQ(p.cfg.max_inflight, 9u);
    }
    unsetenv("HOME");
    Parsed p("-t x", true);
    EXPECT_EQ(p.rc, 0);
    EXPECT_EQ(p.text, "Warning: Unable to locate configuration directory, default config not loaded.\n");
}

class ClientSetup : public ::testing::Test
{
protected:
    void SetUp() override
    {
        connection_.SetPcId(kPcId, std::strlen(kPcId));
        err_ = std::tmpfile();
        out_ = std::tmpfile();
        connection_.SetStreams(out_, err_);
    }
    void TearDown() override
    {
        connection_.SetStreams(nullptr, nullptr);
        std::fclose(err_);
        std::fclose(out_);
    }

    ProfileFolder profile_;
    MqttConnection connection_;
    FILE* err_ = nullptr;
    FILE* out_ = nullptr;
};

// The connection the built-in argument list gives (identity, keepalive, protocol,
// subscription, will) is checked against a real broker in the MQTT client tests.
TEST_F(ClientSetup, OptionsFileLines)
{
    // A QoS line changes nothing; an unknown option fails set-up with the usage hint;
    // --help fails it silently. Without a client nothing can be published.
    const std::tuple<const char*, bool, const char*> cases[] = {
        {"-q 1\n", true, ""},
        {"--bogus\n", false,
         "Error: Unknown option '--bogus'.\n\nUse 'mosquitto_sub --help' to see usage.\n"},
        {"--help\n", false, ""}};
    for (const auto& [file, ok, err] : cases) {
        std::rewind(err_);
        ASSERT_EQ(ftruncate(fileno(err_), 0), 0);
        ASSERT_TRUE(profile_.WriteOptions(file));
        EXPECT_EQ(connection_.Init("127.0.0.1", 18830, "lumetra", "secret") == 0, ok) << file;
        EXPECT_EQ(ReadAll(err_), err) << file;
        if (ok) {
            EXPECT_EQ(connection_.Config().qos, 2);
            connection_.Destroy();
        }
    }
    EXPECT_NE(connection_.Publish("/x/down", "{}", 2, 0), MOSQ_ERR_SUCCESS);
    EXPECT_NE(connection_.PublishToServer("{}", 2, 2), MOSQ_ERR_SUCCESS);
}

TEST(ClientIdentity, CutToTwentyThreeCharactersUnlessGivenOrPrefixed)
{
    char host[256] = {};
    gethostname(host, sizeof(host) - 1);
    const std::string pid = std::to_string(getpid());
    const std::tuple<const char*, const char*, const char*, std::string> cases[] = {
        {kPcId, nullptr, nullptr, (std::string(kPcId) + "|" + pid + "-" + host).substr(0, 23)},
        {"42", nullptr, nullptr, ("42|" + pid + "-" + host).substr(0, 23)},
        {kPcId, "pre-", nullptr, "pre-" + pid},
        {kPcId, nullptr, "given-id", "given-id"}};
    for (const auto& [pcId, prefix, id, expected] : cases) {
        mqtt_config cfg;
        mqtt_config_defaults(&cfg);
        cfg.id_prefix = prefix != nullptr ? strdup(prefix) : nullptr;
        cfg.id = id != nullptr ? strdup(id) : nullptr;
        ASSERT_EQ(mqtt_client_id_generate(&cfg, pcId, stderr), 0);
        EXPECT_EQ(std::string(cfg.id), expected);
        mqtt_config_free(&cfg);
    }
    // The PC identifier buffer cuts a long identifier.
    const std::string longId(400, '7');
    MqttConnection connection;
    connection.SetPcId(longId.c_str(), longId.size());
    EXPECT_EQ(std::strlen(connection.PcId()), 259u);
}

} // namespace
