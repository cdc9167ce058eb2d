#pragma once

#include "app/Installation.h"
#include "gui/views/TipsWatcher.h"
#include "mqtt-c/MqttConnection.h"
#include "platform/TipsDialog.h"
#include "support/FarsideProcess.h"
#include "support/MessageBoxRecorder.h"
#include "support/MosquittoBroker.h"
#include "support/TempDir.h"
#include "support/VcomFolder.h"
#include "ui/CFVLeftTree.h"
#include "ui/Clumetra_uniDlg.h"

#include <QString>
#include <QTreeWidgetItem>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class CFVTableDevice;

// The logged-in window against the real far side and a real broker, for the window
// tests of the views. The suite starts one broker and one far side over the demo
// inventory (its simulated network devices on free ports) plus one serial device
// whose gateway never answers an open; each case starts the window with a real MQTT
// thread in a program folder of its own, with a virtual COM folder of its own. The
// program's boxes are recorded (MessageBoxRecorder) and its waiting dialogs watched
// (TipsWatcher).
class ViewsFixture : public ::testing::Test
{
protected:
    // Starts the suite's broker and far side. With `vpnServer` the far side runs its
    // OpenVPN server where the machine allows it and writes its certificate authority
    // to ca.crt of the suite's folder; without, it runs none. A failure is reported
    // by SetUp, so it fails every test instead of making GoogleTest skip them.
    static void StartSuite(bool vpnServer);
    static void TearDownTestSuite();

    void SetUp() override;
    void TearDown() override;

    // Starts the window with a real MQTT thread and logs in as the demo account. The
    // VPN client steps only count their calls unless `realVpnClient` is set.
    void StartAndLogIn(bool realVpnClient = false);

    QTreeWidgetItem* Gateway(int index) const { return tree_->RootItem()->child(index); }

    // Asks the web service for the full list again: every gateway gets a new record.
    void SearchAll();

    // Runs the event loop for `ms` milliseconds, however few events come.
    static void RunEventsFor(int ms);

    // Stops the far side and starts it again as the suite did.
    static bool RestartFarside();

    void Select(QTreeWidgetItem* item);

    static bool Port502Free();

    // Logs in, shows the first gateway and opens its port-forward PLC row: the success box.
    void OpenPlcRow(CFVTableDevice** table);

    // Messages this PC published so far, as the broker logged them.
    int PublishedByPc() const;

    // Whether this PC published nothing after `before` messages: a marker published
    // now is the next message the broker sees from it.
    bool NothingPublishedSince(int before);

    // Publishes as another PC running this program.
    void PublishAsOtherPc(const std::string& topic, const std::string& payload);

    std::vector<int64_t> VpnClients() const;

    bool FarsideSaid(const QString& text, int timeoutMs = 10000);

    // Reads `count` holding registers from address 0 of slave 1 with a Modbus RTU
    // master on the serial port `path`. The master runs on its own thread while this
    // one keeps handling the window's messages. Empty when the read failed.
    std::vector<uint16_t> ReadRtuRegisters(const QString& path, int count);

    struct Shared
    {
        TempDir dir;
        MosquittoBroker broker;
        FarsideProcess farside;
        QStringList farsideOptions;
        std::string error;
    };
    static inline Shared* shared_ = nullptr;

    TempDir home_;
    // The virtual COM folder of this test: its pairs outlive the tunnels that made
    // them and are removed when it goes.
    VcomFolder vcom_;
    MessageBoxRecorder boxes_;
    TipsWatcher tips_;
    platform::TipsDialog::Presenter* previousTips_ = nullptr;
    int vpnClientStarts_ = 0;
    int vpnClientStops_ = 0;
    // The window's broker connection; the MQTT thread shares it, so a thread left
    // running by a failed case never outlives it.
    std::shared_ptr<MqttConnection> connection_ = std::make_shared<MqttConnection>();
    // The window's installation, shared with the MQTT thread as the connection is.
    std::shared_ptr<Installation> installation_;
    std::unique_ptr<Clumetra_uniDlg> dlg_;
    CFVLeftTree* tree_ = nullptr;
    std::thread mqtt_;
    std::atomic<bool> mqttDone_{false};
};
