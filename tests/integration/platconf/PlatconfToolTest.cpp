// lumetra-platconf run as a real process on folders and files in a temp folder.

#include "app/CustomResourceTable.h"
#include "support/ProgramRun.h"
#include "support/ResourceUse.h"
#include "support/TempDir.h"
#include "support/ToolProcess.h"

#include <QFile>
#include <gtest/gtest.h>
#include <vector>

namespace {

using Result = ProgramRun::Result;

Result RunTool(const QStringList& args)
{
    const Result result = ProgramRun::Run(ProgramRun::BuiltProgram("lumetra-platconf"), args);
    EXPECT_TRUE(result.started && !result.timedOut && !result.crashed) << result.err.toStdString();
    return result;
}

// The entries as the client's own reader sees them; it must accept the file whole.
std::vector<_Resource_Info> ParseWhole(const QByteArray& bytes)
{
    std::vector<std::unique_ptr<_Resource_Info>> parsed;
    std::string error;
    EXPECT_TRUE(ParseCustomResources(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                     static_cast<size_t>(bytes.size()), parsed, &error))
        << error;
    std::vector<_Resource_Info> entries;
    for (const std::unique_ptr<_Resource_Info>& e : parsed)
        entries.push_back(*e);
    return entries;
}

// A PNG signature and bytes that a text conversion would damage.
const QByteArray kPng = QByteArray("\x89PNG\r\n\x1a\n\0\r\n\x7f\xff\r\n\n", 16).repeated(20);

TEST(PlatconfToolTest, PackListAndExtractKeepTextsImagesAndTheManifest)
{
    TempDir temp;
    const QString folder = temp.MakeDir("conf");
    temp.Write("conf/wsp", "18080");
    temp.Write("conf/wsh", "127.0.0.1\n");
    temp.Write("conf/dtverloca", "V 1.0 \r\n");
    temp.Write("conf/compinfo", "第一行\n\n");
    temp.Write("conf/logo.png", kPng);
    temp.Write("conf/.hidden", "not an entry");
    temp.MakeDir("conf/subfolder");
    temp.Write("conf/platconf.manifest", "# branding\n\n"
                                         "dtverloca value=7 rect=10,-20,300,40  # drawn here\n"
                                         "logo.png   value=-3\r\n");
    const QString file = temp.FilePath("platconf");
    const Result packed = RunTool({"pack", folder, file});
    ASSERT_EQ(packed.exitCode, 0) << packed.err.toStdString();
    EXPECT_EQ(packed.out, "packed 5 entries into " + file + "\n");

    // Sorted by name; a text loses one line end and gains one terminating zero.
    const std::vector<_Resource_Info> entries = ParseWhole(TempDir::Read(file));
    const std::pair<const char*, QByteArray> expected[] = {{"compinfo", QByteArray("第一行\n\0", 11)},
                                                           {"dtverloca", QByteArray("V 1.0 \0", 7)},
                                                           {"logo.png", kPng},
                                                           {"wsh", QByteArray("127.0.0.1\0", 10)},
                                                           {"wsp", QByteArray("18080\0", 6)}};
    ASSERT_EQ(entries.size(), std::size(expected));
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].name, expected[i].first);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(entries[i].data.data()), entries[i].data.size()),
                  expected[i].second)
            << expected[i].first;
        EXPECT_EQ(entries[i].size, static_cast<int64_t>(entries[i].data.size()));
    }
    EXPECT_EQ(std::vector<int64_t>({entries[1].value, entries[1].left, entries[1].top, entries[1].right,
                                    entries[1].bottom, entries[2].value, entries[2].right, entries[3].value}),
              std::vector<int64_t>({7, 10, -20, 300, 40, -3, 0, 0}));

    const Result listed = RunTool({"list", file});
    ASSERT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    const QStringList lines = listed.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 6) << listed.out.toStdString();
    EXPECT_EQ(lines[0].simplified(), "NAME SIZE VALUE RECT");
    EXPECT_EQ(lines[2].simplified(), "dtverloca 7 7 10,-20,300,40");
    EXPECT_EQ(lines[3].simplified(), "logo.png " + QString::number(kPng.size()) + " -3 0,0,0,0");
    EXPECT_EQ(RunTool({"extract", file, "wsh"}).bytes, QByteArray("127.0.0.1\0", 10));
    EXPECT_EQ(RunTool({"extract", file, "logo.png"}).bytes, kPng);
}

TEST(PlatconfToolTest, ManifestMistakesNameTheLineAndWriteNothing)
{
    const std::pair<const char*, const char*> cases[] = {
        {"# fine\nwsh value=1\nmissing value=2\n", "line 3: no file 'missing'"},
        {"wsh value=99999999999\n", "line 1: value"},
        {"\n\nwsh rect=1,2,3\n", "line 3: rect"},
        {"wsh colour=red\n", "line 1: unknown field"},
        {"wsh value=1\nwsh value=2\n", "line 2: entry 'wsh' already described on line 1"},
    };
    for (const auto& [manifest, message] : cases) {
        TempDir dir;
        dir.Write("conf/wsh", "host\n");
        dir.Write("conf/platconf.manifest", manifest);
        const Result r = RunTool({"pack", dir.FilePath("conf"), dir.FilePath("platconf")});
        EXPECT_EQ(r.exitCode, 1) << manifest;
        EXPECT_TRUE(r.err.contains("platconf.manifest")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(message)) << manifest << " -> " << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(dir.FilePath("platconf"))) << manifest;
    }
}

TEST(PlatconfToolTest, DamagedFileListsTheGoodEntriesThenFails)
{
    TempDir temp;
    temp.Write("conf/a", "first\n");
    temp.Write("conf/b", "second\n");
    ASSERT_EQ(RunTool({"pack", temp.FilePath("conf"), temp.FilePath("platconf")}).exitCode, 0);
    const QByteArray whole = TempDir::Read(temp.FilePath("platconf"));
    // Cut inside the data of b; or give b's name a length far beyond the file
    // (entry a takes 36 + 1 + 6 bytes), which must be refused, not read.
    QByteArray huge = whole;
    huge.replace(36 + 1 + 6 + 4, 4, "\xff\xff\xff\xff");
    for (const QByteArray& bytes : {whole.left(whole.size() - 3), huge}) {
        const QString path = temp.Write("damaged", bytes);
        const Result listed = RunTool({"list", path});
        EXPECT_EQ(listed.exitCode, 1);
        const QStringList lines = listed.out.trimmed().split('\n');
        ASSERT_EQ(lines.size(), 2) << listed.out.toStdString();
        EXPECT_EQ(lines[1].simplified(), "a 6 0 0,0,0,0");
        EXPECT_TRUE(listed.err.contains("damaged")) << listed.err.toStdString();
        EXPECT_EQ(RunTool({"extract", path, "a"}).bytes, QByteArray("first\0", 6));
        const Result lost = RunTool({"extract", path, "b"});
        EXPECT_EQ(lost.exitCode, 1);
        EXPECT_TRUE(lost.err.contains("no entry 'b'")) << lost.err.toStdString();
    }
}

TEST(PlatconfToolTest, BadCommandLinesPrintUsageWithStatus2)
{
    const std::pair<QStringList, const char*> cases[] = {
        {{}, "usage: lumetra-platconf"},
        {{"unpack", "x"}, "unknown command 'unpack'"},
        {{"pack", "folder"}, "wrong number of arguments for 'pack'"},
    };
    for (const auto& [args, message] : cases) {
        const Result r = RunTool(args);
        EXPECT_EQ(r.exitCode, 2) << message;
        EXPECT_TRUE(r.err.contains(message)) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("usage:")) << r.err.toStdString();
    }
    const Result help = RunTool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("extract <file> <name>"));
}

} // namespace

namespace {

// lumetra-platconf run with fork and exec, so its peak resident size can be read.
struct SizedRun
{
    int exitCode = -1;
    std::string out, err;
    long peakKb = -1;
};

SizedRun RunMeasured(const std::vector<std::string>& args)
{
    ToolProcess tool;
    SizedRun run;
    EXPECT_TRUE(tool.Start(ProgramRun::BuiltProgram("lumetra-platconf").toStdString(), args));
    EXPECT_TRUE(tool.Finish(60000)) << "lumetra-platconf did not end";
    run.exitCode = tool.ExitCode();
    run.out = tool.Out();
    run.err = tool.Err();
    run.peakKb = tool.PeakResidentKb();
    return run;
}

} // namespace

TEST(PlatconfToolTest, FileOverTheSizeLimitOrADeviceIsReportedAsDamagedWithoutBeingReadWhole)
{
    TempDir temp;
    // A file of a gigabyte (sparse: it takes no disk), and an endless device.
    const QString sparse = temp.FilePath("huge");
    QFile huge(sparse);
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(1) << 30));
    huge.close();
    for (const std::string& path : {sparse.toStdString(), std::string("/dev/zero")}) {
        const SizedRun listed = RunMeasured({"list", path});
        EXPECT_EQ(listed.exitCode, 1) << path;
        EXPECT_EQ(listed.out, "NAME  SIZE  VALUE  RECT\n") << path;
        EXPECT_EQ(listed.err, "lumetra-platconf: " + path +
                                  " is damaged: more than 8388608 bytes, the most a " +
                                  "custom resource file may have\n");
        if (ResourceUse::MeasuresMemory()) {
            EXPECT_LT(listed.peakKb, 100 * 1024)
                << path << ": peak resident size " << listed.peakKb << " KiB";
        }
        const SizedRun extracted = RunMeasured({"extract", path, "wsh"});
        EXPECT_EQ(extracted.exitCode, 1) << path;
        EXPECT_EQ(extracted.out, "") << path;
        EXPECT_NE(extracted.err.find("no entry 'wsh' before the damage"), std::string::npos) << extracted.err;
        if (ResourceUse::MeasuresMemory()) {
            EXPECT_LT(extracted.peakKb, 100 * 1024) << path;
        }
    }
}

TEST(PlatconfToolTest, PackMakesNoFileOverTheSizeLimit)
{
    TempDir temp;
    // Two images that fit one by one but not together: nothing is written.
    temp.Write("conf/a.png", QByteArray(5 * 1024 * 1024, 'a'));
    temp.Write("conf/b.png", QByteArray(5 * 1024 * 1024, 'b'));
    const Result together = RunTool({"pack", temp.FilePath("conf"), temp.FilePath("platconf")});
    EXPECT_EQ(together.exitCode, 1);
    EXPECT_TRUE(together.err.contains("more than the 8388608 a custom resource file may have"))
        << together.err.toStdString();
    EXPECT_FALSE(QFile::exists(temp.FilePath("platconf")));

    // One image of exactly what fits beside its entry's 36 bytes and name is packed,
    // and the client's reader takes the file whole.
    QFile::remove(temp.FilePath("conf/b.png"));
    temp.Write("conf/a.png", QByteArray(8 * 1024 * 1024 - 36 - 5, 'a'));
    ASSERT_EQ(RunTool({"pack", temp.FilePath("conf"), temp.FilePath("platconf")}).exitCode, 0);
    EXPECT_EQ(QFile(temp.FilePath("platconf")).size(), qint64(kCustomResourceFileLimit));
    EXPECT_EQ(RunTool({"list", temp.FilePath("platconf")}).exitCode, 0);

    // A file in the folder larger than any custom resource file is not read.
    QFile big(temp.FilePath("conf/a.png"));
    ASSERT_TRUE(big.resize(qint64(1) << 30));
    const Result tooBig = RunTool({"pack", temp.FilePath("conf"), temp.FilePath("other")});
    EXPECT_EQ(tooBig.exitCode, 1);
    EXPECT_TRUE(tooBig.err.contains("a.png: more than 8388608 bytes")) << tooBig.err.toStdString();
}
