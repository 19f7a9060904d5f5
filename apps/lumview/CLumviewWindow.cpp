#include "CLumviewWindow.h"

#include "CVideoPane.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
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
    MakeTracks();
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

void CLumviewWindow::MakeTracks()
{
    const auto button = [this](const char* name, const QString& text, const QString& tip) {
        auto* made = new QToolButton(this);
        made->setObjectName(QString::fromUtf8(name));
        made->setText(text);
        made->setToolTip(tip);
        made->setAutoRaise(true);
        made->setFocusPolicy(Qt::NoFocus);
        statusBar()->addPermanentWidget(made);
        return made;
    };
    m_sound = button("sound", QStringLiteral("Sound"), QStringLiteral("Sound track (A)"));
    m_subtitles = button("subtitles", QStringLiteral("Subtitles"), QStringLiteral("Subtitles (S)"));
    m_teletext = button("teletext", QStringLiteral("Teletext"),
                        QStringLiteral("Teletext (T): type a page, Up and Down for the next page, Left and Right for "
                                       "subpages, R, G, Y and B for the coloured links"));
    m_teletext->setCheckable(true);
    for (QToolButton* menu : {m_sound, m_subtitles}) {
        menu->setPopupMode(QToolButton::InstantPopup);
        menu->setMenu(new QMenu(menu));
    }
    connect(m_teletext, &QToolButton::clicked, this, [this] { m_behaviour.ToggleTeletext(); Draw(); });
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
    key(Qt::Key_A, [](CLumviewBehaviour& b) { b.NextSoundTrack(); });
    key(Qt::Key_S, [](CLumviewBehaviour& b) { b.NextSubtitleTrack(); });
    key(Qt::Key_T, [](CLumviewBehaviour& b) { b.ToggleTeletext(); });
    // the teletext view's: they leave the lists their arrows otherwise
    const auto teletextKey = [this](QKeySequence sequence, std::function<void(CLumviewBehaviour&)> action) {
        auto* shortcut = new QShortcut(sequence, this);
        shortcut->setEnabled(false);
        connect(shortcut, &QShortcut::activated, this, [this, action] {
            action(m_behaviour);
            Draw();
        });
        m_teletextKeys.push_back(shortcut);
    };
    for (int digit = 0; digit <= 9; ++digit)
        teletextKey(QKeySequence(Qt::Key_0 + digit), [digit](CLumviewBehaviour& b) { b.TeletextDigit(digit); });
    teletextKey(Qt::Key_Up, [](CLumviewBehaviour& b) { b.TeletextPage(1); });
    teletextKey(Qt::Key_Down, [](CLumviewBehaviour& b) { b.TeletextPage(-1); });
    teletextKey(Qt::Key_Right, [](CLumviewBehaviour& b) { b.TeletextSubpage(1); });
    teletextKey(Qt::Key_Left, [](CLumviewBehaviour& b) { b.TeletextSubpage(-1); });
    const Qt::Key colours[] = {Qt::Key_R, Qt::Key_G, Qt::Key_Y, Qt::Key_B};
    for (int colour = 0; colour < 4; ++colour)
        teletextKey(colours[colour], [colour](CLumviewBehaviour& b) { b.TeletextLink(colour); });
}

void CLumviewWindow::SetFullScreen(bool on)
{
    if (on != m_behaviour.State().fullScreen) {
        m_behaviour.ToggleFullScreen();
        Draw();
    }
}

void CLumviewWindow::Ask(const std::string& subtitles, int teletextPage)
{
    m_behaviour.Ask(subtitles, teletextPage);
    Draw();
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
    DrawTracks();
    DrawTeletext();
    DrawFullScreen();
    if (state.receiving && !m_refresh.isActive())
        m_refresh.start(CLumviewBehaviour::kRefreshMs);
    else if (!state.receiving)
        m_refresh.stop();
}

void CLumviewWindow::DrawTracks()
{
    const CLumviewState& state = m_behaviour.State();
    const auto fill = [this](QToolButton* button, const std::vector<std::string>& names, int chosen, bool none,
                             const std::function<void(int)>& choose) {
        QMenu* menu = button->menu();
        QStringList wanted;
        if (none)
            wanted << QStringLiteral("None");
        for (const std::string& name : names)
            wanted << Text(name);
        QStringList have;
        for (const QAction* action : menu->actions())
            have << action->text();
        if (have != wanted) {
            menu->clear();
            for (int i = 0; i < wanted.size(); ++i) {
                QAction* action = menu->addAction(wanted[i]);
                action->setCheckable(true);
                const int index = none ? i - 1 : i;
                connect(action, &QAction::triggered, this, [this, choose, index] {
                    choose(index);
                    Draw();
                });
            }
        }
        const QList<QAction*> actions = menu->actions();
        for (int i = 0; i < actions.size(); ++i)
            actions[i]->setChecked((none ? i - 1 : i) == chosen);
        button->setEnabled(!names.empty());
        const bool shown = chosen >= 0 && chosen < int(names.size());
        button->setText((button == m_sound ? QStringLiteral("Sound") : QStringLiteral("Subtitles")) +
                        (shown ? QStringLiteral(": ") + Text(names[std::size_t(chosen)].substr(0, 3)) : QString()));
    };
    fill(m_sound, state.soundTracks, state.soundTrack, false, [this](int i) { m_behaviour.ChooseSoundTrack(i); });
    fill(m_subtitles, state.subtitleTracks, state.subtitleTrack, true, [this](int i) { m_behaviour.ChooseSubtitleTrack(i); });
}

void CLumviewWindow::DrawTeletext()
{
    const CLumviewState& state = m_behaviour.State();
    m_teletext->setChecked(state.teletext);
    for (QShortcut* shortcut : m_teletextKeys)
        shortcut->setEnabled(state.teletext);
    if (state.teletextChanges == m_teletextDrawn && state.teletext == m_teletextShown)
        return;
    m_teletextDrawn = state.teletextChanges;
    m_teletextShown = state.teletext;
    if (!state.teletext) {
        m_video->SetTeletext(QImage(), QString());
        return;
    }
    const QImage page = state.teletextRgba.empty() ? QImage()
                                                   : QImage(state.teletextRgba.data(), state.teletextWidth, state.teletextHeight,
                                                            state.teletextWidth * 4, QImage::Format_RGBA8888).copy();
    m_video->SetTeletext(page, Text(state.teletextText.empty() && page.isNull() ? "Teletext" : state.teletextText));
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
        item->setText(0, Text(service.number.empty() ? service.name : service.number + "  " + service.name));
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
    m_video->SetSubtitle(state.subtitle);
}

QString CLumviewWindow::DescribePicture() const
{
    const QRect rect = m_video->PictureRect();
    if (rect.isEmpty())
        return QString();
    const QPoint at = m_video->mapTo(this, rect.topLeft());
    QString text = QStringLiteral("picture of PTS %1 at %2,%3 %4x%5")
                       .arg(m_behaviour.State().pictureTime).arg(at.x()).arg(at.y()).arg(rect.width()).arg(rect.height());
    const QRect subtitle = m_video->SubtitleRect();
    if (!subtitle.isEmpty()) {
        const QPoint from = m_video->mapTo(this, subtitle.topLeft());
        text += QStringLiteral(", subtitle at %1,%2 %3x%4").arg(from.x()).arg(from.y()).arg(subtitle.width()).arg(subtitle.height());
    }
    return text;
}

void CLumviewWindow::closeEvent(QCloseEvent* event)
{
    SetFullScreen(false);   // the next run starts in a window
    QSettings().setValue(QStringLiteral("geometry"), saveGeometry());
    m_behaviour.Close();
    Draw();
    QMainWindow::closeEvent(event);
}
