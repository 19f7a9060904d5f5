#include "CLumviewWindow.h"

#include "CVideoPane.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QString Text(const std::string& utf8)
{
    return QString::fromStdString(utf8);
}

// Fills a picker with `names` when they changed, so that an open list is not reset.
void DrawPicker(QComboBox* picker, const std::vector<std::string>& names, int current)
{
    bool same = picker->count() == int(names.size());
    for (int i = 0; same && i < picker->count(); ++i)
        same = picker->itemText(i) == Text(names[std::size_t(i)]);
    if (!same) {
        picker->clear();
        for (const std::string& name : names)
            picker->addItem(Text(name));
    }
    picker->setCurrentIndex(current);
}

}  // namespace

CLumviewWindow::CLumviewWindow() : m_behaviour(*this)
{
    setWindowTitle(QStringLiteral("lumview"));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->addLayout(MakePickers(central));
    m_message = new QLabel(central);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setWordWrap(true);
    m_message->hide();
    layout->addWidget(m_message);
    layout->addWidget(MakePanes(central), 1);
    setCentralWidget(central);
    m_status = new QLabel(this);
    statusBar()->addWidget(m_status, 1);
    Connect();
    Draw();
    m_services->setFocus();
    if (!restoreGeometry(QSettings().value(QStringLiteral("geometry")).toByteArray()))
        resize(1000, 600);
}

CLumviewWindow::~CLumviewWindow()
{
    m_behaviour.Close();
}

QLayout* CLumviewWindow::MakePickers(QWidget* central)
{
    auto* bar = new QHBoxLayout;
    m_inputs = new QComboBox(central);
    m_multiplexes = new QComboBox(central);
    m_multiplexes->setMinimumContentsLength(24);
    auto* inputLabel = new QLabel(QStringLiteral("&Input:"), central);
    auto* multiplexLabel = new QLabel(QStringLiteral("&Multiplex:"), central);
    inputLabel->setBuddy(m_inputs);
    multiplexLabel->setBuddy(m_multiplexes);
    auto* configure = new QPushButton(QStringLiteral("&Configure..."), central);
    auto* test = new QPushButton(QStringLiteral("&Test..."), central);
    bar->addWidget(inputLabel);
    bar->addWidget(m_inputs);
    bar->addWidget(multiplexLabel, 0);
    bar->addWidget(m_multiplexes, 1);
    bar->addWidget(configure);
    bar->addWidget(test);
    connect(configure, &QPushButton::clicked, this, [this] { m_behaviour.Configure(); Draw(); });
    connect(test, &QPushButton::clicked, this, [this] { m_behaviour.TestMultiplex(); Draw(); });
    return bar;
}

QWidget* CLumviewWindow::MakePanes(QWidget* central)
{
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
    return panes;
}

void CLumviewWindow::Connect()
{
    connect(m_inputs, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
        m_behaviour.ChooseInput(index);
        Draw();
    });
    connect(m_multiplexes, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
        m_behaviour.ChooseMultiplex(index);
        Draw();
    });
    connect(m_services, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        m_behaviour.ChooseService(item ? m_services->indexOfTopLevelItem(item) : -1);
        Draw();
    });
    connect(&m_refresh, &QTimer::timeout, this, [this] { m_behaviour.OnRefresh(); Draw(); });
    connect(&m_frames, &QTimer::timeout, this, [this] { m_behaviour.OnFrame(); DrawPicture(); });
}

bool CLumviewWindow::Open(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition)
{
    const bool opened = m_behaviour.Open(plugin, definition);
    Draw();
    return opened;
}

void CLumviewWindow::OpenRemembered()
{
    m_behaviour.OpenRemembered();
    Draw();
}

std::string CLumviewWindow::GetSetting(const char* key) const
{
    return QSettings().value(QString::fromUtf8(key)).toString().toStdString();
}

void CLumviewWindow::SetSetting(const char* key, const std::string& value)
{
    QSettings().setValue(QString::fromUtf8(key), Text(value));
}

void CLumviewWindow::Draw()
{
    const CLumviewState& state = m_behaviour.State();
    DrawPicker(m_inputs, state.inputs, state.input);
    DrawPicker(m_multiplexes, state.multiplexes, state.multiplex);
    setWindowTitle(Text(state.title));
    m_message->setText(Text(state.message));
    m_message->setVisible(!state.message.empty());
    m_status->setText(Text(state.status));
    m_video->SetText(Text(state.videoText));
    DrawServices();
    DrawGuide();
    DrawPicture();
    if (state.receiving && !m_refresh.isActive()) {
        m_refresh.start(CLumviewBehaviour::kRefreshMs);
        m_frames.start(CLumviewBehaviour::kFrameMs);
    } else if (!state.receiving) {
        m_refresh.stop();
        m_frames.stop();
    }
}

void CLumviewWindow::DrawServices()
{
    const CLumviewState& state = m_behaviour.State();
    const QSignalBlocker quiet(m_services);   // the behaviour chose already
    const int rows = int(state.services.size());
    for (int i = 0; i < rows; ++i) {
        QTreeWidgetItem* item = i < m_services->topLevelItemCount() ? m_services->topLevelItem(i) : new QTreeWidgetItem(m_services);
        const CLumviewState::Service& service = state.services[std::size_t(i)];
        item->setText(0, Text(service.name));
        item->setText(1, Text(service.now));
        item->setText(2, Text(service.next));
    }
    while (m_services->topLevelItemCount() > rows)
        delete m_services->topLevelItem(m_services->topLevelItemCount() - 1);
    m_services->setCurrentItem(state.service >= 0 ? m_services->topLevelItem(state.service) : nullptr);
}

void CLumviewWindow::DrawGuide()
{
    const CLumviewState& state = m_behaviour.State();
    if (state.guideChanges == m_guideDrawn)
        return;   // as it is: the reader's place in the list is kept
    m_guideDrawn = state.guideChanges;
    m_guide->clear();
    for (const CLumviewState::GuideEvent& event : state.guide) {
        const QDateTime start = QDateTime::fromSecsSinceEpoch(event.start).toLocalTime();
        const QDateTime end = start.addSecs(event.duration);
        auto* item = new QTreeWidgetItem(m_guide);
        item->setText(0, QLocale().toString(start, QStringLiteral("ddd d MMM HH:mm")) + QStringLiteral("–") + end.toString(QStringLiteral("HH:mm")));
        item->setText(1, Text(event.title));
        item->setText(2, Text(event.text));
        item->setToolTip(2, Text(event.fullText));
    }
}

void CLumviewWindow::DrawPicture()
{
    const CLumviewState& state = m_behaviour.State();
    if (state.pictureChanges == m_pictureDrawn)
        return;
    m_pictureDrawn = state.pictureChanges;
    m_video->SetPicture(state.rgb.empty() ? QImage()
                                          : QImage(state.rgb.data(), state.width, state.height, state.width * 3, QImage::Format_RGB888).copy());
}

QString CLumviewWindow::DescribePicture() const
{
    const QRect rect = m_video->PictureRect();
    if (rect.isEmpty())
        return QString();
    const QPoint at = m_video->mapTo(this, rect.topLeft());
    return QStringLiteral("picture of PTS %1 at %2,%3 %4x%5")
        .arg(m_behaviour.State().pictureTime).arg(at.x()).arg(at.y()).arg(rect.width()).arg(rect.height());
}

void CLumviewWindow::closeEvent(QCloseEvent* event)
{
    QSettings().setValue(QStringLiteral("geometry"), saveGeometry());
    m_behaviour.Close();
    Draw();
    QMainWindow::closeEvent(event);
}
