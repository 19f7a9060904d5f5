#include "CLumviewWindow.h"

#include "CVideoPane.h"
#include "apps/common/CGuideReceiver.h"
#include "apps/common/CServiceReport.h"
#include "si/CDVBText.h"
#include "core/CDVBFiniteSource.h"
#include "core/CDVBTransportStreamSource.h"
#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMInputPluginExtension.h"
#include "plugins/CLUMPluginManager.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kRefreshMs = 500;
constexpr int kQuietRefreshes = 6;   // three seconds without data: say so
constexpr int kFrameMs = 40;

QString GuideText(const CString& broadcast)
{
    return QString::fromStdString(CDVBText::ToUTF8(broadcast));
}

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
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setWordWrap(true);
    m_message->hide();
    layout->addWidget(m_message);
    auto* panes = new QSplitter(Qt::Horizontal, central);
    auto* lists = new QSplitter(Qt::Vertical, panes);
    m_services = new QTreeWidget(lists);
    m_services->setRootIsDecorated(false);
    m_services->setHeaderLabels({QStringLiteral("Service"), QStringLiteral("Now"), QStringLiteral("Next")});
    m_services->header()->setSectionResizeMode(QHeaderView::Stretch);
    m_guide = new QTreeWidget(lists);
    m_guide->setRootIsDecorated(false);
    m_guide->setHeaderLabels({QStringLiteral("Time"), QStringLiteral("Programme"), QStringLiteral("Description")});
    m_guide->header()->setSectionResizeMode(QHeaderView::Interactive);
    m_guide->setColumnWidth(0, 160);
    m_guide->setColumnWidth(1, 170);
    m_video = new CVideoPane(panes);
    panes->setStretchFactor(0, 3);
    panes->setStretchFactor(1, 2);
    layout->addWidget(panes, 1);
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
    connect(m_services, &QTreeWidget::currentItemChanged, this, [this] {
        Play();
        RefreshGuide();
    });
    connect(&m_refresh, &QTimer::timeout, this, [this] { Refresh(); });
    connect(&m_frames, &QTimer::timeout, this, [this] { ShowFrame(); });
    m_services->setFocus();

    QSettings settings;
    if (!restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray()))
        resize(1000, 600);
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
    m_receiver = std::make_unique<CGuideReceiver>(m_source, nullptr);
    m_receiver->Initialise();
    m_receiver->Start();
    m_quietRefreshes = 0;
    ShowMessage(QString());
    setWindowTitle(m_name + QStringLiteral(" - lumview"));
    QSettings settings;
    settings.setValue(QStringLiteral("input"), QString::fromStdString(plugin->GetName().Str()));
    settings.setValue(QStringLiteral("multiplex"), m_name);
    m_refresh.start(kRefreshMs);
    m_frames.start(kFrameMs);
    return true;
}

void CLumviewWindow::Close()
{
    m_refresh.stop();
    m_frames.stop();
    m_player.Stop();   // the decoder goes before its receiver
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
    m_guide->clear();
    m_guideShown.clear();
    m_guideSeen = {~std::uint64_t(0), -1};   // a new receiver counts its revisions afresh
    m_video->SetPicture(QImage());
    m_video->SetText(QString());
    m_pictureTime = -1;
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
        item->setData(0, Qt::UserRole, service.id);
        item->setData(0, Qt::UserRole + 1, service.transportStreamId);
        item->setText(0, service.name.empty() ? QStringLiteral("Service %1").arg(service.id) : QString::fromStdString(service.name));
        item->setText(1, EventText(service.now));
        item->setText(2, EventText(service.next));
    }
    while (m_services->topLevelItemCount() > int(services.size()))
        delete m_services->topLevelItem(m_services->topLevelItemCount() - 1);
    if (m_services->currentItem() == nullptr && m_services->topLevelItemCount() > 0)
        m_services->setCurrentItem(m_services->topLevelItem(0));   // plays it
    else
        Play();   // until its program map has come
    RefreshGuide();

    CString sourceStatus;
    m_source->GetStatus(sourceStatus);
    const bool receiving = m_receiver->IsDataBeingReceived();
    m_quietRefreshes = receiving ? 0 : m_quietRefreshes + 1;
    auto* finite = dynamic_cast<CDVBFiniteSource*>(m_source);
    if (finite && finite->HasEnded())   // a file played once is silent because it is over
        ShowMessage(QStringLiteral("%1 has been played to its end.").arg(m_name));
    else if (m_quietRefreshes >= kQuietRefreshes)
        ShowMessage(QStringLiteral("Nothing is being received from %1.").arg(m_name));
    else if (receiving)
        ShowMessage(QString());
    m_status->setText(QStringLiteral("%1 Mbit/s").arg(m_receiver->GetBitrate() / 1e6, 0, 'f', 2) +
                      (sourceStatus.IsEmpty() ? QString() : QStringLiteral("  —  ") + QString::fromStdString(sourceStatus.Str())));
}

int CLumviewWindow::CurrentService() const
{
    const QTreeWidgetItem* item = m_services->currentItem();
    return item ? item->data(0, Qt::UserRole).toInt() : -1;
}

void CLumviewWindow::Play()
{
    const int service = CurrentService();
    if (!m_receiver || service < 0)
        return;
    if (WORD(service) != m_player.GetService()) {
        m_video->SetPicture(QImage());
        m_pictureTime = -1;
    }
    switch (m_player.Play(*m_receiver, WORD(service))) {
    case CServicePlayer::State::Waiting:
    case CServicePlayer::State::Playing:
        m_video->SetText(QStringLiteral("Waiting for the service's picture..."));
        break;
    case CServicePlayer::State::NoVideo:
        m_video->SetText(QStringLiteral("This service has no picture."));
        break;
    case CServicePlayer::State::NoPlugins:
        m_video->SetText(QStringLiteral("No decoder or display plug-in is installed."));
        break;
    case CServicePlayer::State::NoDecoder:
        m_video->SetText(QStringLiteral("The decoder plug-in cannot decode this service's video."));
        break;
    }
}

void CLumviewWindow::ShowFrame()
{
    int width = 0, height = 0;
    long long time = -1;
    if (!m_player.GetLatestFrame(m_rgb, width, height, time) || (time == m_pictureTime && !m_video->Picture().isNull()))
        return;
    m_pictureTime = time;
    m_video->SetPicture(QImage(m_rgb.data(), width, height, width * 3, QImage::Format_RGB888).copy());
}

void CLumviewWindow::RefreshGuide()
{
    const QTreeWidgetItem* current = m_services->currentItem();
    const std::pair<std::uint64_t, int> seen{m_receiver ? m_receiver->Guide().GetRevision() : 0, CurrentService()};
    if (seen == m_guideSeen && m_receiver)
        return;   // nothing new for this service: the store is not copied
    m_guideSeen = seen;
    std::vector<CDVBGuideStore::Event> events;
    if (m_receiver && current) {
        const int service = current->data(0, Qt::UserRole).toInt();
        const int stream = current->data(0, Qt::UserRole + 1).toInt();
        for (CDVBGuideStore::Event& event : m_receiver->Guide().GetEvents())
            if (std::get<2>(event.service) == service && (stream == 0xFFFF || std::get<1>(event.service) == stream))
                events.push_back(std::move(event));
    }
    std::vector<std::tuple<WORD, std::int64_t, DWORD>> shown;
    for (const auto& event : events)
        shown.emplace_back(event.eventId, event.start, event.duration);
    if (shown == m_guideShown)
        return;   // as it is: the reader's place in the list is kept
    m_guideShown = std::move(shown);
    m_guide->clear();
    for (const auto& event : events) {
        const QDateTime start = QDateTime::fromSecsSinceEpoch(event.start).toLocalTime();
        const QDateTime end = start.addSecs(event.duration);
        auto* item = new QTreeWidgetItem(m_guide);
        item->setText(0, QLocale().toString(start, QStringLiteral("ddd d MMM HH:mm")) + QStringLiteral("–") + end.toString(QStringLiteral("HH:mm")));
        item->setText(1, GuideText(event.title));
        item->setText(2, GuideText(event.shortText.IsEmpty() ? event.extendedText : event.shortText));
        item->setToolTip(2, GuideText(event.extendedText.IsEmpty() ? event.shortText : event.extendedText));
    }
}

QString CLumviewWindow::DescribePicture() const
{
    const QRect rect = m_video->PictureRect();
    if (rect.isEmpty())
        return QString();
    const QPoint at = m_video->mapTo(this, rect.topLeft());
    return QStringLiteral("picture of PTS %1 at %2,%3 %4x%5").arg(m_pictureTime).arg(at.x()).arg(at.y()).arg(rect.width()).arg(rect.height());
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
