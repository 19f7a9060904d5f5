#include "widgets/CTestMultiplexDialog.h"

#include "widgets/CDialogUnits.h"
#include "widgets/QtText.h"
#include "widgets/CStatusIcons.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimerEvent>
#include <QTreeWidget>

CTestMultiplexDialog::CTestMultiplexDialog(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition, QWidget* parent)
    : QDialog(parent), m_behaviour(plugin, definition)
{
    const CDialogUnits units(this);
    setFixedSize(units.X(239), units.Y(164));
    setWindowTitle(ToQString(m_behaviour.GetCaption()));
    (new QGroupBox(QStringLiteral("Status"), this))->setGeometry(units.Rect(7, 7, 226, 23));
    m_statusIcon = new QLabel(this);
    m_statusIcon->setObjectName(QStringLiteral("8007"));
    m_statusIcon->setGeometry(units.X(13), units.Y(16), 16, 16);
    m_statusIcon->setPixmap(CStatusIcons::Information());
    m_statusText = new QLabel(this);
    m_statusText->setObjectName(QStringLiteral("8008"));
    m_statusText->setGeometry(units.Rect(29, 16, 195, 8));
    ShowStatus();
    (new QGroupBox(QStringLiteral("Services"), this))->setGeometry(units.Rect(38, 33, 163, 110));
    m_services = new QTreeWidget(this);
    m_services->setObjectName(QStringLiteral("8009"));
    m_services->setGeometry(units.Rect(43, 42, 150, 95));
    m_services->setRootIsDecorated(false);
    m_services->setHeaderLabels({QStringLiteral("Service")});
    m_services->header()->setDefaultAlignment(Qt::AlignLeft);
    m_services->setColumnWidth(0, m_services->width() - 2 * m_services->frameWidth());
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setGeometry(units.Rect(93, 146, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    m_timer.start(CTestMultiplexBehaviour::TimerPeriodMs, this);
}

void CTestMultiplexDialog::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_timer.timerId())
        Tick();
    else
        QDialog::timerEvent(event);
}

void CTestMultiplexDialog::Tick()
{
    m_behaviour.OnTimer();
    ShowStatus();
    m_statusIcon->setPixmap(m_behaviour.IsStatusWarning() ? CStatusIcons::Warning() : CStatusIcons::Information());
    const auto& rows = m_behaviour.GetRows();
    for (int i = 0; i < int(rows.size()); ++i) {   // rows are only ever appended or renamed
        QTreeWidgetItem* item = i < m_services->topLevelItemCount() ? m_services->topLevelItem(i) : new QTreeWidgetItem(m_services);
        item->setData(0, Qt::UserRole, rows[std::size_t(i)].first);
        item->setText(0, BroadcastToQString(rows[std::size_t(i)].second));
    }
}

void CTestMultiplexDialog::ShowStatus()
{
    // a source's long status would be cut at the label's edge: it ends in "…", whole in the tooltip
    const QString status = ToQString(m_behaviour.GetStatusText());
    m_statusText->setText(m_statusText->fontMetrics().elidedText(status, Qt::ElideRight, m_statusText->width()));
    m_statusText->setToolTip(status);
}

void CTestMultiplexDialog::done(int result)
{
    if (!m_closed) {
        m_closed = true;
        m_timer.stop();
        if (!m_behaviour.Stop())   // said while the receiver and the multiplex are still there
            QMessageBox::warning(this, windowTitle(), QStringLiteral("Failed to stop transport stream receiver."), QMessageBox::Ok);
        m_behaviour.Close();
    }
    QDialog::done(result);
}
