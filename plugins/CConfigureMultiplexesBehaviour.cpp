#include "plugins/CConfigureMultiplexesBehaviour.h"

#include "plugins/CDefinitionEditorBehaviour.h"
#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMInputPlugin.h"

#include <algorithm>
#include <memory>

namespace {

// The first `count` characters (UTF-8 code points, so that none is cut in two).
CString FirstCharacters(const CString& text, int count)
{
    const std::string& bytes = text.Str();
    std::size_t end = 0;
    for (int characters = 0; end < bytes.size(); ++end) {
        if ((static_cast<unsigned char>(bytes[end]) & 0xC0) != 0x80 && characters++ == count)
            break;
    }
    return CString(bytes.substr(0, end).c_str());
}

}  // namespace

void CConfigureMultiplexesBehaviour::Open(const std::function<int(const CString&)>& measure, int insideWidth)
{
    m_columns.clear();
    if (std::unique_ptr<CDVBMultiplexDefinition> sample{m_plugin->CreateMultiplexDefinition()}) {
        const int count = sample->GetTotalFieldCount();
        int sum = 0;
        for (int i = 0; i < count; ++i) {
            m_columns.push_back({sample->GetFieldName(i), measure(sample->GetFieldName(i))});
            sum += m_columns.back().m_width;
        }
        const int extra = count != 0 && sum < insideWidth ? (insideWidth - sum) / count : 0;
        for (Column& column : m_columns)
            column.m_width += extra;
    }
    FillRows();
}

void CConfigureMultiplexesBehaviour::FillRows()
{
    m_rows.clear();
    m_selection.clear();
    auto position = m_plugin->GetFirstMultiplexDefinitionPosition();
    while (m_plugin->IsValid(position))
        m_rows.push_back(WriteRow(m_plugin->GetNextMultiplexDefinition(position)));
}

CConfigureMultiplexesBehaviour::Row CConfigureMultiplexesBehaviour::WriteRow(CDVBMultiplexDefinition* definition)
{
    Row row;
    for (int i = 0; i < definition->GetTotalFieldCount(); ++i) {
        CString text;
        definition->WriteFieldToString(i, text);
        row.push_back(text);
    }
    return row;
}

CDVBMultiplexDefinition* CConfigureMultiplexesBehaviour::ReadRow(const Row& row)
{
    CDVBMultiplexDefinition* definition = m_plugin->CreateMultiplexDefinition();
    if (definition == nullptr)
        return nullptr;
    for (int i = 0; i < definition->GetTotalFieldCount(); ++i)
        definition->ReadFieldFromString(i, std::size_t(i) < row.size() ? FirstCharacters(row[std::size_t(i)], MaxCellLength) : CString());
    return definition;
}

void CConfigureMultiplexesBehaviour::SetSelection(std::vector<int> rows)
{
    rows.erase(std::remove_if(rows.begin(), rows.end(), [this](int r) { return r < 0 || std::size_t(r) >= m_rows.size(); }),
               rows.end());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    m_selection = std::move(rows);
}

bool CConfigureMultiplexesBehaviour::Configure(CDVBMultiplexDefinition* definition, int row)
{
    // the rows are the list the person sees: a name is taken when another row has it
    std::vector<CString> names;
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (int(i) != row && !m_rows[i].empty())
            names.push_back(m_rows[i][0]);
    CDefinitionEditorBehaviour::SetNamesInUse(&names);
    const bool configured = m_plugin->ConfigureMultiplexDefinition(definition);
    CDefinitionEditorBehaviour::SetNamesInUse(nullptr);
    return configured;
}

void CConfigureMultiplexesBehaviour::Add()
{
    std::unique_ptr<CDVBMultiplexDefinition> definition{m_plugin->CreateMultiplexDefinition()};
    if (definition && Configure(definition.get(), -1))
        m_rows.push_back(WriteRow(definition.get()));
}

void CConfigureMultiplexesBehaviour::Edit()
{
    if (m_selection.size() != 1)
        return;
    Row& row = m_rows[std::size_t(m_selection[0])];
    std::unique_ptr<CDVBMultiplexDefinition> definition{ReadRow(row)};
    if (definition && Configure(definition.get(), m_selection[0]))
        row = WriteRow(definition.get());
}

void CConfigureMultiplexesBehaviour::Remove()
{
    for (auto r = m_selection.rbegin(); r != m_selection.rend(); ++r)
        m_rows.erase(m_rows.begin() + *r);
    m_selection.clear();
}

void CConfigureMultiplexesBehaviour::Test()
{
    if (m_selection.size() != 1)
        return;
    std::unique_ptr<CDVBMultiplexDefinition> definition{ReadRow(m_rows[std::size_t(m_selection[0])])};
    if (definition)
        m_plugin->TestMultiplexDefinition(definition.get());
}

void CConfigureMultiplexesBehaviour::Scan()
{
    if (m_plugin->ScanForMultiplexDefinitions())
        FillRows();
}

void CConfigureMultiplexesBehaviour::Ok()
{
    m_plugin->DeleteAllMultiplexDefinitions();
    for (const Row& row : m_rows)
        if (CDVBMultiplexDefinition* definition = ReadRow(row))
            m_plugin->AddMultiplexDefinition(definition);
}
