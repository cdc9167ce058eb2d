#include "ui/CFVLeftTree.h"

#include "app/UiText.h"

#include "app/Installation.h"
#include "cloud/CNodeGateway.h"
#include "control/Session.h"
#include "ui/CDLEdit.h"
#include "ui/CMemDCPNG.h"
#include "ui/MainViewSwitcher.h"
#include "ui/hyperlink/CHyperLink.h"
#include "ui/pngbutton/CGdiPlusBitmapResource.h"
#include "ui/pngbutton/CGdipButton.h"
#include "ui/pngbutton/CTabButton.h"

#include <QLabel>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>

namespace {

const QColor kFrame(154, 154, 154);
constexpr int kItemHeight = 25;

QIcon StateIcon(int png)
{
    return QIcon(QPixmap::fromImage(
        CGdiPlusBitmapResource::Get(png).scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
}

} // namespace

CFVLeftTree::CFVLeftTree(const Installation& installation, MainViewSwitcher* mainWindow, Session& session,
                         QWidget* parent)
    : QWidget(parent), mainWindow_(mainWindow), session_(session),
      addUrl_(installation.FindResource("addurl")), tabAll_(new CTabButton(this, IDC_TAB_ALL)),
      tabResults_(new CTabButton(this, IDC_TAB_RESULTS)), tabSearch_(new CTabButton(this, IDC_TAB_SEARCH)),
      tree_(new QTreeWidget(this)), search_(new CGdipButton(this, IDC_SEARCH)),
      home_(new CGdipButton(this, IDC_HOME)), add_(new CGdipButton(this, IDC_ADD)),
      alarms_(new CGdipButton(this, IDC_ALARMS)), query_(session), fillTimer_(new QTimer(this))
{
    setObjectName(QStringLiteral("CFVLeftTree"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    const QString labelTexts[3] = {UiText::tr("网关序列号："), UiText::tr("网关名称："),
                                   UiText::tr("所属节点：")};
    for (int row = 0; row < 3; ++row) {
        labels_[row] = new QLabel(labelTexts[row], this);
        labels_[row]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        fields_[row] = new CDLEdit(this);
        fields_[row]->setObjectName(QStringLiteral("searchField%1").arg(row + 1));
    }
    tree_->setObjectName(QStringLiteral("gatewayTree"));
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    tree_->setIconSize(QSize(16, 16));
    tree_->setRootIsDecorated(true);
    tree_->setFrameShape(QFrame::NoFrame);
    tree_->setFont(CMemDCPNG::YaHei(10));
    connect(tree_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { OnSelectionChanged(current); });
    connect(tabAll_, &CTabButton::clicked, this, [this] { OnTabAll(); });
    connect(tabResults_, &CTabButton::clicked, this, [this] { OnTabAll(); });
    connect(tabSearch_, &CTabButton::clicked, this, [this] { OnTabSearch(); });
    connect(search_, &CGdipButton::clicked, this, [this] { OnSearch(); });
    connect(home_, &CGdipButton::clicked, this, [this] { OnHome(); });
    connect(add_, &CGdipButton::clicked, this, [this] { OnAddGateway(); });
    // The alarms button has no command.
    fillTimer_->setInterval(0);
    connect(fillTimer_, &QTimer::timeout, this, [this] { FillBatch(); });
}

CFVLeftTree::~CFVLeftTree()
{
    CancelFill();
}

void CFVLeftTree::OnInitialUpdate()
{
    tabAll_->LoadStdImage(158);
    tabAll_->LoadAltImage(159);
    tabResults_->LoadStdImage(160);
    tabResults_->LoadAltImage(161);
    tabSearch_->LoadStdImage(162);
    tabSearch_->LoadAltImage(163);
    search_->LoadStdImage(164);
    search_->LoadAltImage(164);
    home_->LoadStdImage(138);
    home_->LoadAltImage(138);
    add_->LoadStdImage(139);
    add_->LoadAltImage(139);
    alarms_->LoadStdImage(140);
    alarms_->LoadAltImage(140);
    tabAll_->SetOn();
    tabResults_->SetOn();
    tabResults_->hide();
    tabSearch_->SetOff();

    const QFont font = CMemDCPNG::YaHei(9);
    for (int row = 0; row < 3; ++row) {
        labels_[row]->setFont(font);
        fields_[row]->setFont(font);
        fields_[row]->SetPromptText(QStringLiteral(" "));
    }
    ShowSearchForm(false);
    Query(QString(), QString(), QString());
    FillTree();
}

bool CFVLeftTree::Query(const QString& serial, const QString& name, const QString& node)
{
    // A fill still under way belongs to the list this query replaces.
    CancelFill();
    return query_.Search(serial.toUtf8().toStdString(), name.toUtf8().toStdString(),
                         node.toUtf8().toStdString());
}

void CFVLeftTree::FillTree()
{
    CancelFill();
    tree_->setUpdatesEnabled(false);
    {
        const QSignalBlocker blocker(tree_);
        tree_->clear();
    }
    auto* root = new QTreeWidgetItem(QStringList(UiText::tr("网关")));
    root->setSizeHint(0, QSize(-1, kItemHeight));
    tree_->addTopLevelItem(root);
    root->setExpanded(true);
    tree_->setUpdatesEnabled(true);
    const std::vector<CNodeGateway>& gateways = query_.Gateways();
    if (!query_.Succeeded() || gateways.empty())
        return;
    // The items are made off the tree, a batch per pass of the event loop, so a long
    // list never holds up the window; they join the root in one step at the end
    // (adding them batch by batch would lay the growing tree out again each time).
    // Until then the tree shows the root alone, never a part of the list. The first
    // batch is made at once, so a short list is complete when this returns.
    fillRoot_ = root;
    pending_.reserve(static_cast<qsizetype>(gateways.size()));
    session_.ReserveGateways(gateways.size());
    FillBatch();
    if (fillRoot_ != nullptr)
        fillTimer_->start();
}

bool CFVLeftTree::IsFilling() const
{
    return fillRoot_ != nullptr;
}

void CFVLeftTree::FillBatch()
{
    if (onlineIcon_.isNull()) {
        onlineIcon_ = StateIcon(141);
        offlineIcon_ = StateIcon(142);
    }
    const QIcon& onlineIcon = onlineIcon_;
    const QIcon& offlineIcon = offlineIcon_;
    const std::vector<CNodeGateway>& gateways = query_.Gateways();
    const size_t end = std::min(gateways.size(), static_cast<size_t>(pending_.size()) + kFillBatch);
    for (size_t i = static_cast<size_t>(pending_.size()); i < end; ++i) {
        const CNodeGateway& gateway = gateways[i];
        auto* item = new QTreeWidgetItem(QStringList(QString::fromStdString(gateway.gwName)));
        const int state = gateway.isOnline == "true" ? kStateOnline : kStateOffline;
        item->setIcon(0, state == kStateOnline ? onlineIcon : offlineIcon);
        item->setData(0, kStateRole, state);
        CNodeGateway* record = session_.KeepGateway(gateway);
        item->setData(0, kGatewayRole, QVariant::fromValue(static_cast<void*>(record)));
        item->setSizeHint(0, QSize(-1, kItemHeight));
        pending_.append(item);
    }
    if (static_cast<size_t>(pending_.size()) < gateways.size())
        return;
    fillTimer_->stop();
    QTreeWidgetItem* root = fillRoot_;
    fillRoot_ = nullptr;
    QList<QTreeWidgetItem*> items;
    items.swap(pending_);
    tree_->setUpdatesEnabled(false);
    root->addChildren(items);
    root->setExpanded(true);
    tree_->setUpdatesEnabled(true);
}

void CFVLeftTree::CancelFill()
{
    fillTimer_->stop();
    fillRoot_ = nullptr;
    qDeleteAll(pending_);
    pending_.clear();
}

QTreeWidgetItem* CFVLeftTree::RootItem() const
{
    return tree_->topLevelItemCount() > 0 ? tree_->topLevelItem(0) : nullptr;
}

CTabButton* CFVLeftTree::Tab(int id) const
{
    switch (id) {
    case IDC_TAB_ALL:
        return tabAll_;
    case IDC_TAB_RESULTS:
        return tabResults_;
    case IDC_TAB_SEARCH:
        return tabSearch_;
    default:
        return nullptr;
    }
}

CGdipButton* CFVLeftTree::Button(int id) const
{
    switch (id) {
    case IDC_HOME:
        return home_;
    case IDC_ADD:
        return add_;
    case IDC_ALARMS:
        return alarms_;
    case IDC_SEARCH:
        return search_;
    default:
        return nullptr;
    }
}

void CFVLeftTree::OnSelectionChanged(QTreeWidgetItem* item)
{
    if (item == nullptr)
        return;
    auto* gateway = static_cast<CNodeGateway*>(item->data(0, kGatewayRole).value<void*>());
    if (gateway != nullptr)
        if (mainWindow_ != nullptr)
            mainWindow_->GatewaySelected(gateway);
}

void CFVLeftTree::ShowSearchForm(bool shown)
{
    searchShown_ = shown;
    tree_->setVisible(!shown);
    for (int row = 0; row < 3; ++row) {
        labels_[row]->setVisible(shown);
        fields_[row]->setVisible(shown);
    }
    search_->setVisible(shown);
}

void CFVLeftTree::OnTabAll()
{
    tabAll_->SetOn();
    tabResults_->SetOn();
    tabSearch_->SetOff();
    ShowSearchForm(false);
    if (mainWindow_ != nullptr)
        mainWindow_->TreeTabSwitched(false);
}

void CFVLeftTree::OnTabSearch()
{
    tabAll_->SetOff();
    tabResults_->SetOff();
    tabSearch_->SetOn();
    ShowSearchForm(true);
    if (mainWindow_ != nullptr)
        mainWindow_->TreeTabSwitched(true);
}

void CFVLeftTree::OnSearch()
{
    const QString serial = fields_[0]->text();
    const QString name = fields_[1]->text();
    const QString node = fields_[2]->text();
    Query(serial, name, node);
    FillTree();
    const bool noCriteria = serial.isEmpty() && name.isEmpty() && node.isEmpty();
    tabAll_->setVisible(noCriteria);
    tabResults_->setVisible(!noCriteria);
    OnTabAll();
}

void CFVLeftTree::OnAddGateway()
{
    if (addUrl_ != nullptr)
        CHyperLink::OpenLink(QString::fromStdString(addUrl_->Text()));
}

void CFVLeftTree::OnHome()
{
    if (mainWindow_ != nullptr)
        mainWindow_->ShowHome();
}

void CFVLeftTree::resizeEvent(QResizeEvent*)
{
    const int w = width();
    const int h = height();
    tabAll_->setGeometry(w / 2 - 90, 10, 90, 32);
    tabResults_->setGeometry(w / 2 - 90, 10, 90, 32);
    tabSearch_->setGeometry(w / 2, 10, 90, 32);
    tree_->setGeometry(1, 52, w - 2, h - 112);
    const int m = w / 2;
    const int rows[3] = {82, 122, 162};
    for (int row = 0; row < 3; ++row) {
        labels_[row]->setGeometry(m - 120, rows[row], 120, 20);
        fields_[row]->setGeometry(m, rows[row], 150, 20);
    }
    search_->setGeometry(m - 92, 202, 80, 31);
    CGdipButton* foot[3] = {home_, add_, alarms_};
    for (int k = 0; k < 3; ++k)
        foot[k]->setGeometry((w / 3) / 2 - 20 + k * (w / 3), h - 42, 40, 33);
}

void CFVLeftTree::paintEvent(QPaintEvent*)
{
    CMemDCPNG dc(this);
    QPainter& p = dc.Painter();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(kFrame, 1.0));
    p.drawRect(0, 0, width() - 1, height() - 1);
    p.drawRect(0, 0, width() - 1, 50);
}
