// The main thread of the socket tests is the UI thread: the sockets notify there
// and the tests pump its event loop while they wait.

#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
