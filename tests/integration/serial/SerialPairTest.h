#pragma once

// A real virtual COM pair made by lumetra-vcom for each serial endpoint test: the
// endpoint opens the pair's "CNCA" end by its COM name, the test plays the user's
// application on the CNCB end.

#include "RecordingSerialIO.h"
#include "support/SerialEnd.h"
#include "support/VcomFolder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

inline constexpr int kSerialWaitMs = 10000;

inline std::string RandomBytes(size_t size, unsigned stream)
{
    std::mt19937 gen(stream);
    std::string data(size, '\0');
    for (char& c : data)
        c = static_cast<char>(gen() & 0xff);
    return data;
}

// Chunks of several writers: a writer letter, a 16-bit sequence number, then bytes
// that depend on all three, so a torn, lost, doubled or reordered chunk shows.
inline std::string Chunk(char writer, int sequence, size_t size)
{
    std::string chunk(size, '\0');
    chunk[0] = writer;
    chunk[1] = static_cast<char>(sequence >> 8);
    chunk[2] = static_cast<char>(sequence & 0xff);
    for (size_t i = 3; i < size; ++i)
        chunk[i] = static_cast<char>((writer * 31 + sequence * 7 + i) & 0xff);
    return chunk;
}

class SerialPairTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.IsValid());
        pair = folder.Install();
        ASSERT_GE(pair.comA, 1);
        ASSERT_TRUE(user.Open(folder.LinkPath(pair.comB)));
    }

    // Opens the program end by the name the serial tunnel gives it ("COMk" below 10,
    // "\\.\COMk" from 10) and waits for the outcome.
    void OpenProgramEnd(CSerialIO& io)
    {
        const int com = pair.comA;
        io.Open(com < 10 ? QStringLiteral("COM%1").arg(com) : QStringLiteral("\\\\.\\COM%1").arg(com),
                QStringLiteral("9600"), 8, 'N', 1);
        ASSERT_EQ(log.OpenResult(), 1);
    }

    VcomFolder folder;
    VcomFolder::Pair pair;
    SerialEnd user;
    SerialEventLog log;
};
