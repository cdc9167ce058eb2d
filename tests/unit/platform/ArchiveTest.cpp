#include "platform/ArchiveReader.h"
#include "platform/ArchiveWriter.h"

#include <gtest/gtest.h>

namespace {

QByteArray Hex(const char* hex)
{
    return QByteArray::fromHex(hex);
}

} // namespace

TEST(ArchiveWriter, HeaderIntegersAndStringsAreLittleEndian)
{
    ArchiveWriter w;
    w.WriteClassHeader(2, "Cx");
    w.WriteInt32(1);
    w.WriteInt32(-2);
    w.WriteInt32(0x12345678);
    w.WriteString(QString());
    w.WriteString(QStringLiteral("A中"));
    EXPECT_EQ(w.Bytes().toHex(' '), Hex("FFFF 0200 0200 4378"
                                        "01000000 FEFFFFFF 78563412"
                                        "FFFEFF00"
                                        "FFFEFF02 4100 2D4E")
                                        .toHex(' '));
}

TEST(ArchiveReader, ReadsWhatTheWriterWrote)
{
    ArchiveWriter w;
    w.WriteClassHeader(7, "Name");
    w.WriteInt32(INT32_MIN);
    for (int length : {0, 1, 254, 255, 0xFFFD, 0xFFFE, 0xFFFF, 0x10000}) {
        w.WriteString(QString(length, QChar(0x4E2D)));
        w.WriteInt32(length);
    }
    ArchiveReader r(w.Bytes());
    uint16_t schema = 0;
    QByteArray name;
    ASSERT_TRUE(r.ReadClassHeader(&schema, &name));
    EXPECT_EQ(schema, 7);
    EXPECT_EQ(name, "Name");
    EXPECT_EQ(r.ReadInt32(), INT32_MIN);
    for (int length : {0, 1, 254, 255, 0xFFFD, 0xFFFE, 0xFFFF, 0x10000}) {
        EXPECT_EQ(r.ReadString(), QString(length, QChar(0x4E2D))) << length;
        EXPECT_EQ(r.ReadInt32(), length);
    }
    EXPECT_FALSE(r.Failed());
    EXPECT_TRUE(r.AtEnd());
}

TEST(ArchiveReader, ReadingPastTheEndFailsAndStaysFailed)
{
    ArchiveReader r(Hex("010203"));
    EXPECT_EQ(r.ReadInt32(), 0);
    EXPECT_TRUE(r.Failed());
    EXPECT_EQ(r.ReadString(), QString());
    EXPECT_TRUE(r.Failed());

    ArchiveReader empty{QByteArray()};
    uint16_t schema = 0;
    QByteArray name;
    EXPECT_FALSE(empty.ReadClassHeader(&schema, &name));
    EXPECT_TRUE(empty.Failed());
}

TEST(ArchiveReader, MalformedStringsAndHeadersFail)
{
    const char* bad[] = {
        "FEFEFF00",             // not the marker byte
        "FFFFFF00",             // marker value FFFF instead of FFFE
        "FFFEFF",               // no length
        "FFFEFF01",             // one unit announced, none present
        "FFFEFF0141",           // half a unit
        "FFFEFFFF",             // 16-bit length missing
        "FFFEFFFF0001",         // 256 units announced, none present
        "FFFEFFFFFFFF",         // 32-bit length missing
        "FFFEFFFFFFFFFFFFFFFF", // 2^32-1 units announced
        "FFFEFFFFFFFF00000080", // 2^31 units announced
    };
    for (const char* hex : bad) {
        ArchiveReader r(Hex(hex));
        EXPECT_EQ(r.ReadString(), QString()) << hex;
        EXPECT_TRUE(r.Failed()) << hex;
    }
    const char* badHeaders[] = {"FEFF02000100", "FFFF0200", "FFFF02000500414243", "FFFF0200FFFF41"};
    for (const char* hex : badHeaders) {
        ArchiveReader r(Hex(hex));
        uint16_t schema = 0;
        QByteArray name;
        EXPECT_FALSE(r.ReadClassHeader(&schema, &name)) << hex;
        EXPECT_TRUE(r.Failed()) << hex;
    }
}

TEST(ArchiveReader, EveryTruncationOfAValidArchiveFails)
{
    ArchiveWriter w;
    w.WriteClassHeader(2, "CRequestLogin");
    w.WriteString(QString(300, QChar('x')));
    w.WriteInt32(5);
    w.WriteString(QStringLiteral("尾"));
    const QByteArray all = w.Bytes();
    for (qsizetype cut = 0; cut < all.size(); ++cut) {
        ArchiveReader r(all.left(cut));
        uint16_t schema = 0;
        QByteArray name;
        r.ReadClassHeader(&schema, &name);
        r.ReadString();
        r.ReadInt32();
        r.ReadString();
        EXPECT_TRUE(r.Failed()) << "cut at " << cut;
    }
}
