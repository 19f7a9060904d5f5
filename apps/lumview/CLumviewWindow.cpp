#include "CLumviewWindow.h"

#include "apps/common/CServiceReport.h"
#include "core/CDVBTransportStreamReceiver.h"
#include "core/CDVBTransportStreamSource.h"
#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMInputPluginExtension.h"
#include "plugins/CLUMPluginManager.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kRefreshMs = 500;
constexpr int kQuietRefreshes = 6;   // three seconds without data: say so

QString EventText(const std::optional<CServiceReport::Event>& event)
{
    if (!event)
        return QString();
    const QString start = QString::fromStdString(event->start).mid(11, 5);   // HH:MM of the ISO time
    return start.isEmpty() ? QString::fromStdString(event->title) : start + QStringLiteral("  ") + QString::fromStdString(event->title);
}

}  // namespace

CLumviewWindow::CLumviewWindow()
{
    setWindowTitle(QStringLiteral("lumview"));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* bar = new QHBoxLayout;
    m_inputs = new QComboBox(central);
    m_multiplexes = new QComboBox(central);
    m_multiplexes->setMinimumContentsLength(24);
    auto* configure = new QPushButton(QStringLiteral("&Configure..."), central);
    auto* test = new QPushButton(QStringLiteral("&Test..."), central);
    bar->addWidget(new QLabel(QStringLiteral("&Input:"), central));
    bar->addWidget(m_inputs);
    bar->addWidget(new QLabel(QStringLiteral("&Multiplex:"), central), 0);
    bar->addWidget(m_multiplexes, 1);
    bar->addWidget(configure);
    bar->addWidget(test);
    static_cast<QLabel*>(bar->itemAt(0)->widget())->setBuddy(m_inputs);
    static_cast<QLabel*>(bar->itemAt(2)->widget())->setBuddy(m_multiplexes);
    layout->addLayout(bar);
    m_message = new QLabel(central);
    m_message->setWordWrap(true);
    m_message->hide();
    layout->addWidget(m_message);
    m_services = new QTreeWidget(central);
    m_services->setRootIsDecorated(false);
    m_services->setHeaderLabels({QStringLiteral("Service"), QStringLiteral("Now"), QStringLiteral("Next")});
    m_services->header()->setSectionResizeMode(QHeaderView::Stretch);
    layout->addWidget(m_services, 1);
    setCentralWidget(central);
    m_status = new QLabel(this);
    statusBar()->addWidget(m_status, 1);

    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    for (int i = 0; CLUMPlugin* plugin = manager->GetPluginWithType(CLUMPlugin::TypeInput, i); ++i)
        m_inputs->addItem(QString::fromStdString(plugin->GetName().Str()));
    FillMultiplexes();
    connect(m_inputs, QOverload<int>::of(&QComboBox::activated), this, [this] { FillMultiplexes(); OpenSelected(); });
    connect(m_multiplexes, QOverload<int>::of(&QComboBox::activated), this, [this] { OpenSelected(); });
    connect(configure, &QPushButton::clicked, this, [this] {
        if (CLUMInputPlugin* plugin = CurrentPlugin(); plugin && plugin->ConfigureMultiplexDefinitions()) {
            Close();
            FillMultiplexes();
            OpenSelected();
        }
    });
    connect(test, &QPushButton::clicked, this, [this] {
        CLUMInputPlugin* plugin = CurrentPlugin();
        if (plugin && m_multiplexes->currentIndex() >= 0)
            plugin->TestMultiplexDefinition(plugin->GetMultiplexDefinitionAtIndex(m_multiplexes->currentIndex()));
    });
    connect(&m_refresh, &QTimer::timeout, this, [this] { Refresh(); });

    QSettings settings;
    if (!restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray()))
        resize(720, 420);
}

CLumviewWindow::~CLumviewWindow()
{
    Close();
}

CLUMInputPlugin* CLumviewWindow::CurrentPlugin() const
{
    return static_cast<CLUMInputPlugin*>(
        CLUMPluginManager::GetPluginManager()->GetPluginWithType(CLUMPlugin::TypeInput, m_inputs->currentIndex()));
}

void CLumviewWindow::FillMultiplexes()
{
    m_multiplexes->clear();
    if (CLUMInputPlugin* plugin = CurrentPlugin())
        for (int i = 0; i < plugin->GetMultiplexDefinitionCount(); ++i)
            m_multiplexes->addItem(QString::fromStdString(plugin->GetMultiplexDefinitionAtIndex(i)->GetName().Str()));
}

void CLumviewWindow::OpenSelected()
{
    CLUMInputPlugin* plugin = CurrentPlugin();
    if (plugin && m_multiplexes->currentIndex() >= 0)
        Open(plugin, plugin->GetMultiplexDefinitionAtIndex(m_multiplexes->currentIndex()));
}

void CLumviewWindow::OpenRemembered()
{
    QSettings settings;
    const int input = m_inputs->findText(settings.value(QStringLiteral("input")).toString());
    if (input >= 0) {
        m_inputs->setCurrentIndex(input);
        FillMultiplexes();
    }
    const int multiplex = m_multiplexes->findText(settings.value(QStringLiteral("multiplex")).toString());
    if (multiplex >= 0)
        m_multiplexes->setCurrentIndex(multiplex);
    OpenSelected();
}

bool CLumviewWindow::Open(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition)
{
    Close();
    m_name = QString::fromStdString(definition->GetName().Str());
    m_source = plugin->OpenMultiplex(definition);
    if (m_source == nullptr) {
        auto* extension = dynamic_cast<CLUMInputPluginExtension*>(plugin);
        const QString why = extension ? QString::fromStdString(extension->GetLastOpenFailureText().Str()) : QString();
        ShowMessage(m_name + QStringLiteral(" could not be opened") + (why.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + why));
        return false;
    }
    m_plugin = plugin;
    m_receiver = std::make_unique<CDVBTransportStreamReceiver>(m_source, nullptr);
    m_receiver->Initialise();
    m_receiver->Start();
    m_quietRefreshes = 0;
    ShowMessage(QString());
    setWindowTitle(m_name + QStringLiteral(" - lumview"));
    QSettings settings;
    settings.setValue(QStringLiteral("input"), QString::fromStdString(plugin->GetName().Str()));
    settings.setValue(QStringLiteral("multiplex"), m_name);
    m_refresh.start(kRefreshMs);
    return true;
}

void CLumviewWindow::Close()
{
    m_refresh.stop();
    if (m_receiver) {
        m_receiver->Stop();
        m_receiver->WaitForStop(1000);
        m_receiver->DeInitialise();
        m_receiver.reset();
    }
    if (m_source)
        m_plugin->CloseMultiplex(m_source);
    m_source = nullptr;
    m_services->clear();
    m_status->clear();
}

void CLumviewWindow::Refresh()
{
    CServiceReport report;
    report.Take(*m_receiver);
    const auto& services = report.Services();
    for (int i = 0; i < int(services.size()); ++i) {
        QTreeWidgetItem* item = i < m_services->topLevelItemCount() ? m_services->topLevelItem(i) : new QTreeWidgetItem(m_services);
        const auto& service = services[std::size_t(i)];
        item->setText(0, service.name.empty() ? QStringLiteral("Service %1").arg(service.id) : QString::fromStdString(service.name));
        item->setText(1, EventText(service.now));
        item->setText(2, EventText(service.next));
    }
    while (m_services->topLevelItemCount() > int(services.size()))
        delete m_services->topLevelItem(m_services->topLevelItemCount() - 1);
    if (m_services->currentItem() == nullptr && m_services->topLevelItemCount() > 0)
        m_services->setCurrentItem(m_services->topLevelItem(0));

    CString sourceStatus;
    m_source->GetStatus(sourceStatus);
    const bool receiving = m_receiver->IsDataBeingReceived();
    m_quietRefreshes = receiving ? 0 : m_quietRefreshes + 1;
    if (m_quietRefreshes >= kQuietRefreshes)
        ShowMessage(QStringLiteral("Nothing is being received from %1.").arg(m_name));
    else if (receiving)
        ShowMessage(QString());
    m_status->setText(QStringLiteral("%1 Mbit/s").arg(m_receiver->GetBitrate() / 1e6, 0, 'f', 2) +
                      (sourceStatus.IsEmpty() ? QString() : QStringLiteral("  —  ") + QString::fromStdString(sourceStatus.Str())));
}

void CLumviewWindow::ShowMessage(const QString& text)
{
    m_message->setText(text);
    m_message->setVisible(!text.isEmpty());
}

void CLumviewWindow::closeEvent(QCloseEvent* event)
{
    QSettings().setValue(QStringLiteral("geometry"), saveGeometry());
    Close();
    QMainWindow::closeEvent(event);
}
