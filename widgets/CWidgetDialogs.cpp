#include "widgets/CWidgetDialogs.h"

#include "widgets/CConfigureMultiplexesDialog.h"
#include "widgets/CTestMultiplexDialog.h"

#include <QApplication>

namespace {

// The application's active window owns the dialogs: a host needs to say nothing.
QWidget* Owner()
{
    return QApplication::activeWindow();
}

CWidgetDialogs g_dialogs;

struct CInstaller
{
    CInstaller() { CWidgetDialogs::Install(); }
    ~CInstaller() { CLUMDialogs::Install(nullptr); }
};

CInstaller g_installer;

}  // namespace

bool CWidgetDialogs::ConfigureMultiplexes(CLUMInputPlugin* plugin)
{
    if (QApplication::instance() == nullptr)
        return false;   // a program without a user interface
    CConfigureMultiplexesDialog dialog(plugin, Owner());
    return dialog.exec() == QDialog::Accepted;
}

bool CWidgetDialogs::TestMultiplex(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition)
{
    if (QApplication::instance() == nullptr)
        return false;
    CTestMultiplexDialog dialog(plugin, definition, Owner());
    return dialog.exec() == QDialog::Accepted;
}

void CWidgetDialogs::Install()
{
    CLUMDialogs::Install(&g_dialogs);
}
