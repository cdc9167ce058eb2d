#include "app/CustomResourceTable.h"
#include "TempHome.h"
#include "app/ProgramFolder.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

// Writes an entry field by field, independently of SerializeResourceEntry, so the
// parser and the serializer are each checked against the layout itself.
struct RawEntry
{
    uint32_t skipped = 0;
    std::string name;
    int32_t value = 0, left = 0, top = 0, right = 0, bottom = 0;
    std::string data;
    bool overrideLength = false;
    uint32_t nameLength = 0;
    uint64_t dataLength = 0;
};

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 24));
}

std::vector<uint8_t> Bytes(const RawEntry& e)
{
    std::vector<uint8_t> out;
    Put32(out, e.skipped);
    Put32(out, e.overrideLength ? e.nameLength : static_cast<uint32_t>(e.name.size()));
    out.insert(out.end(), e.name.begin(), e.name.end());
    for (int32_t v : {e.value, e.left, e.top, e.right, e.bottom})
        Put32(out, static_cast<uint32_t>(v));
    const uint64_t length = e.overrideLength ? e.dataLength : e.data.size();
    Put32(out, static_cast<uint32_t>(length));
    Put32(out, static_cast<uint32_t>(length >> 32));
    out.insert(out.end(), e.data.begin(), e.data.end());
    return out;
}

std::vector<uint8_t> Concat(const std::vector<std::vector<uint8_t>>& parts)
{
    std::vector<uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Owns the heap records that ParseCustomResources hands out.
struct Parsed
{
    std::vector<std::unique_ptr<_Resource_Info>> entries;
    bool complete = false;
    std::string error;
};

Parsed Parse(const std::vector<uint8_t>& bytes, size_t length)
{
    std::vector<_Resource_Info*> raw;
    Parsed result;
    result.complete = ParseCustomResources(bytes.data(), length, raw, &result.error);
    for (auto* e : raw)
        result.entries.emplace_back(e);
    return result;
}

Parsed Parse(const std::vector<uint8_t>& bytes)
{
    return Parse(bytes, bytes.size());
}

QByteArray ToQByteArray(const std::vector<uint8_t>& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

std::vector<RawEntry> SampleEntries()
{
    RawEntry wsh;
    wsh.skipped = 0xDEADBEEF;
    wsh.name = "wsh";
    wsh.value = -7;
    wsh.left = 10;
    wsh.top = 20;
    wsh.right = 300;
    wsh.bottom = -40;
    wsh.data = std::string("127.0.0.1\0", 10);
    RawEntry empty;
    RawEntry logo;
    logo.name = "logo.png";
    logo.data = std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    RawEntry wsp;
    wsp.name = "wsp";
    wsp.data = std::string("8080\0", 5);
    return {wsh, empty, logo, wsp};
}

} // namespace

TEST(CustomResourceFormat, EntryFieldsAreReadFromTheirOffsets)
{
    const RawEntry wsh = SampleEntries()[0];
    const std::vector<uint8_t> bytes = Bytes(wsh);
    ASSERT_EQ(bytes.size(), 36u + 3u + 10u);

    Parsed parsed = Parse(bytes);
    ASSERT_TRUE(parsed.complete) << parsed.error;
    ASSERT_EQ(parsed.entries.size(), 1u);
    const _Resource_Info& e = *parsed.entries[0];
    EXPECT_EQ(e.name, "wsh");
    EXPECT_EQ(e.value, -7);
    EXPECT_EQ(e.left, 10);
    EXPECT_EQ(e.top, 20);
    EXPECT_EQ(e.right, 300);
    EXPECT_EQ(e.bottom, -40);
    EXPECT_EQ(e.size, 10);
    EXPECT_EQ(std::string(e.data.begin(), e.data.end()), wsh.data);
    EXPECT_EQ(e.Text(), "127.0.0.1");
}

TEST(CustomResourceFormat, SerializedEntryHasTheFileLayout)
{
    _Resource_Info e;
    e.name = "wsh";
    e.value = -7;
    e.left = 10;
    e.top = 20;
    e.right = 300;
    e.bottom = -40;
    const std::string text("127.0.0.1\0", 10);
    e.data.assign(text.begin(), text.end());
    e.size = 10;

    RawEntry expected = SampleEntries()[0];
    expected.skipped = 0; // the writer puts 0 into the uninterpreted field
    EXPECT_EQ(SerializeResourceEntry(e), Bytes(expected));
}

TEST(CustomResourceFormat, EmptyNameAndNoDataOccupy36Bytes)
{
    const std::vector<uint8_t> bytes = Bytes(RawEntry());
    ASSERT_EQ(bytes.size(), 36u);
    EXPECT_EQ(SerializeResourceEntry(_Resource_Info()), bytes);

    // Two such entries back to back: the second starts at offset 36.
    Parsed parsed = Parse(Concat({bytes, bytes}));
    ASSERT_TRUE(parsed.complete) << parsed.error;
    ASSERT_EQ(parsed.entries.size(), 2u);
    for (const auto& e : parsed.entries) {
        EXPECT_TRUE(e->name.empty());
        EXPECT_TRUE(e->data.empty());
        EXPECT_EQ(e->size, 0);
        EXPECT_EQ(e->Text(), "");
    }
}

TEST(CustomResourceFormat, EmptyBufferGivesNoEntries)
{
    Parsed parsed = Parse({});
    EXPECT_TRUE(parsed.complete);
    EXPECT_TRUE(parsed.entries.empty());
    std::vector<_Resource_Info*> out;
    EXPECT_TRUE(ParseCustomResources(nullptr, 100, out, nullptr));
    EXPECT_TRUE(out.empty());
}

TEST(CustomResourceFormat, EveryTruncationKeepsExactlyTheCompleteEntries)
{
    std::vector<std::vector<uint8_t>> parts;
    std::vector<size_t> ends; // offset just past each entry
    size_t offset = 0;
    for (const RawEntry& e : SampleEntries()) {
        parts.push_back(Bytes(e));
        offset += parts.back().size();
        ends.push_back(offset);
    }
    const std::vector<uint8_t> file = Concat(parts);
    const std::vector<RawEntry> sample = SampleEntries();

    for (size_t cut = 0; cut <= file.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        size_t whole = 0;
        bool onBoundary = cut == 0;
        for (size_t end : ends) {
            if (end <= cut)
                ++whole;
            if (end == cut)
                onBoundary = true;
        }
        // A copy of exactly `cut` bytes, so any read past the cut is seen by ASan.
        const std::vector<uint8_t> head(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
        Parsed parsed = Parse(head);
        EXPECT_EQ(parsed.complete, onBoundary);
        EXPECT_EQ(parsed.error.empty(), onBoundary);
        ASSERT_EQ(parsed.entries.size(), whole);
        for (size_t i = 0; i < whole; ++i) {
            EXPECT_EQ(parsed.entries[i]->name, sample[i].name);
            EXPECT_EQ(std::string(parsed.entries[i]->data.begin(), parsed.entries[i]->data.end()),
                      sample[i].data);
        }
        if (!onBoundary) {
            EXPECT_NE(parsed.error.find("entry " + std::to_string(whole)), std::string::npos) << parsed.error;
        }
    }
}

TEST(CustomResourceFormat, HugeLengthsStopParsingWithoutReadingPastTheEnd)
{
    const RawEntry good = SampleEntries()[0];
    struct Case
    {
        const char* what;
        uint32_t nameLength;
        uint64_t dataLength;
    };
    const Case cases[] = {
        {"name length 2^32-1", 0xFFFFFFFFu, 0},
        {"name length one past the end", 35, 0},
        {"data length 2^64-1", 2, 0xFFFFFFFFFFFFFFFFull},
        {"data length 2^63", 2, 0x8000000000000000ull},
        {"data length that wraps 36+N+L", 2, 0xFFFFFFFFFFFFFFFFull - 37},
        {"data length 2^32", 2, 0x100000000ull},
        {"data length one past the end", 2, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RawEntry bad;
        bad.name = "ab";
        bad.data = "1234";
        bad.overrideLength = true;
        bad.nameLength = c.nameLength;
        bad.dataLength = c.dataLength;
        Parsed parsed = Parse(Concat({Bytes(good), Bytes(bad)}));
        EXPECT_FALSE(parsed.complete);
        ASSERT_EQ(parsed.entries.size(), 1u);
        EXPECT_EQ(parsed.entries[0]->name, "wsh");
        EXPECT_NE(parsed.error.find("entry 1 at offset 49"), std::string::npos) << parsed.error;
    }
}

TEST(CustomResourceTable, LooksUpTheFirstEntryWithExactlyThatName)
{
    TempHome home;
    ASSERT_TRUE(home.IsValid());
    RawEntry first;
    first.name = "wsh";
    first.data = std::string("first\0", 6);
    RawEntry second = first;
    second.data = std::string("second\0", 7);
    RawEntry upper;
    upper.name = "WSH2";
    upper.data = std::string("upper\0", 6);
    RawEntry prefix;
    prefix.name = "ws";
    prefix.data = std::string("prefix\0", 7);
    ASSERT_TRUE(home.Write("custom_resource/platconf",
                           ToQByteArray(Concat({Bytes(first), Bytes(second), Bytes(upper), Bytes(prefix)}))));

    LoadCustomResources();
    ASSERT_EQ(CustomResourceTable().size(), 4u);
    const _Resource_Info* wsh = FindCustomResource("wsh");
    ASSERT_NE(wsh, nullptr);
    EXPECT_EQ(wsh, CustomResourceTable()[0]);
    EXPECT_EQ(wsh->Text(), "first");
    EXPECT_EQ(FindCustomResource("WSH"), nullptr);
    EXPECT_EQ(FindCustomResource("wsh2"), nullptr);
    ASSERT_NE(FindCustomResource("WSH2"), nullptr);
    EXPECT_EQ(FindCustomResource("w"), nullptr);
    EXPECT_EQ(CustomResourceText("ws"), "prefix");
    EXPECT_EQ(FindCustomResource(nullptr), nullptr);
    EXPECT_EQ(CustomResourceText("bh", "fallback"), "fallback");
    EXPECT_EQ(CustomResourceText("bh"), "");
}

TEST(CustomResourceTable, TextOfAnEntryWithoutTerminatorIsAllItsData)
{
    _Resource_Info e;
    const std::string raw = "8080";
    e.data.assign(raw.begin(), raw.end());
    EXPECT_EQ(e.Text(), "8080");
    const std::string inner("80\0"
                            "80",
                            5);
    e.data.assign(inner.begin(), inner.end());
    EXPECT_EQ(e.Text(), "80");
}

TEST(CustomResourceTable, MissingFileLeavesTheTableEmpty)
{
    TempHome home;
    ASSERT_TRUE(home.IsValid());
    testing::internal::CaptureStderr();
    LoadCustomResources();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(CustomResourceTable().empty());
    EXPECT_EQ(FindCustomResource("wsh"), nullptr);
    EXPECT_LE(std::count(err.begin(), err.end(), '\n'), 1);

    // An empty file is an empty table too, and a folder in the file's place cannot
    // be read as one.
    ASSERT_TRUE(home.Write("custom_resource/platconf", QByteArray()));
    LoadCustomResources();
    EXPECT_TRUE(CustomResourceTable().empty());
    ASSERT_TRUE(QFile::remove(CustomResourcePath()));
    ASSERT_TRUE(QDir(home.Path()).mkpath("custom_resource/platconf"));
    testing::internal::CaptureStderr();
    LoadCustomResources();
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(CustomResourceTable().empty());
}

TEST(CustomResourceTable, DamagedFileKeepsEarlierEntriesAndReportsOneLine)
{
    TempHome home;
    ASSERT_TRUE(home.IsValid());
    const std::vector<RawEntry> sample = SampleEntries();
    std::vector<uint8_t> file = Concat({Bytes(sample[0]), Bytes(sample[3])});
    file.resize(file.size() - 1); // the last data byte is missing
    ASSERT_TRUE(home.Write("custom_resource/platconf", ToQByteArray(file)));

    testing::internal::CaptureStderr();
    LoadCustomResources();
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(CustomResourceTable().size(), 1u);
    EXPECT_NE(FindCustomResource("wsh"), nullptr);
    EXPECT_EQ(FindCustomResource("wsp"), nullptr);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("entry 1 at offset 49"), std::string::npos) << err;
}

TEST(CustomResourceTable, SecondLoadReplacesTheTableAndKeepsOldEntriesAlive)
{
    TempHome home;
    ASSERT_TRUE(home.IsValid());
    const std::vector<RawEntry> sample = SampleEntries();
    const QString first = home.File("first");
    const QString second = home.File("second");
    ASSERT_TRUE(home.Write("first", ToQByteArray(Concat({Bytes(sample[0]), Bytes(sample[2])}))));
    ASSERT_TRUE(home.Write("second", ToQByteArray(Bytes(sample[3]))));

    LoadCustomResourcesFrom(first);
    ASSERT_EQ(CustomResourceTable().size(), 2u);
    const _Resource_Info* old = FindCustomResource("wsh");
    ASSERT_NE(old, nullptr);

    LoadCustomResourcesFrom(second);
    ASSERT_EQ(CustomResourceTable().size(), 1u);
    EXPECT_EQ(FindCustomResource("wsh"), nullptr);
    EXPECT_EQ(CustomResourceText("wsp"), "8080");
    EXPECT_EQ(old->Text(), "127.0.0.1"); // still readable after the reload
}
