#include "widgets/CDefinitionEditorDialog.h"

#include "plugins/CDefinitionEditorBehaviour.h"
#include "widgets/CDialogUnits.h"
#include "widgets/CStatusIcons.h"
#include "widgets/QtText.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using Kind = CDefinitionEditorBehaviour::Kind;

CDefinitionEditorDialog::CDefinitionEditorDialog(CDefinitionEditorBehaviour& behaviour, QWidget* parent)
    : QDialog(parent), m_behaviour(behaviour)
{
    setWindowTitle(ToQString(behaviour.GetCaption()));
    setMinimumWidth(CDialogUnits(this).X(260));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    for (std::size_t i = 0; i < behaviour.GetFields().size(); ++i) {
        QWidget* row = MakeEditor(i);
        auto* label = new QLabel(ToQString(behaviour.GetFields()[i].m_label) + QStringLiteral(":"), this);
        label->setBuddy(m_editors[i]);
        form->addRow(label, row);
    }
    layout->addLayout(form);
    auto* messageRow = new QHBoxLayout;
    m_messageIcon = new QLabel(this);
    m_messageIcon->setPixmap(CStatusIcons::Warning());
    m_messageIcon->setAlignment(Qt::AlignTop);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setWordWrap(true);
    messageRow->addWidget(m_messageIcon);
    messageRow->addWidget(m_message, 1);
    m_messageIcon->hide();
    m_message->hide();
    layout->addLayout(messageRow);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QWidget* CDefinitionEditorDialog::MakeEditor(std::size_t field)
{
    const CDefinitionEditorBehaviour::Field& f = m_behaviour.GetFields()[field];
    const QString hint = ToQString(f.m_hint);
    QWidget* editor = nullptr;
    QWidget* row = nullptr;
    if (f.m_kind == Kind::Choice) {
        auto* box = new QComboBox(this);
        box->setEditable(f.m_otherValues);
        for (const CString& choice : f.m_choices)
            box->addItem(ToQString(choice));
        box->setCurrentIndex(box->findText(ToQString(f.m_text)));
        if (f.m_otherValues)
            box->setCurrentText(ToQString(f.m_text));
        editor = row = box;
    } else {
        auto* line = new QLineEdit(ToQString(f.m_text), this);
        line->setPlaceholderText(hint);
        if (f.m_kind == Kind::Number)
            line->setAlignment(Qt::AlignRight);
        editor = row = line;
        if (f.m_kind == Kind::FilePath) {
            row = new QWidget(this);
            auto* layout = new QHBoxLayout(row);
            layout->setContentsMargins(0, 0, 0, 0);
            auto* browse = new QPushButton(QStringLiteral("Browse..."), row);
            browse->setObjectName(QStringLiteral("browse%1").arg(field));
            browse->setAutoDefault(false);
            connect(browse, &QPushButton::clicked, this, [this, field] { ChooseFile(field); });
            line->setParent(row);
            layout->addWidget(line, 1);
            layout->addWidget(browse);
        }
    }
    editor->setObjectName(QStringLiteral("field%1").arg(field));
    editor->setToolTip(hint);
    m_editors.push_back(editor);
    return row;
}

void CDefinitionEditorDialog::ChooseFile(std::size_t field)
{
    auto* line = static_cast<QLineEdit*>(m_editors[field]);
    const QString types = ToQString(m_behaviour.GetFields()[field].m_fileTypes);
    const QString filter = types.isEmpty() ? QStringLiteral("All files (*)") : types + QStringLiteral(";;All files (*)");
    const QString start = line->text().isEmpty() ? QString() : QFileInfo(line->text()).absolutePath();
    const QString chosen = QFileDialog::getOpenFileName(this, QStringLiteral("Choose a File"), start, filter);
    if (!chosen.isEmpty())
        line->setText(chosen);
}

QString CDefinitionEditorDialog::TextOf(std::size_t field) const
{
    if (auto* box = qobject_cast<QComboBox*>(m_editors[field]))
        return box->currentText();
    return static_cast<QLineEdit*>(m_editors[field])->text();
}

void CDefinitionEditorDialog::accept()
{
    for (std::size_t i = 0; i < m_editors.size(); ++i)
        m_behaviour.SetText(i, FromQString(TextOf(i)));
    if (m_behaviour.Accept()) {
        QDialog::accept();
        return;
    }
    m_message->setText(ToQString(m_behaviour.GetMessage()));
    m_message->show();
    m_messageIcon->show();
}
