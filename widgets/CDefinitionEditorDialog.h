#pragma once
// The editor of one multiplex definition: a thin Qt view over CDefinitionEditorBehaviour,
// a row per field (a line, a file with a chooser, a list of choices, a number). OK asks
// the behaviour and stays open with its message when a value is wrong.
#include <QDialog>

#include <vector>

class CDefinitionEditorBehaviour;
class QLabel;

class CDefinitionEditorDialog : public QDialog
{
public:
    CDefinitionEditorDialog(CDefinitionEditorBehaviour& behaviour, QWidget* parent = nullptr);

    void accept() override;
    // The editor of the behaviour's field `field`, named "field<field>": a QLineEdit or a QComboBox.
    QWidget* GetEditor(std::size_t field) const { return m_editors[field]; }
    QLabel* GetMessage() const { return m_message; }

private:
    QWidget* MakeEditor(std::size_t field);
    void ChooseFile(std::size_t field);
    QString TextOf(std::size_t field) const;

    CDefinitionEditorBehaviour& m_behaviour;
    std::vector<QWidget*> m_editors;
    QLabel* m_messageIcon;
    QLabel* m_message;
};
