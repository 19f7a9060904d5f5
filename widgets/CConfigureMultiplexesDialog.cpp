#include "widgets/CConfigureMultiplexesDialog.h"

#include "widgets/CDialogUnits.h"
#include "widgets/QtText.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>

CConfigureMultiplexesDialog::CConfigureMultiplexesDialog(CLUMInputPlugin* plugin, QWidget* parent)
    : QDialog(parent), m_behaviour(plugin)
{
    setWindowTitle(QStringLiteral("Configure Multiplexes"));
    const CDialogUnits units(this);
    setFixedSize(units.X(241), units.Y(175));
    (new QGroupBox(QStringLiteral("Multiplexes"), this))->setGeometry(units.Rect(7, 7, 227, 139));
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("2000"));
    m_list->setGeometry(units.Rect(15, 18, 213, 105));
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setDefaultAlignment(Qt::AlignLeft);
    auto button = [&](const char* caption, const char* id, int x, int y, int width) {
        auto* b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(QString::fromUtf8(id));
        b->setGeometry(units.Rect(x, y, width, 14));
        b->setAutoDefault(false);
        return b;
    };
    QPushButton* scan = button("Scan...", "2005", 15, 127, 38);
    QPushButton* add = button("Add", "2001", 58, 127, 38);
    m_edit = button("Edit", "2002", 101, 127, 38);
    m_test = button("Test", "2004", 144, 127, 38);
    m_remove = button("Remove", "2003", 187, 127, 38);
    QPushButton* ok = button("OK", "1", 83, 154, 50);
    ok->setDefault(true);
    QPushButton* cancel = button("Cancel", "2", 184, 154, 50);

    const QFontMetrics headings(m_list->header()->font());
    const int margins = 2 * m_list->frameWidth();
    m_behaviour.Open([&](const CString& heading) { return headings.horizontalAdvance(ToQString(heading)) + 12; },
                     m_list->width() - margins);
    QStringList labels;
    for (const auto& column : m_behaviour.GetColumns())
        labels << ToQString(column.m_heading);
    m_list->setHeaderLabels(labels);
    for (int i = 0; i < int(m_behaviour.GetColumns().size()); ++i)
        m_list->setColumnWidth(i, m_behaviour.GetColumns()[std::size_t(i)].m_width);
    ShowRows();

    connect(m_list, &QTreeWidget::itemSelectionChanged, this, [this] { OnSelectionChanged(); });
    connect(add, &QPushButton::clicked, this, [this] { m_behaviour.Add(); ShowRows(); });
    connect(m_edit, &QPushButton::clicked, this, [this] { m_behaviour.Edit(); ShowRows(); });
    connect(m_remove, &QPushButton::clicked, this, [this] { m_behaviour.Remove(); ShowRows(); });
    connect(m_test, &QPushButton::clicked, this, [this] { m_behaviour.Test(); });
    connect(scan, &QPushButton::clicked, this, [this] { m_behaviour.Scan(); ShowRows(); });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CConfigureMultiplexesDialog::ShowRows()
{
    const QSignalBlocker quiet(m_list);
    m_list->clear();
    for (const auto& row : m_behaviour.GetRows()) {
        auto* item = new QTreeWidgetItem(m_list);
        for (int i = 0; i < int(row.size()); ++i)
            item->setText(i, ToQString(row[std::size_t(i)]));
    }
    for (int index : m_behaviour.GetSelection())
        m_list->topLevelItem(index)->setSelected(true);
    OnSelectionChanged();
}

void CConfigureMultiplexesDialog::OnSelectionChanged()
{
    std::vector<int> selected;
    for (QTreeWidgetItem* item : m_list->selectedItems())
        selected.push_back(m_list->indexOfTopLevelItem(item));
    m_behaviour.SetSelection(selected);
    for (QPushButton* b : {m_edit, m_remove, m_test})
        b->setEnabled(m_behaviour.IsSelectionActionEnabled());
}

void CConfigureMultiplexesDialog::accept()
{
    m_behaviour.Ok();
    QDialog::accept();
}
