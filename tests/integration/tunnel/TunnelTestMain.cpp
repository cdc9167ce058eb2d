// The main thread of the tunnel tests is the UI thread: it owns the application
// object, runs the sockets and handles the messages the MQTT thread sends.

#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
