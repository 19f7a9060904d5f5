#include "plugins/CLUMInputPlugin.h"

#include "core/CDVBTransportStreamSource.h"
#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMDialogs.h"
#include "plugins/CLUMPluginManager.h"

#include <algorithm>
#include <cstdio>

void CLUMInputPlugin::Initialise()
{
    LoadMultiplexDefinitions();
}

void CLUMInputPlugin::DeInitialise()
{
    DeleteAllMultiplexDefinitions();
}

int CLUMInputPlugin::GetMultiplexDefinitionCount()
{
    return int(m_definitions.size());
}

CDVBMultiplexDefinition* CLUMInputPlugin::GetMultiplexDefinitionAtIndex(int index)
{
    if (index < 0 || index >= int(m_definitions.size()))
        return nullptr;
    auto position = m_definitions.begin();
    std::advance(position, index);
    return *position;
}

CLUMInputPlugin::Position CLUMInputPlugin::GetFirstMultiplexDefinitionPosition()
{
    return m_definitions.begin();
}

CDVBMultiplexDefinition* CLUMInputPlugin::GetNextMultiplexDefinition(Position& position)
{
    if (!IsValid(position))
        return nullptr;
    return *position++;
}

bool CLUMInputPlugin::IsValid(Position position)
{
    return position != m_definitions.end();
}

CDVBTransportStreamSource* CLUMInputPlugin::OpenMultiplex(CDVBMultiplexDefinition*)
{
    return new CDVBTransportStreamSource;
}

bool CLUMInputPlugin::CloseMultiplex(CDVBTransportStreamSource* source)
{
    delete source;
    return true;
}

bool CLUMInputPlugin::ConfigureMultiplexDefinitions()
{
    CLUMDialogs* dialogs = CLUMDialogs::Installed();
    if (dialogs == nullptr || !dialogs->ConfigureMultiplexes(this))
        return false;
    SaveMultiplexDefinitions();
    return true;
}

bool CLUMInputPlugin::TestMultiplexDefinition(CDVBMultiplexDefinition* definition)
{
    CLUMDialogs* dialogs = CLUMDialogs::Installed();
    return dialogs != nullptr && dialogs->TestMultiplex(this, definition);
}

CDVBMultiplexDefinition* CLUMInputPlugin::CreateMultiplexDefinition()
{
    return new CDVBMultiplexDefinition;
}

CString CLUMInputPlugin::GetMultiplexDefinitionsFilename()
{
    CString name;
    name += CLUMPluginManager::GetPluginManager()->GetPluginFolderPath();
    name += GetName();
    name += " Multiplexes.txt";
    return name;
}

bool CLUMInputPlugin::LoadMultiplexDefinitions()
{
    std::FILE* file = std::fopen(GetMultiplexDefinitionsFilename(), "r");
    if (file == nullptr)
        return false;
    // A longer line comes in pieces, each taken as a line of its own.
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, file) != nullptr) {
        CString line(buffer);
        line.Trim(CDVBMultiplexDefinition::WhiteSpace);
        if (line.IsEmpty())
            continue;
        CDVBMultiplexDefinition* definition = CreateMultiplexDefinition();
        if (definition == nullptr)
            continue;
        definition->ReadFromString(line);   // too few fields still makes a definition
        AddMultiplexDefinition(definition);
    }
    std::fclose(file);
    return true;
}

bool CLUMInputPlugin::SaveMultiplexDefinitions()
{
    std::FILE* file = std::fopen(GetMultiplexDefinitionsFilename(), "w");
    if (file == nullptr)
        return false;
    Position position = GetFirstMultiplexDefinitionPosition();
    while (CDVBMultiplexDefinition* definition = GetNextMultiplexDefinition(position)) {
        CString line;
        definition->WriteToString(line);
        std::fprintf(file, "%s\n", static_cast<const char*>(line));
    }
    return std::fclose(file) == 0;
}

bool CLUMInputPlugin::DeleteAllMultiplexDefinitions()
{
    while (!m_definitions.empty()) {
        CDVBMultiplexDefinition* first = m_definitions.front();
        m_definitions.pop_front();
        delete first;
    }
    return true;
}

bool CLUMInputPlugin::AddMultiplexDefinition(CDVBMultiplexDefinition* definition)
{
    m_definitions.push_back(definition);
    return true;
}

bool CLUMInputPlugin::DeleteMultiplexDefinition(CDVBMultiplexDefinition* definition)
{
    const auto found = std::find(m_definitions.begin(), m_definitions.end(), definition);
    if (found == m_definitions.end())
        return false;
    m_definitions.erase(found);
    delete definition;
    return true;
}
