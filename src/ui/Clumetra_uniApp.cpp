#include "ui/Clumetra_uniApp.h"

#include "platform/MessageBox.h"
#include "platform/TipsDialog.h"
#include "ui/BusyCursor.h"
#include "ui/Clumetra_uniDlg.h"
#include "ui/QtMessageBoxHandler.h"
#include "ui/TipsDialogPresenter.h"
#include "ui/wndshadow/CWndShadow.h"

Clumetra_uniApp::Clumetra_uniApp(Installation& installation, const QString& screenshotPath)
    : installation_(installation), screenshotPath_(screenshotPath)
{
}

bool Clumetra_uniApp::InitInstance()
{
    // Sockets, common controls and the drawing library need no start-up here.
    QtMessageBoxHandler boxes;
    TipsDialogPresenter tips;
    BusyCursor busy;
    platform::MessageBoxHandler* previousBoxes = platform::SetMessageBoxHandler(&boxes);
    platform::BusyIndicator* previousBusy = platform::SetBusyIndicator(&busy);
    platform::TipsDialog::Presenter* previousTips = platform::TipsDialog::SetPresenter(&tips);
    CWndShadow::Initialize();
    {
        Clumetra_uniDlg dlg(installation_, connection_);
        dlg.SetScreenshotPath(screenshotPath_);
        exitCode_ = dlg.DoModal() == platform::kIdOk ? 0 : 1;
    }
    // Releases kept while the broker was away (a tunnel closed during an outage) go
    // out when it is back within a few seconds; the process ends right after.
    if (connection_.PendingReleases() > 0) {
        connection_.WaitForReleases(MqttConnection::kReleaseWaitMs);
    }
    platform::TipsDialog::SetPresenter(previousTips);
    platform::SetBusyIndicator(previousBusy);
    platform::SetMessageBoxHandler(previousBoxes);
    return false;
}
