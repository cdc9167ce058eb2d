#pragma once

class CNodeGateway;

// What the login view and the gateway tree tell the main window, which switches the
// views on the right. Every call runs on the UI thread.
class MainViewSwitcher
{
public:
    virtual ~MainViewSwitcher() = default;

    // The login view signed in: the tree and the home view replace it.
    virtual void LoginSucceeded() = 0;
    // A gateway of the tree was selected (a record of the session; null is ignored).
    virtual void GatewaySelected(CNodeGateway* gateway) = 0;
    // The tree's tabs switched: the search form (true) or the tree (false) is shown.
    virtual void TreeTabSwitched(bool searchShown) = 0;
    // The tree's home button: the home view replaces the detail view.
    virtual void ShowHome() = 0;
};
