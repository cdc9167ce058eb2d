#include "app/CustomResourceTable.h"
#include "AppTestSupport.h"
#include "app/Installation.h"
#include "support/ResourceUse.h"

#include <QDir>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

std::string Le32(uint64_t v)
{
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

// One entry written from the layout itself, independently of the code under test.
std::string Entry(const std::string& name, const std::string& data,
                  std::vector<int32_t> fields = {0, 0, 0, 0, 0}, uint32_t skipped = 0)
{
    std::string out = Le32(skipped) + Le32(name.size()) + name;
    for (int32_t f : fields)
        out += Le32(uint32_t(f));
    return out + Le32(data.size()) + Le32(uint64_t(data.size()) >> 32) + data;
}

// Parses a copy of exactly these bytes (so ASan sees any read past the end) and owns the entries.
struct Parsed
{
    explicit Parsed(const std::string& bytes) : copy(bytes.begin(), bytes.end())
    {
        complete = ParseCustomResources(copy.data(), copy.size(), entries, &error);
    }
    std::string Data(size_t i) const { return std::string(entries[i]->data.begin(), entries[i]->data.end()); }
    std::vector<uint8_t> copy;
    std::vector<std::unique_ptr<_Resource_Info>> entries;
    bool complete = false;
    std::string error;
};

// Loads the installation's table from its folder; returns what went to standard error.
std::string Load(Installation& installation)
{
    testing::internal::CaptureStderr();
    installation.LoadCustomResources();
    return testing::internal::GetCapturedStderr();
}

const std::string kWshData("127.0.0.1\0", 10);
const std::string kWsh = Entry("wsh", kWshData, {-7, 10, 20, 300, -40}, 0xDEADBEEF);
const std::string kWsp = Entry("wsp", std::string("8080\0", 5));

} // namespace

TEST(CustomResourceFormat, EntryLayout)
{
    ASSERT_EQ(kWsh.size(), 36u + 3u + 10u);
    Parsed one(kWsh);
    ASSERT_TRUE(one.complete) << one.error;
    ASSERT_EQ(one.entries.size(), 1u);
    _Resource_Info& e = *one.entries[0];
    // Every field read back from its offset; the writer puts 0 into the uninterpreted field.
    const std::string expected = Entry("wsh", kWshData, {-7, 10, 20, 300, -40});
    EXPECT_EQ(Entry(e.name, one.Data(0), {e.value, e.left, e.top, e.right, e.bottom}), expected);
    EXPECT_EQ(e.size, 10);
    EXPECT_EQ(e.Text(), "127.0.0.1");
    EXPECT_EQ(SerializeResourceEntry(e), std::vector<uint8_t>(expected.begin(), expected.end()));

    // An empty name and no data take 36 bytes (the next entry follows: see the truncation test).
    const std::string empty = Entry("", "");
    ASSERT_EQ(empty.size(), 36u);
    EXPECT_EQ(SerializeResourceEntry(_Resource_Info()), std::vector<uint8_t>(empty.begin(), empty.end()));

    // Text stops at the first zero byte, or takes all the data without one.
    e.data = {'8', '0', '8', '0'};
    EXPECT_EQ(e.Text(), "8080");
    e.data = {'8', '0', 0, '8', '0'};
    EXPECT_EQ(e.Text(), "80");
}

TEST(CustomResourceFormat, EveryTruncationKeepsExactlyTheCompleteEntries)
{
    const std::string logo("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    const std::pair<std::string, std::string> sample[] = {
        {"wsh", kWshData}, {"", ""}, {"logo.png", logo}, {"wsp", "80"}};
    std::string file;
    for (const auto& [name, data] : sample)
        file += Entry(name, data);
    auto size = [&](size_t i) { return 36 + sample[i].first.size() + sample[i].second.size(); };
    for (size_t cut = 0; cut <= file.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        size_t whole = 0, end = 0;
        while (whole < 4 && end + size(whole) <= cut)
            end += size(whole++);
        Parsed parsed(file.substr(0, cut));
        EXPECT_EQ(parsed.complete, end == cut);
        ASSERT_EQ(parsed.entries.size(), whole);
        for (size_t i = 0; i < whole; ++i)
            EXPECT_EQ(std::pair(parsed.entries[i]->name, parsed.Data(i)), sample[i]);
        EXPECT_TRUE(end == cut ? parsed.error.empty()
                               : parsed.error.find("entry " + std::to_string(whole)) != std::string::npos)
            << parsed.error;
    }
    std::vector<std::unique_ptr<_Resource_Info>> out;
    EXPECT_TRUE(ParseCustomResources(nullptr, 100, out, nullptr));
    EXPECT_TRUE(out.empty());
}

TEST(CustomResourceFormat, HugeLengthsStopParsingWithoutReadingPastTheEnd)
{
    // Name lengths 2^32-1 and one past the end; data lengths 2^64-1, 2^63, one that wraps 36+N+L,
    // 2^32 and one past the end.
    const std::pair<uint32_t, uint64_t> cases[] = {
        {~0u, 0}, {35, 0}, {2, ~0ull}, {2, 1ull << 63}, {2, ~0ull - 37}, {2, 1ull << 32}, {2, 5}};
    for (const auto& [nameLength, dataLength] : cases) {
        SCOPED_TRACE(std::to_string(nameLength) + "/" + std::to_string(dataLength));
        Parsed parsed(kWsh + Le32(0) + Le32(nameLength) + "ab" + std::string(20, '\0') + Le32(dataLength) +
                      Le32(dataLength >> 32) + "1234");
        EXPECT_FALSE(parsed.complete);
        ASSERT_EQ(parsed.entries.size(), 1u);
        EXPECT_NE(parsed.error.find("entry 1 at offset 49"), std::string::npos) << parsed.error;
    }
}

TEST(CustomResourceTable, LooksUpTheFirstEntryWithExactlyThatName)
{
    TempHome home;
    Installation installation;
    ASSERT_TRUE(home.Write("custom_resource/platconf",
                           QByteArray::fromStdString(Entry("wsh", std::string("first\0", 6)) +
                                                     Entry("wsh", "second") + Entry("WSH2", "upper") +
                                                     Entry("ws", "prefix"))));
    installation.LoadCustomResources();
    ASSERT_EQ(installation.Resources().size(), 4u);
    EXPECT_EQ(installation.FindResource("wsh"), installation.Resources()[0].get());
    EXPECT_EQ(installation.ResourceText("wsh"), "first");
    for (const char* absent : {"WSH", "wsh2", "w", "bh", static_cast<const char*>(nullptr)})
        EXPECT_EQ(installation.FindResource(absent), nullptr) << (absent ? absent : "null");
    EXPECT_EQ(installation.ResourceText("WSH2"), "upper");
    EXPECT_EQ(installation.ResourceText("ws"), "prefix");
    EXPECT_EQ(installation.ResourceText("bh", "fallback"), "fallback");
    EXPECT_EQ(installation.ResourceText("bh"), "");
}

TEST(CustomResourceTable, MissingEmptyOrDamagedFile)
{
    TempHome home;
    Installation installation;
    std::string err = Load(installation);
    EXPECT_TRUE(installation.Resources().empty());
    EXPECT_LE(std::count(err.begin(), err.end(), '\n'), 1);
    ASSERT_TRUE(home.Write("custom_resource/platconf", QByteArray()));
    Load(installation);
    EXPECT_TRUE(installation.Resources().empty());

    // A damaged file keeps the entries before the damage and reports one line.
    const std::string file = kWsh + kWsp;
    ASSERT_TRUE(
        home.Write("custom_resource/platconf", QByteArray::fromStdString(file.substr(0, file.size() - 1))));
    err = Load(installation);
    ASSERT_EQ(installation.Resources().size(), 1u);
    EXPECT_EQ(installation.ResourceText("wsh"), "127.0.0.1");
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("entry 1 at offset 49"), std::string::npos) << err;

    // A reload replaces the table, and entries handed out earlier stay readable.
    const _Resource_Info* old = installation.FindResource("wsh");
    ASSERT_TRUE(QFile::remove(installation.CustomResourcePath()) &&
                QDir(home.Path()).mkpath("custom_resource/platconf"));
    Load(installation); // a folder in the file's place cannot be read as one
    EXPECT_TRUE(installation.Resources().empty());
    EXPECT_EQ(old->Text(), "127.0.0.1");
}

TEST(CustomResourceTable, FileOverTheSizeLimitOrADeviceIsDamagedAndNotReadWhole)
{
    TempHome home;
    Installation installation;
    // One entry filling the limit exactly is read whole.
    const std::string name = "big";
    const std::string full = Entry(name, std::string(kCustomResourceFileLimit - 36 - name.size(), 'd'));
    ASSERT_EQ(full.size(), kCustomResourceFileLimit);
    ASSERT_TRUE(home.Write("custom_resource/platconf", QByteArray::fromStdString(full)));
    EXPECT_EQ(Load(installation), "");
    ASSERT_EQ(installation.Resources().size(), 1u);
    EXPECT_EQ(installation.Resources()[0]->data.size(), kCustomResourceFileLimit - 39);

    // One byte more, a sparse gigabyte and an endless device: one line each, no
    // entries, and the process never holds more than about the limit.
    const std::string line = "is damaged: more than 8388608 bytes; kept the 0 entries before it\n";
    ASSERT_TRUE(home.Write("custom_resource/platconf", QByteArray::fromStdString(full + kWsh)));
    std::string err = Load(installation);
    EXPECT_EQ(err, "custom resource file " + installation.CustomResourcePath().toStdString() + " " + line);
    EXPECT_TRUE(installation.Resources().empty());
    QFile huge(installation.CustomResourcePath());
    ASSERT_TRUE(huge.resize(qint64(1) << 30));
    EXPECT_EQ(Load(installation), err);
    EXPECT_TRUE(installation.Resources().empty());
    testing::internal::CaptureStderr();
    installation.LoadCustomResourcesFrom(QStringLiteral("/dev/zero"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "custom resource file /dev/zero " + line);
    EXPECT_TRUE(installation.Resources().empty());
    const long peakKb = ResourceUse::PeakResidentKb();
    if (ResourceUse::MeasuresMemory()) {
        EXPECT_LT(peakKb, 100 * 1024) << "peak resident size " << peakKb << " KiB";
    }
}
