#pragma once
// What editing one multiplex definition does, without a user interface. An input plug-in's
// ConfigureMultiplexDefinition describes the fields a person edits (a text, a file, a
// choice, a number) and calls Run, which shows the editor the widgets library installed
// (CLUMDialogs). The editor shows the fields' texts, hands back what the person typed, and
// on OK asks Accept, which reads the texts into a copy of the definition as the
// definitions file would and checks the copy as the plug-in would open it: the definition
// changes only when all is well, otherwise the message names the value that is wrong.
#include "platform/CString.h"

#include <vector>

class CDVBMultiplexDefinition;
class CLUMInputPlugin;

class CDefinitionEditorBehaviour
{
public:
    enum class Kind
    {
        Text,
        FilePath,
        Choice,
        Number,
    };

    struct Field
    {
        int m_index = 0;                  // the definition's field
        Kind m_kind = Kind::Text;
        CString m_label;                  // the definition's name of the field
        CString m_hint;                   // what the field takes, for people
        std::vector<CString> m_choices;   // Choice: what is offered
        bool m_otherValues = false;       // Choice: a value not offered may be typed
        CString m_fileTypes;              // FilePath: "Transport streams (*.ts *.m2ts)"
        CString m_text;                   // as the person has it
    };

    // Neither is owned; `definition` changes only when Accept succeeds.
    CDefinitionEditorBehaviour(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition);

    // The field of that index, its text from the definition. A choice offers the text it
    // has too, so that a value read from the file is shown rather than lost.
    Field& AddField(int index, Kind kind, const CString& hint = CString());
    Field& AddChoice(int index, const std::vector<CString>& choices, bool otherValues, const CString& hint = CString());

    const std::vector<Field>& GetFields() const { return m_fields; }
    void SetText(std::size_t field, const CString& text);
    // "Add Multiplex" for a definition without a name, else "Edit Multiplex [name]".
    CString GetCaption() const;

    // True, with the definition set from the texts, when every field reads, the name
    // (field 0) is given and used by no other definition, and the plug-in's check finds
    // nothing; else false with the message.
    bool Accept();
    const CString& GetMessage() const { return m_message; }

    // Shows the installed editor, modally; false without one or when cancelled.
    bool Run();

    // The names that no definition may take besides its own: while the Configure
    // Multiplexes dialog edits its rows, the other rows' names (not owned; null again
    // after); otherwise those of the plug-in's other definitions.
    static void SetNamesInUse(const std::vector<CString>* names);

private:
    bool Refuse(const CString& message);
    bool IsNameInUse(const CString& name);

    CLUMInputPlugin* m_plugin;
    CDVBMultiplexDefinition* m_definition;
    std::vector<Field> m_fields;
    CString m_message;
    bool m_adding;
};
