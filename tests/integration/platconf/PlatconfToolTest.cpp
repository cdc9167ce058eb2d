// lumetra-platconf run as a real process on folders and files in a temp folder.

#include "app/CustomResourceTable.h"
#include "support/TempDir.h"

#include <QFile>
#include <QProcess>
#include <cctype>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

struct Result
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Result RunTool(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral(LUMETRA_BIN_DIR "/lumetra-platconf"), args);
    Result result;
    if (!process.waitForStarted(10000)) {
        ADD_FAILURE() << "lumetra-platconf did not start: " << process.errorString().toStdString();
        return result;
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(5000);
        ADD_FAILURE() << "lumetra-platconf did not finish";
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

// Parses a file with the client's own reader, which must accept it whole.
std::vector<_Resource_Info> ParseWhole(const QByteArray& bytes)
{
    std::vector<_Resource_Info*> parsed;
    std::string error;
    EXPECT_TRUE(ParseCustomResources(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                     static_cast<size_t>(bytes.size()), parsed, &error))
        << error;
    std::vector<_Resource_Info> entries;
    for (_Resource_Info* e : parsed) {
        entries.push_back(*e);
        delete e;
    }
    return entries;
}

QByteArray DataOf(const _Resource_Info& e)
{
    return QByteArray(reinterpret_cast<const char*>(e.data.data()), static_cast<qsizetype>(e.data.size()));
}

// A PNG signature followed by bytes that a text conversion would damage: zeros, CR
// LF pairs, a trailing newline.
QByteArray PngBytes()
{
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    for (int i = 0; i < 300; ++i)
        png.append(static_cast<char>(i * 7 % 256));
    png.append(QByteArray("\0\r\n\n", 4));
    return png;
}

class PlatconfToolTest : public ::testing::Test
{
protected:
    TempDir temp;
};

TEST_F(PlatconfToolTest, PackStoresTextsWithOneTerminatorAndImagesAsTheyAre)
{
    const QString folder = temp.MakeDir(QStringLiteral("conf"));
    // Written out of name order: the file must come out sorted by name anyway.
    temp.Write(QStringLiteral("conf/wsp"), "18080");
    temp.Write(QStringLiteral("conf/wsh"), "127.0.0.1\n");
    temp.Write(QStringLiteral("conf/dtverloca"), "V 1.0 \r\n");
    temp.Write(QStringLiteral("conf/compinfo"), "第一行\n\n");
    temp.Write(QStringLiteral("conf/blank"), "");
    temp.Write(QStringLiteral("conf/logo.png"), PngBytes());
    temp.Write(QStringLiteral("conf/.hidden"), "not an entry");
    temp.MakeDir(QStringLiteral("conf/subfolder"));
    temp.Write(QStringLiteral("conf/platconf.manifest"),
               "# branding\n"
               "\n"
               "dtverloca value=7 rect=10,-20,300,40  # drawn here\n"
               "logo.png   value=-3\r\n"
               "wsh rect=1,2,3,4\n");
    const QString file = temp.FilePath(QStringLiteral("platconf"));

    const Result packed = RunTool({QStringLiteral("pack"), folder, file});
    ASSERT_EQ(packed.exitCode, 0) << packed.err.toStdString();
    EXPECT_EQ(packed.out, "packed 6 entries into " + file.toUtf8() + "\n");

    const std::vector<_Resource_Info> entries = ParseWhole(ReadFile(file));
    ASSERT_EQ(entries.size(), 6u);
    const char* names[] = {"blank", "compinfo", "dtverloca", "logo.png", "wsh", "wsp"};
    for (size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(entries[i].name, names[i]);

    EXPECT_EQ(DataOf(entries[0]), QByteArray("\0", 1));
    EXPECT_EQ(DataOf(entries[1]), QByteArray("第一行\n\0", 11));
    EXPECT_EQ(DataOf(entries[2]), QByteArray("V 1.0 \0", 7));
    EXPECT_EQ(DataOf(entries[3]), PngBytes());
    EXPECT_EQ(DataOf(entries[4]), QByteArray("127.0.0.1\0", 10));
    EXPECT_EQ(DataOf(entries[5]), QByteArray("18080\0", 6));
    for (const _Resource_Info& e : entries)
        EXPECT_EQ(e.size, static_cast<int64_t>(e.data.size())) << e.name;

    EXPECT_EQ(entries[2].value, 7);
    EXPECT_EQ(entries[2].left, 10);
    EXPECT_EQ(entries[2].top, -20);
    EXPECT_EQ(entries[2].right, 300);
    EXPECT_EQ(entries[2].bottom, 40);
    EXPECT_EQ(entries[3].value, -3);
    EXPECT_EQ(entries[3].right, 0);
    EXPECT_EQ(entries[4].value, 0);
    EXPECT_EQ(entries[4].left, 1);
    EXPECT_EQ(entries[4].bottom, 4);
    EXPECT_EQ(entries[5].value, 0);
    EXPECT_EQ(entries[5].left, 0);
}

TEST_F(PlatconfToolTest, PackIsReproducibleAndListAndExtractReadItBack)
{
    const QString folder = temp.MakeDir(QStringLiteral("conf"));
    temp.Write(QStringLiteral("conf/title.png"), PngBytes());
    temp.Write(QStringLiteral("conf/hotline"), "400-000-0000\n");
    temp.Write(QStringLiteral("conf/a_very_long_entry_name"), "x");
    temp.Write(QStringLiteral("conf/platconf.manifest"), "hotline value=12345 rect=5,6,7,8\n");
    const QString first = temp.FilePath(QStringLiteral("first"));
    const QString second = temp.FilePath(QStringLiteral("second"));
    ASSERT_EQ(RunTool({QStringLiteral("pack"), folder, first}).exitCode, 0);
    ASSERT_EQ(RunTool({QStringLiteral("pack"), folder, second}).exitCode, 0);
    EXPECT_EQ(ReadFile(first), ReadFile(second));

    const Result listed = RunTool({QStringLiteral("list"), first});
    ASSERT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    EXPECT_TRUE(listed.err.isEmpty());
    const QList<QByteArray> lines = listed.out.split('\n');
    ASSERT_EQ(lines.size(), 5); // header, three entries, empty text after the last newline
    EXPECT_TRUE(lines[4].isEmpty());
    EXPECT_EQ(lines[0].simplified(), "NAME SIZE VALUE RECT");
    EXPECT_EQ(lines[1].simplified(), "a_very_long_entry_name 2 0 0,0,0,0");
    EXPECT_EQ(lines[2].simplified(), "hotline 13 12345 5,6,7,8");
    EXPECT_EQ(lines[3].simplified(), "title.png " + QByteArray::number(PngBytes().size()) + " 0 0,0,0,0");
    // Aligned: numbers end under their right-aligned titles, rectangles start under
    // theirs.
    const qsizetype sizeEnd = lines[0].indexOf("SIZE") + 4;
    const qsizetype valueEnd = lines[0].indexOf("VALUE") + 5;
    const qsizetype rectStart = lines[0].indexOf("RECT");
    for (int i = 1; i < 4; ++i) {
        const QByteArray& line = lines[i];
        EXPECT_TRUE(isdigit(line[sizeEnd - 1]) && line[sizeEnd] == ' ') << line.toStdString();
        EXPECT_TRUE(isdigit(line[valueEnd - 1]) && line[valueEnd] == ' ') << line.toStdString();
        EXPECT_TRUE(isdigit(line[rectStart]) && line[rectStart - 1] == ' ') << line.toStdString();
    }

    const Result hotline = RunTool({QStringLiteral("extract"), first, QStringLiteral("hotline")});
    ASSERT_EQ(hotline.exitCode, 0);
    EXPECT_EQ(hotline.out, QByteArray("400-000-0000\0", 13));
    const Result title = RunTool({QStringLiteral("extract"), first, QStringLiteral("title.png")});
    ASSERT_EQ(title.exitCode, 0);
    EXPECT_EQ(title.out, PngBytes());
}

TEST_F(PlatconfToolTest, ManifestMistakesNameTheLineAndWriteNothing)
{
    struct Case
    {
        const char* manifest;
        const char* expected;
    };
    const Case cases[] = {
        {"# fine\nwsh value=1\nmissing value=2\n", "line 3: no file 'missing'"},
        {"wsh value=abc\n", "line 1: value"},
        {"wsh value=99999999999\n", "line 1: value"},
        {"\n\nwsh rect=1,2,3\n", "line 3: rect"},
        {"wsh rect=1,2,3,4,5\n", "line 1: rect"},
        {"wsh colour=red\n", "line 1: unknown field"},
        {"wsh value=1\nwsh value=2\n", "line 2: entry 'wsh' already described on line 1"},
        {"wsh value=1 value=2\n", "line 1: value given twice"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const QString folder = dir.MakeDir(QStringLiteral("conf"));
        dir.Write(QStringLiteral("conf/wsh"), "host\n");
        dir.Write(QStringLiteral("conf/platconf.manifest"), c.manifest);
        const QString file = dir.FilePath(QStringLiteral("platconf"));
        const Result r = RunTool({QStringLiteral("pack"), folder, file});
        EXPECT_EQ(r.exitCode, 1) << c.manifest;
        EXPECT_TRUE(r.err.contains("platconf.manifest")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.expected)) << c.manifest << " -> " << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_FALSE(QFile::exists(file)) << c.manifest;
    }
}

TEST_F(PlatconfToolTest, AFailedPackLeavesTheEarlierFileAndASuccessfulOneReplacesIt)
{
    const QString folder = temp.MakeDir(QStringLiteral("conf"));
    temp.Write(QStringLiteral("conf/wsh"), "old\n");
    const QString file = temp.FilePath(QStringLiteral("platconf"));
    ASSERT_EQ(RunTool({QStringLiteral("pack"), folder, file}).exitCode, 0);
    const QByteArray before = ReadFile(file);

    temp.Write(QStringLiteral("conf/platconf.manifest"), "nothere value=1\n");
    EXPECT_EQ(RunTool({QStringLiteral("pack"), folder, file}).exitCode, 1);
    EXPECT_EQ(ReadFile(file), before);

    QFile::remove(temp.FilePath(QStringLiteral("conf/platconf.manifest")));
    temp.Write(QStringLiteral("conf/wsh"), "new\n");
    ASSERT_EQ(RunTool({QStringLiteral("pack"), folder, file}).exitCode, 0);
    const std::vector<_Resource_Info> entries = ParseWhole(ReadFile(file));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(DataOf(entries[0]), QByteArray("new\0", 4));
}

TEST_F(PlatconfToolTest, OutputInsideThePackedFolderIsNotPackedIntoItself)
{
    const QString folder = temp.MakeDir(QStringLiteral("conf"));
    temp.Write(QStringLiteral("conf/wsh"), "host\n");
    const QString file = temp.FilePath(QStringLiteral("conf/platconf.out"));
    ASSERT_EQ(RunTool({QStringLiteral("pack"), folder, file}).exitCode, 0);
    ASSERT_EQ(RunTool({QStringLiteral("pack"), folder, file}).exitCode, 0);
    const std::vector<_Resource_Info> entries = ParseWhole(ReadFile(file));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "wsh");
}

TEST_F(PlatconfToolTest, EmptyFolderGivesAnEmptyFileThatListsNoEntries)
{
    const QString folder = temp.MakeDir(QStringLiteral("conf"));
    const QString file = temp.FilePath(QStringLiteral("platconf"));
    const Result packed = RunTool({QStringLiteral("pack"), folder, file});
    ASSERT_EQ(packed.exitCode, 0);
    EXPECT_TRUE(packed.out.startsWith("packed 0 entries"));
    EXPECT_TRUE(ReadFile(file).isEmpty());
    const Result listed = RunTool({QStringLiteral("list"), file});
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_EQ(listed.out.simplified(), "NAME SIZE VALUE RECT");
}

TEST_F(PlatconfToolTest, DamagedFileListsTheGoodEntriesThenFails)
{
    const QString folder = temp.MakeDir(QStringLiteral("conf"));
    temp.Write(QStringLiteral("conf/a"), "first\n");
    temp.Write(QStringLiteral("conf/b"), "second\n");
    const QString file = temp.FilePath(QStringLiteral("platconf"));
    ASSERT_EQ(RunTool({QStringLiteral("pack"), folder, file}).exitCode, 0);
    const QByteArray whole = ReadFile(file);
    // Entry a takes 36 + 1 + 6 bytes; cut entry b inside its data.
    const QByteArray cut = whole.left(whole.size() - 3);
    const QString damaged = temp.Write(QStringLiteral("damaged"), cut);
    // A name length far beyond the file: must be refused, not read.
    QByteArray huge = whole;
    const int second = 36 + 1 + 6;
    huge[second + 4] = '\xff';
    huge[second + 5] = '\xff';
    huge[second + 6] = '\xff';
    huge[second + 7] = '\xff';
    const QString hostile = temp.Write(QStringLiteral("hostile"), huge);

    for (const QString& path : {damaged, hostile}) {
        const Result listed = RunTool({QStringLiteral("list"), path});
        EXPECT_EQ(listed.exitCode, 1);
        const QList<QByteArray> lines = listed.out.trimmed().split('\n');
        ASSERT_EQ(lines.size(), 2) << listed.out.toStdString();
        EXPECT_EQ(lines[1].simplified(), "a 6 0 0,0,0,0");
        EXPECT_TRUE(listed.err.contains("damaged")) << listed.err.toStdString();
        EXPECT_EQ(listed.err.count('\n'), 1);

        const Result good = RunTool({QStringLiteral("extract"), path, QStringLiteral("a")});
        EXPECT_EQ(good.exitCode, 0);
        EXPECT_EQ(good.out, QByteArray("first\0", 6));
        const Result lost = RunTool({QStringLiteral("extract"), path, QStringLiteral("b")});
        EXPECT_EQ(lost.exitCode, 1);
        EXPECT_TRUE(lost.out.isEmpty());
        EXPECT_TRUE(lost.err.contains("no entry 'b'")) << lost.err.toStdString();
    }
}

TEST_F(PlatconfToolTest, BadCommandLinesPrintUsageAndMissingFilesFail)
{
    const Result none = RunTool({});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_TRUE(none.err.contains("usage: lumetra-platconf"));
    const Result unknown = RunTool({QStringLiteral("unpack"), QStringLiteral("x")});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains("unknown command 'unpack'"));
    EXPECT_TRUE(unknown.err.contains("usage:"));
    const Result shortPack = RunTool({QStringLiteral("pack"), temp.Path()});
    EXPECT_EQ(shortPack.exitCode, 2);
    EXPECT_TRUE(shortPack.err.contains("wrong number of arguments for 'pack'"));
    const Result help = RunTool({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("extract <file> <name>"));

    const QString missing = temp.FilePath(QStringLiteral("missing"));
    const Result noFolder = RunTool({QStringLiteral("pack"), missing, temp.FilePath(QStringLiteral("out"))});
    EXPECT_EQ(noFolder.exitCode, 1);
    EXPECT_TRUE(noFolder.err.contains("does not exist")) << noFolder.err.toStdString();
    EXPECT_FALSE(QFile::exists(temp.FilePath(QStringLiteral("out"))));
    const Result notFolder = RunTool({QStringLiteral("pack"), temp.Write(QStringLiteral("plain"), "x"),
                                      temp.FilePath(QStringLiteral("out"))});
    EXPECT_EQ(notFolder.exitCode, 1);
    EXPECT_TRUE(notFolder.err.contains("is not a folder"));
    const Result noFile = RunTool({QStringLiteral("list"), missing});
    EXPECT_EQ(noFile.exitCode, 1);
    EXPECT_TRUE(noFile.err.contains("cannot read " + missing.toUtf8())) << noFile.err.toStdString();
    const Result noEntry =
        RunTool({QStringLiteral("extract"), temp.Write(QStringLiteral("empty"), ""), QStringLiteral("wsh")});
    EXPECT_EQ(noEntry.exitCode, 1);
    EXPECT_TRUE(noEntry.err.contains("no entry 'wsh'"));
    const Result unwritable = RunTool({QStringLiteral("pack"), temp.MakeDir(QStringLiteral("conf")),
                                       temp.FilePath(QStringLiteral("no/such/folder/out"))});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_TRUE(unwritable.err.contains("cannot write")) << unwritable.err.toStdString();
}

} // namespace
