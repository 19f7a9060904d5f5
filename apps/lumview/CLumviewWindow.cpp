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
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QToolButton>
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
    m_pickers = MakePickers(central);
    layout->addWidget(m_pickers);
    m_message = new QLabel(central);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setWordWrap(true);
    m_message->hide();
    layout->addWidget(m_message);
    layout->addWidget(MakePanes(central), 1);
    setCentralWidget(central);
    m_status = new QLabel(this);
    statusBar()->addWidget(m_status, 1);
    MakeVolume();
    Connect();
    ConnectKeys();
    Draw();
    m_services->setFocus();
    if (!restoreGeometry(QSettings().value(QStringLiteral("geometry")).toByteArray()))
        resize(1000, 600);
}

CLumviewWindow::~CLumviewWindow()
{
    m_behaviour.Close();
}

QWidget* CLumviewWindow::MakePickers(QWidget* central)
{
    auto* pickers = new QWidget(central);
    auto* bar = new QHBoxLayout(pickers);
    bar->setContentsMargins(0, 0, 0, 0);
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
    return pickers;
}

QWidget* CLumviewWindow::MakePanes(QWidget* central)
{
    auto* panes = new QSplitter(Qt::Horizontal, central);
    auto* lists = m_lists = new QSplitter(Qt::Vertical, panes);
    m_services = new QTreeWidget(lists);
    m_services->setObjectName(QStringLiteral("services"));
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
    m_video->setToolTip(QStringLiteral("F or a double click: full screen"));
    panes->setStretchFactor(0, 3);
    panes->setStretchFactor(1, 2);
    return panes;
}

void CLumviewWindow::MakeVolume()
{
    m_mute = new QToolButton(this);
    m_mute->setObjectName(QStringLiteral("mute"));
    m_mute->setCheckable(true);
    m_mute->setAutoRaise(true);
    m_mute->setToolTip(QStringLiteral("Mute (M)"));
    m_volume = new QSlider(Qt::Horizontal, this);
    m_volume->setObjectName(QStringLiteral("volume"));
    m_volume->setRange(0, 100);
    m_volume->setPageStep(CLumviewBehaviour::kVolumeStep * 2);
    m_volume->setFixedWidth(100);
    m_volume->setToolTip(QStringLiteral("Volume (+ and -)"));
    m_volume->setAccessibleName(QStringLiteral("Volume"));
    m_volume->setFocusPolicy(Qt::NoFocus);   // the arrows stay the lists'
    statusBar()->addPermanentWidget(m_mute);
    statusBar()->addPermanentWidget(m_volume);
    connect(m_mute, &QToolButton::clicked, this, [this] { m_behaviour.ToggleMute(); Draw(); });
    connect(m_volume, &QSlider::valueChanged, this, [this](int value) {
        if (value != m_behaviour.State().volume) {
            m_behaviour.SetVolume(value);
            Draw();
        }
    });
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
    // a decoder's thread says a picture is due; the picture is taken on this one
    m_behaviour.SetPictureWake([this] {
        if (!m_picturePending.exchange(true))
            QMetaObject::invokeMethod(this, [this] {
                m_picturePending = false;
                m_behaviour.OnPicture();
                DrawPicture();
            }, Qt::QueuedConnection);
    });
    m_video->onResize = [this] {
        const QSize size = m_video->PixelSize();
        m_behaviour.SetPictureSize(size.width(), size.height());
    };
    m_video->onDoubleClick = [this] { m_behaviour.ToggleFullScreen(); Draw(); };
}

void CLumviewWindow::ConnectKeys()
{
    // keys of the whole window, the lists' own keys aside
    const auto key = [this](QKeySequence sequence, auto action) {
        connect(new QShortcut(sequence, this), &QShortcut::activated, this, [this, action] {
            action(m_behaviour);
            Draw();
        });
    };
    key(Qt::Key_F, [](CLumviewBehaviour& b) { b.ToggleFullScreen(); });
    key(Qt::Key_Escape, [](CLumviewBehaviour& b) { b.LeaveFullScreen(); });
    key(Qt::Key_N, [](CLumviewBehaviour& b) { b.NextService(1); });
    key(Qt::Key_P, [](CLumviewBehaviour& b) { b.NextService(-1); });
    key(Qt::Key_M, [](CLumviewBehaviour& b) { b.ToggleMute(); });
    const auto louder = [](CLumviewBehaviour& b) { b.SetVolume(b.State().volume + CLumviewBehaviour::kVolumeStep); };
    key(Qt::Key_Plus, louder);
    key(Qt::Key_Equal, louder);   // + without the shift
    key(Qt::Key_Minus, [](CLumviewBehaviour& b) { b.SetVolume(b.State().volume - CLumviewBehaviour::kVolumeStep); });
}

void CLumviewWindow::SetFullScreen(bool on)
{
    if (on != m_behaviour.State().fullScreen) {
        m_behaviour.ToggleFullScreen();
        Draw();
    }
}

bool CLumviewWindow::WriteStatistics(const QString& path) const
{
    return m_behaviour.WriteStatistics(path.toStdString());
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
    m_message->setVisible(!state.message.empty() && !state.fullScreen);
    m_status->setText(Text(state.status));
    m_video->SetText(Text(state.videoText));
    {
        const QSignalBlocker quiet(m_volume);
        m_volume->setValue(state.volume);
    }
    m_mute->setChecked(state.muted);
    m_mute->setIcon(QIcon::fromTheme(state.muted ? QStringLiteral("audio-volume-muted") : QStringLiteral("audio-volume-high")));
    m_mute->setText(state.muted ? QStringLiteral("Muted") : QStringLiteral("%1%").arg(state.volume));
    DrawServices();
    DrawGuide();
    DrawPicture();
    DrawFullScreen();
    if (state.receiving && !m_refresh.isActive())
        m_refresh.start(CLumviewBehaviour::kRefreshMs);
    else if (!state.receiving)
        m_refresh.stop();
}

void CLumviewWindow::DrawFullScreen()
{
    const bool on = m_behaviour.State().fullScreen;
    if (on == bool(windowState() & Qt::WindowFullScreen))   // as asked, whatever the window manager did
        return;
    if (on)
        m_margins = centralWidget()->layout()->contentsMargins();
    for (QWidget* part : {m_pickers, static_cast<QWidget*>(m_lists), static_cast<QWidget*>(statusBar())})
        part->setVisible(!on);
    m_message->setVisible(!on && !m_behaviour.State().message.empty());
    centralWidget()->layout()->setContentsMargins(on ? QMargins() : m_margins);
    setWindowState(windowState() ^ Qt::WindowFullScreen);   // a maximised window is so again after
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
    // drawn from the state's own bytes: they stay as they are until the next picture is drawn
    const std::uint8_t* pixels = state.rgb.data();
    m_video->SetPicture(state.rgb.empty() ? QImage() : QImage(pixels, state.width, state.height, state.width * 4, QImage::Format_RGB32));
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
    SetFullScreen(false);   // the next run starts in a window
    QSettings().setValue(QStringLiteral("geometry"), saveGeometry());
    m_behaviour.Close();
    Draw();
    QMainWindow::closeEvent(event);
}
