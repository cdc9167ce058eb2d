// The gateway tree with long gateway lists from a test web service: the items are
// made from the event loop and join the tree whole, a new query drops a fill under
// way, and the cost grows in proportion to the list.

#include "app/Installation.h"
#include "cloud/CCloudClient.h"
#include "cloud/CNodeGateway.h"
#include "control/Session.h"
#include "gui/common/GuiTestApp.h"
#include "support/BulkWebService.h"
#include "support/PumpUntil.h"
#include "support/ResourceUse.h"
#include "ui/CFVLeftTree.h"

#include <QApplication>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

class LargeTreeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        GuiTestApp::Ensure();
        ASSERT_GT(service.Port(), 0);
        session = std::make_unique<Session>(CCloudClient("127.0.0.1", service.Port()));
        CAccountInfo account;
        account.flag = 1;
        session->SetAccount(account);
        tree = std::make_unique<CFVLeftTree>(installation, nullptr, *session, nullptr);
        tree->resize(250, 700);
        tree->show();
    }

    // Queries the service's list and fills the tree; true once the fill has ended.
    bool List(size_t count)
    {
        service.SetGateways(count);
        EXPECT_TRUE(tree->Query(QString(), QString(), QString()));
        tree->FillTree();
        return PumpUntil([&] { return !tree->IsFilling(); }, 60000);
    }

    // The gateway at `row` as the tree holds it: name, state and the record's serial.
    std::string Row(int row) const
    {
        QTreeWidgetItem* item = tree->RootItem()->child(row);
        if (item == nullptr)
            return "none";
        auto* gateway = static_cast<CNodeGateway*>(item->data(0, CFVLeftTree::kGatewayRole).value<void*>());
        return item->text(0).toStdString() + "|" +
               std::to_string(item->data(0, CFVLeftTree::kStateRole).toInt()) + "|" +
               (gateway != nullptr ? gateway->gwSn : "no record");
    }

    BulkWebService service;
    Installation installation; // its custom resources are never loaded: no branding
    std::unique_ptr<Session> session;
    std::unique_ptr<CFVLeftTree> tree;
};

TEST_F(LargeTreeTest, LongListIsMadeFromTheEventLoopAndJoinsTheTreeWhole)
{
    service.SetGateways(200000);
    ASSERT_TRUE(tree->Query(QString(), QString(), QString()));
    tree->FillTree();
    // The window keeps handling its events while the items are made, and until they
    // are all made the tree shows the root alone, not a part of the list.
    ASSERT_TRUE(tree->IsFilling());
    int childrenSeenByEvent = -1;
    bool fillingSeenByEvent = false;
    QTimer::singleShot(0, tree.get(), [&] {
        fillingSeenByEvent = tree->IsFilling();
        childrenSeenByEvent = tree->RootItem()->childCount();
    });
    ASSERT_TRUE(PumpUntil([&] { return !tree->IsFilling(); }, 60000));
    EXPECT_TRUE(fillingSeenByEvent);
    EXPECT_EQ(childrenSeenByEvent, 0);

    QTreeWidgetItem* root = tree->RootItem();
    EXPECT_EQ(tree->Tree()->topLevelItemCount(), 1);
    EXPECT_TRUE(root->isExpanded());
    ASSERT_EQ(root->childCount(), 200000);
    // Every third gateway of the service is offline.
    EXPECT_EQ(Row(0), "Gw 0|2|GW0000000");
    EXPECT_EQ(Row(1), "Gw 1|1|GW0000001");
    EXPECT_EQ(Row(123456), "Gw 123456|2|GW0123456");
    EXPECT_EQ(Row(199999), "Gw 199999|1|GW0199999");
}

TEST_F(LargeTreeTest, NewQueryDropsTheFillUnderWayAndAShortListIsCompleteAtOnce)
{
    service.SetGateways(200000);
    ASSERT_TRUE(tree->Query(QString(), QString(), QString()));
    tree->FillTree();
    ASSERT_TRUE(tree->IsFilling());
    QApplication::processEvents(); // a few batches of the long list

    // A short list (at most one batch) is in the tree when the fill returns, and
    // nothing of the long list joins it afterwards.
    service.SetGateways(3);
    ASSERT_TRUE(tree->Query(QString(), QString(), QString()));
    tree->FillTree();
    EXPECT_FALSE(tree->IsFilling());
    bool laterEventsRan = false;
    QTimer::singleShot(0, tree.get(), [&] { laterEventsRan = true; });
    ASSERT_TRUE(PumpUntil([&] { return laterEventsRan; }));
    ASSERT_EQ(tree->RootItem()->childCount(), 3);
    EXPECT_EQ(Row(2), "Gw 2|1|GW0000002");

    // A failed query leaves the root alone.
    service.SetFlood(CCloudClient::kMaxReplyBytes + 1, false);
    EXPECT_FALSE(tree->Query(QString(), QString(), QString()));
    tree->FillTree();
    EXPECT_FALSE(tree->IsFilling());
    EXPECT_EQ(tree->RootItem()->childCount(), 0);
}

TEST_F(LargeTreeTest, ListingCostGrowsInProportionToTheList)
{
    // Query, fill and the event loop until the list is in the tree. Four times the
    // gateways may cost about four times as much; a cost growing with the square
    // would be sixteen times. The best of three runs keeps other programs out.
    auto cost = [&](size_t count) {
        return ResourceUse::BestCpuSeconds(3, [&] {
            ASSERT_TRUE(List(count));
            ASSERT_EQ(tree->RootItem()->childCount(), static_cast<int>(count));
        });
    };
    const double small = cost(50000);
    const double large = cost(200000);
    EXPECT_LT(large, 8 * small) << "50,000 gateways " << small << " s, 200,000 gateways " << large << " s";
}

} // namespace
