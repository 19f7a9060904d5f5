#include "widgets/CWidgetDialogs.h"

#include "widgets/CConfigureMultiplexesDialog.h"
#include "widgets/CDefinitionEditorDialog.h"
#include "widgets/CTestMultiplexDialog.h"

#include <QApplication>

namespace {

// Widgets need a QApplication; a QCoreApplication would abort at the first one.
bool HasWidgets()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

// The dialog in front (an editor over Configure Multiplexes), else the application's
// active window, owns the dialogs: a host needs to say nothing.
QWidget* Owner()
{
    QWidget* modal = QApplication::activeModalWidget();
    return modal ? modal : QApplication::activeWindow();
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
    if (!HasWidgets())
        return false;
    CConfigureMultiplexesDialog dialog(plugin, Owner());
    return dialog.exec() == QDialog::Accepted;
}

bool CWidgetDialogs::TestMultiplex(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition)
{
    if (!HasWidgets())
        return false;
    CTestMultiplexDialog dialog(plugin, definition, Owner());
    return dialog.exec() == QDialog::Accepted;
}

bool CWidgetDialogs::EditMultiplexDefinition(CDefinitionEditorBehaviour& editor)
{
    if (!HasWidgets())
        return false;
    CDefinitionEditorDialog dialog(editor, Owner());
    return dialog.exec() == QDialog::Accepted;
}

void CWidgetDialogs::Install()
{
    CLUMDialogs::Install(&g_dialogs);
}
