// The main thread of the broker tests is the UI thread: it owns the application
// object and handles the messages that the MQTT thread sends.

#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
