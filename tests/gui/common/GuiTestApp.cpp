#include "gui/common/GuiTestApp.h"

#include <QApplication>

void GuiTestApp::Ensure()
{
    if (QApplication::instance() != nullptr)
        return;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "lumetra-gui-test";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}
