#include "plugins/CDefinitionEditorBehaviour.h"

#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMDialogs.h"
#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMInputPluginExtension.h"

#include <algorithm>
#include <cctype>
#include <memory>

namespace {

const std::vector<CString>* g_namesInUse = nullptr;   // the user interface thread's only

CString FieldText(CDVBMultiplexDefinition* definition, int index)
{
    CString text;
    definition->WriteFieldToString(index, text);
    return text;
}

// A plug-in's "the file ... does not exist" as a sentence of its own.
CString Sentence(CString text)
{
    std::string bytes = text.Str();
    if (!bytes.empty())
        bytes[0] = char(std::toupper(static_cast<unsigned char>(bytes[0])));
    return CString(bytes.c_str()) + ".";
}

}  // namespace

CDefinitionEditorBehaviour::CDefinitionEditorBehaviour(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition)
    : m_plugin(plugin), m_definition(definition), m_adding(FieldText(definition, 0).IsEmpty())
{
}

CDefinitionEditorBehaviour::Field& CDefinitionEditorBehaviour::AddField(int index, Kind kind, const CString& hint)
{
    Field field;
    field.m_index = index;
    field.m_kind = kind;
    field.m_label = m_definition->GetFieldName(index);
    field.m_hint = hint;
    field.m_text = FieldText(m_definition, index);
    m_fields.push_back(field);
    return m_fields.back();
}

CDefinitionEditorBehaviour::Field& CDefinitionEditorBehaviour::AddChoice(int index, const std::vector<CString>& choices,
                                                                         bool otherValues, const CString& hint)
{
    Field& field = AddField(index, Kind::Choice, hint);
    field.m_choices = choices;
    field.m_otherValues = otherValues;
    if (std::find(choices.begin(), choices.end(), field.m_text) == choices.end() && !field.m_text.IsEmpty())
        field.m_choices.push_back(field.m_text);
    return field;
}

void CDefinitionEditorBehaviour::SetText(std::size_t field, const CString& text)
{
    if (field < m_fields.size())
        m_fields[field].m_text = text;
}

CString CDefinitionEditorBehaviour::GetCaption() const
{
    return m_adding ? CString("Add Multiplex") : "Edit Multiplex [" + m_definition->GetName() + "]";
}

bool CDefinitionEditorBehaviour::Accept()
{
    m_message.Empty();
    std::unique_ptr<CDVBMultiplexDefinition> edited{m_plugin->CreateMultiplexDefinition()};
    if (!edited)
        return Refuse("The plug-in cannot make a definition.");
    edited->CopyFrom(m_definition);   // fields not shown keep their values
    for (const Field& field : m_fields) {
        CString text = field.m_text;
        text.Trim(CDVBMultiplexDefinition::WhiteSpace);
        const CString quoted = field.m_label + ": \"" + text + "\"";
        if (text.Find(',') >= 0)
            return Refuse(quoted + " holds a comma, which would split the definition in the definitions file.");
        if (!edited->ReadFieldFromString(field.m_index, text))
            return Refuse(quoted + " cannot be used" + (field.m_hint.IsEmpty() ? CString(".") : " (" + field.m_hint + ")."));
    }
    const CString name = FieldText(edited.get(), 0);
    if (name.IsEmpty())
        return Refuse("A name is needed.");
    if (IsNameInUse(name))
        return Refuse("The name \"" + name + "\" is already used by another multiplex.");
    if (auto* extension = dynamic_cast<CLUMInputPluginExtension*>(m_plugin)) {
        CString problem;
        if (extension->CheckMultiplexDefinition(edited.get(), problem) != CLUMInputPluginExtension::OpenFailureNone)
            return Refuse(Sentence(problem));
    }
    m_definition->CopyFrom(edited.get());
    return true;
}

bool CDefinitionEditorBehaviour::Run()
{
    CLUMDialogs* dialogs = CLUMDialogs::Installed();
    return dialogs != nullptr && dialogs->EditMultiplexDefinition(*this);
}

void CDefinitionEditorBehaviour::SetNamesInUse(const std::vector<CString>* names)
{
    g_namesInUse = names;
}

bool CDefinitionEditorBehaviour::Refuse(const CString& message)
{
    m_message = message;
    return false;
}

bool CDefinitionEditorBehaviour::IsNameInUse(const CString& name)
{
    if (g_namesInUse)
        return std::find(g_namesInUse->begin(), g_namesInUse->end(), name) != g_namesInUse->end();
    auto position = m_plugin->GetFirstMultiplexDefinitionPosition();
    while (CDVBMultiplexDefinition* other = m_plugin->GetNextMultiplexDefinition(position))
        if (other != m_definition && FieldText(other, 0) == name)
            return true;
    return false;
}
