// The reply walker against cJSON_Parse of the whole text: for every text, the same
// verdict, the same first member of each name and the same list elements. The texts
// are replies of every shape the service sends, hostile ones (duplicate names in
// any case, byte-order marks, control bytes, zero bytes, nesting at cJSON's limit,
// text after the object) and every small damage to them.

#include "cloud/ReplyWalker.h"

#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

const std::vector<const char*> kNames = {"flag", "msg", "count"};
const char kList[] = "gwList";

struct Reading
{
    bool object = false;
    std::vector<std::string> members = std::vector<std::string>(kNames.size(), "-");
    std::vector<std::string> elements;

    bool operator==(const Reading& other) const
    {
        return object == other.object && members == other.members && elements == other.elements;
    }
};

std::string Print(const cJSON* value)
{
    char* printed = cJSON_PrintUnformatted(value);
    std::string text = printed != nullptr ? printed : "(unprintable)";
    cJSON_free(printed);
    return text;
}

// What the program read from a whole tree before the walker.
Reading FromTree(const std::string& text)
{
    Reading reading;
    cJSON* root = cJSON_Parse(text.c_str());
    if (root == nullptr || !cJSON_IsObject(root)) {
        cJSON_Delete(root);
        return reading;
    }
    reading.object = true;
    for (size_t i = 0; i < kNames.size(); ++i) {
        if (const cJSON* item = cJSON_GetObjectItem(root, kNames[i]))
            reading.members[i] = Print(item);
    }
    const cJSON* list = cJSON_GetObjectItem(root, kList);
    if (cJSON_IsArray(list)) {
        for (const cJSON* element = list->child; element != nullptr; element = element->next)
            reading.elements.push_back(Print(element));
    }
    cJSON_Delete(root);
    return reading;
}

Reading Walked(const std::string& text)
{
    Reading reading;
    reading.object = ReplyWalker::Walk(
        text.c_str(), kNames, kList, [&](size_t i, const cJSON* value) { reading.members[i] = Print(value); },
        [&](const cJSON* element) {
            reading.elements.push_back(Print(element));
            return true;
        });
    return reading.object ? reading : Reading();
}

std::string Nested(int levels, const std::string& inside = "1")
{
    return std::string(size_t(levels), '[') + inside + std::string(size_t(levels), ']');
}

std::vector<std::string> Replies()
{
    const std::string bom = "\xEF\xBB\xBF";
    std::vector<std::string> replies = {
        R"({"flag":1,"msg":"查询成功","count":2,"gwList":[{"gwSn":"GW-A","isOnline":true},{"gwSn":"GW-B"}]})",
        R"({"FLAG":2,"Msg":"x","flag":3,"gwlist":"no list","GWLIST":[1,2],"count":-1e30})",
        R"({"gwList":[],"flag":[{"a":{}}],"msg":null,"count":"7"})",
        R"( {  "gwList" : [ 1 , "two" , [3] , {"four":4} , null , true , false ] , "flag" : 1 } )",
        "\t{\"flag\"\n:\r1}\x01\x1f trailing } ] garbage",
        R"({"msg":"a\"b\\\"[{","gwList":["]}\"[{",{"k":"\u0000x"}],"fl\u0061g":5})",
        R"({"":1,"flag\u0000x":2,"gwList":[1e400,-0,0.5,123456789012345678901234567890,1E+2]})",
        "{}",
        "[]",
        "17",
        "\"text\"",
        "",
        bom + R"({"flag":1})",
        bom + bom + R"({"flag":1})",
        R"({"flag":1,"gwList":[)" + bom + R"(1]})",
        R"({"flag":)" + bom + R"(1})",
        std::string("{\"flag\":1,\"gwList\":[1,\0 2]}", 27),
        std::string("{\"flag\":1}\0{", 12),
        // Nesting around cJSON's limit of 1,000, in the list, in another member and
        // in brackets inside texts.
        R"({"gwList":[)" + Nested(997) + "]}",
        R"({"gwList":[)" + Nested(998) + "]}",
        R"({"gwList":[)" + Nested(999) + "]}",
        R"({"other":)" + Nested(998) + "}",
        R"({"other":)" + Nested(999) + "}",
        R"({"other":)" + Nested(1000) + "}",
        R"({"other":")" + std::string(3000, '[') + R"(","flag":1})",
        R"({"flag":1})" + Nested(2000),
    };
    return replies;
}

void ExpectSame(const std::string& text)
{
    const Reading tree = FromTree(text);
    const Reading walked = Walked(text);
    ASSERT_EQ(walked.object, tree.object) << "text: " << text.substr(0, 300);
    EXPECT_EQ(walked.members, tree.members) << "text: " << text.substr(0, 300);
    EXPECT_EQ(walked.elements, tree.elements) << "text: " << text.substr(0, 300);
}

} // namespace

TEST(ReplyWalker, ReadsWhatTheWholeTreeHoldsForEveryShapeOfReply)
{
    for (const std::string& text : Replies())
        ExpectSame(text);
    // The cases that set the limits are what they claim to be.
    EXPECT_TRUE(Walked(R"({"gwList":[)" + Nested(998) + "]}").object);
    EXPECT_FALSE(Walked(R"({"gwList":[)" + Nested(999) + "]}").object);
    EXPECT_TRUE(Walked(R"({"flag":1})" + Nested(2000)).object);
}

TEST(ReplyWalker, ReadsWhatTheWholeTreeHoldsForEverySmallDamage)
{
    const char structural[] = {'{', '}', '[', ']', ',', ':', '"', '\\', ' ', '\0', '\xEF', '1', 'e'};
    for (const std::string& reply : Replies()) {
        if (reply.size() > 400)
            continue;
        for (size_t at = 0; at <= reply.size(); ++at) {
            ExpectSame(reply.substr(0, at));
            if (at == reply.size())
                break;
            std::string without = reply;
            without.erase(at, 1);
            ExpectSame(without);
            for (char c : structural) {
                std::string changed = reply;
                changed[at] = c;
                ExpectSame(changed);
                ExpectSame(reply.substr(0, at) + c + reply.substr(at));
            }
        }
    }
    // Several changes at once, from a fixed random sequence.
    std::mt19937 random(20240611);
    const std::vector<std::string> replies = Replies();
    for (int run = 0; run < 3000; ++run) {
        std::string text = replies[random() % 8];
        for (int edits = 1 + int(random() % 4); edits > 0 && !text.empty(); --edits)
            text[random() % text.size()] = structural[random() % sizeof structural];
        ExpectSame(text);
    }
}

TEST(ReplyWalker, StopsWhereTheElementCallbackSaysSo)
{
    size_t seen = 0;
    const bool whole =
        ReplyWalker::Walk(R"({"flag":1,"gwList":[1,2,3,4],"count":4})", kNames, kList,
                          [](size_t, const cJSON*) {}, [&](const cJSON*) { return ++seen < 2; });
    EXPECT_FALSE(whole);
    EXPECT_EQ(seen, 2u);
}
