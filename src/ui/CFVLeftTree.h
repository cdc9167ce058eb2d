#pragma once

#include "control/GatewayQuery.h"

#include <QIcon>

#include <QList>
#include <QWidget>

#include <cstddef>
#include <memory>
#include <vector>

class CDLEdit;
class CGdipButton;
class CNodeGateway;
class CTabButton;
class Installation;
class MainViewSwitcher;
class QLabel;
class QTreeWidget;
class QTimer;
class QTreeWidgetItem;
class Session;
struct _Resource_Info;

// The gateway tree: the account's gateways under the root item "网关", each with its
// online state, a search form in the same place (serial number, name, node) behind
// the tabs, and the home, add-a-gateway and alarms buttons at the foot. The list is
// the session's GatewayQuery; the records the items carry are the session's. Selecting a
// gateway, switching tabs and the home button are reported to the main window
// (MainViewSwitcher).
class CFVLeftTree : public QWidget
{
public:
    // Control identifiers.
    static constexpr int IDC_HOME = 1008;
    static constexpr int IDC_ADD = 1009;
    static constexpr int IDC_ALARMS = 1010;
    static constexpr int IDC_TREE = 1011;
    static constexpr int IDC_TAB_ALL = 1013;
    static constexpr int IDC_TAB_SEARCH = 1014;
    static constexpr int IDC_SEARCH = 1023;
    static constexpr int IDC_TAB_RESULTS = 1024;

    // State images of the tree items.
    static constexpr int kStateOnline = 1;
    static constexpr int kStateOffline = 2;
    // Item data roles: the gateway record (CNodeGateway*) and the state image.
    static constexpr int kGatewayRole = Qt::UserRole;
    static constexpr int kStateRole = Qt::UserRole + 1;

    // The installation (the add page's address) is read while constructing.
    CFVLeftTree(const Installation& installation, MainViewSwitcher* mainWindow, Session& session,
                QWidget* parent);
    ~CFVLeftTree() override;

    // Once, after creation: images, tab states, the hidden search form, and the
    // tree filled with the account's full gateway list.
    void OnInitialUpdate();

    // Asks the service for the account's gateways matching the criteria (each may
    // be empty) and keeps the list. False when the query failed.
    bool Query(const QString& serial, const QString& name, const QString& node);
    // Rebuilds the tree from the kept list: the root "网关" and one item per gateway.
    // A list longer than one batch is completed from the event loop (the root shows
    // no gateway until all of them are there); IsFilling() is true until then. A new
    // Query or FillTree drops a fill that is still under way.
    void FillTree();
    bool IsFilling() const;

    // Items made per pass of the event loop while the tree fills.
    static constexpr size_t kFillBatch = 2000;

    void OnTabAll();
    void OnTabSearch();
    void OnSearch();
    void OnAddGateway();
    void OnHome();

    QTreeWidget* Tree() const { return tree_; }
    QTreeWidgetItem* RootItem() const;
    CTabButton* Tab(int id) const;
    CDLEdit* SearchField(int row) const { return fields_[row]; }
    QLabel* SearchLabel(int row) const { return labels_[row]; }
    CGdipButton* Button(int id) const;
    bool IsSearchFormShown() const { return searchShown_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void OnSelectionChanged(QTreeWidgetItem* item);
    void ShowSearchForm(bool shown);
    void FillBatch();
    void CancelFill();

    MainViewSwitcher* mainWindow_;
    Session& session_;
    const _Resource_Info* addUrl_;
    CTabButton* tabAll_;
    CTabButton* tabResults_;
    CTabButton* tabSearch_;
    QTreeWidget* tree_;
    QLabel* labels_[3];
    CDLEdit* fields_[3];
    CGdipButton* search_;
    CGdipButton* home_;
    CGdipButton* add_;
    CGdipButton* alarms_;
    bool searchShown_ = false;

    // The list of the last query. The items carry copies the session keeps, those of
    // earlier fills too: the detail view may still show one of them.
    GatewayQuery query_;

    // The fill under way: the root it fills, the items made so far (not yet in the
    // tree) and the timer that makes the next batch.
    QTreeWidgetItem* fillRoot_ = nullptr;
    QList<QTreeWidgetItem*> pending_;
    QTimer* fillTimer_;

    // The gateway state icons, made on the first fill.
    QIcon onlineIcon_;
    QIcon offlineIcon_;
};
