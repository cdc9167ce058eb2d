#include "platform/ArchiveReader.h"
#include "platform/ArchiveWriter.h"

#include <gtest/gtest.h>

TEST(Archive, WriterBytesAreLittleEndianAndTheReaderGivesThemBack)
{
    platform::ArchiveWriter w;
    w.WriteClassHeader(2, "Cx");
    w.WriteInt32(-2);
    w.WriteInt32(0x12345678);
    w.WriteString(QString());
    w.WriteString(QStringLiteral("A中"));
    EXPECT_EQ(
        w.Bytes().toHex(' '),
        QByteArray::fromHex("FFFF 0200 0200 4378 FEFFFFFF 78563412 FFFEFF00 FFFEFF02 4100 2D4E").toHex(' '));

    // Each string length form around its limits (the count of UTF-16 units after the
    // marker FF FE FF), between integers.
    const std::pair<int, const char*> forms[] = {{1, "01"},
                                                 {254, "FE"},
                                                 {255, "FFFF00"},
                                                 {0xFFFD, "FFFDFF"},
                                                 {0xFFFE, "FFFFFFFEFF0000"},
                                                 {0xFFFF, "FFFFFFFFFF0000"},
                                                 {0x10000, "FFFFFF00000100"}};
    for (const auto& [length, prefix] : forms) {
        platform::ArchiveWriter one;
        one.WriteString(QString(length, QChar(0x4E2D)));
        const QByteArray head = QByteArray::fromHex(QByteArray("FFFEFF") + prefix);
        EXPECT_EQ(one.Bytes().left(head.size()).toHex(), head.toHex()) << length;
        EXPECT_EQ(one.Bytes().size(), head.size() + 2 * length);
        w.WriteString(QString(length, QChar(0x4E2D)));
        w.WriteInt32(INT32_MIN + length);
    }
    platform::ArchiveReader r(w.Bytes());
    uint16_t schema = 0;
    QByteArray name;
    ASSERT_TRUE(r.ReadClassHeader(&schema, &name));
    EXPECT_EQ(schema, 2);
    EXPECT_EQ(name, "Cx");
    EXPECT_EQ(r.ReadInt32(), -2);
    EXPECT_EQ(r.ReadInt32(), 0x12345678);
    EXPECT_EQ(r.ReadString(), QString());
    EXPECT_EQ(r.ReadString(), QStringLiteral("A中"));
    for (const auto& [length, prefix] : forms) {
        EXPECT_EQ(r.ReadString(), QString(length, QChar(0x4E2D))) << length;
        EXPECT_EQ(r.ReadInt32(), INT32_MIN + length);
    }
    EXPECT_FALSE(r.Failed());
    EXPECT_TRUE(r.AtEnd());
}

TEST(Archive, MalformedOrShortInputFailsAndStaysFailed)
{
    // Not the marker FF FE FF; each length form announcing more than is there (up to 2^32-1 units).
    for (const char* hex :
         {"FEFEFF00", "FFFFFF00", "FFFEFF", "FFFEFF01", "FFFEFF0141", "FFFEFFFF", "FFFEFFFF0001",
          "FFFEFFFFFFFF", "FFFEFFFFFFFFFFFFFFFF", "FFFEFFFFFFFF00000080", "010203"}) {
        platform::ArchiveReader r(QByteArray::fromHex(hex));
        EXPECT_EQ(r.ReadString(), QString()) << hex;
        EXPECT_EQ(r.ReadInt32(), 0) << hex; // nothing more is read after a failure
        EXPECT_TRUE(r.Failed()) << hex;
    }
    for (const char* hex : {"", "FEFF02000100", "FFFF0200", "FFFF02000500414243", "FFFF0200FFFF41"}) {
        platform::ArchiveReader r(QByteArray::fromHex(hex));
        uint16_t schema = 0;
        QByteArray name;
        EXPECT_FALSE(r.ReadClassHeader(&schema, &name)) << hex;
        EXPECT_TRUE(r.Failed()) << hex;
    }
}
