#include "modules/inputs/file/CFileInputPlugin.h"

#include "modules/inputs/file/CFileInputSource.h"
#include "plugins/CDefinitionEditorBehaviour.h"
#include "plugins/CLUMPluginManager.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool EndsWith(const std::string& name, const char* suffix)
{
    const std::string s(suffix);
    return name.size() > s.size() && CString(name.substr(name.size() - s.size()).c_str()).CompareNoCase(suffix) == 0;
}

// A folder reads as nothing, which is not an empty stream.
bool IsReadableFile(const char* path)
{
    struct stat info{};
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode) && ::access(path, R_OK) == 0;
}

}  // namespace

CString CFileInputPlugin::ResolvePath(const CString& path)
{
    if (path.IsEmpty() || path.GetAt(0) == '/')
        return path;
    return CLUMPluginManager::GetPluginManager()->GetPluginFolderPath() + path;
}

CDVBTransportStreamSource* CFileInputPlugin::OpenMultiplex(CDVBMultiplexDefinition* definition)
{
    m_lastOpenFailure = OpenFailureUnreadable;
    auto* file = dynamic_cast<CFileMultiplexDefinition*>(definition);
    if (file == nullptr)
        return nullptr;
    const CString path = ResolvePath(file->m_path);
    if (!IsReadableFile(path))
        return nullptr;
    auto* source = new CFileInputSource(path, file->m_pacing, file->m_megabitsPerSecond, file->m_loop);
    if (!source->Open()) {
        delete source;
        m_lastOpenFailure = OpenFailureNotTransportStream;
        return nullptr;
    }
    m_lastOpenFailure = OpenFailureNone;
    return m_open.Keep(source);
}

bool CFileInputPlugin::CloseMultiplex(CDVBTransportStreamSource* source)
{
    return m_open.Delete(source);
}

int CFileInputPlugin::CheckMultiplexDefinition(CDVBMultiplexDefinition* definition, CString& problem)
{
    auto* file = dynamic_cast<CFileMultiplexDefinition*>(definition);
    if (file == nullptr) {
        problem = "not a definition of a file";
        return OpenFailureInvalid;
    }
    if (file->m_path.IsEmpty()) {
        problem = "no file is named";
        return OpenFailureUnreadable;
    }
    const CString path = ResolvePath(file->m_path);
    const CString quoted = "\"" + path + "\"";
    struct stat info{};
    if (::stat(path, &info) != 0) {
        problem = "the file " + quoted + (errno == ENOENT ? " does not exist" : " cannot be read: " + CString(std::strerror(errno)));
        return OpenFailureUnreadable;
    }
    if (!S_ISREG(info.st_mode)) {
        problem = quoted + " is not a file";
        return OpenFailureUnreadable;
    }
    std::FILE* stream = std::fopen(path, "rb");
    if (stream == nullptr) {
        problem = "the file " + quoted + " cannot be read: " + std::strerror(errno);
        return OpenFailureUnreadable;
    }
    std::size_t offset = 0;
    const std::size_t packetSize = CFileInputSource::ReadPacketSize(stream, offset);
    std::fclose(stream);
    if (packetSize == 0) {
        problem = "the file " + quoted + " is not a transport stream";
        return OpenFailureNotTransportStream;
    }
    return OpenFailureNone;
}

CDVBMultiplexDefinition* CFileInputPlugin::CreateDefinitionForLocation(const CString& location, bool realTime)
{
    char absolute[PATH_MAX];
    if (!IsReadableFile(location) || ::realpath(location, absolute) == nullptr)
        return nullptr;
    auto* definition = new CFileMultiplexDefinition;
    definition->m_path = absolute;
    definition->m_name = std::strrchr(absolute, '/') + 1;
    definition->m_pacing = realTime ? CFileMultiplexDefinition::Pacing::ProgramClock
                                    : CFileMultiplexDefinition::Pacing::Fast;
    return definition;
}

bool CFileInputPlugin::ScanFolder(const CString& folder)
{
    SetScanFolder(folder);
    return ScanForMultiplexDefinitions();
}


bool CFileInputPlugin::ConfigureMultiplexDefinition(CDVBMultiplexDefinition* definition)
{
    using Kind = CDefinitionEditorBehaviour::Kind;
    CDefinitionEditorBehaviour editor(this, definition);
    editor.AddField(0, Kind::Text);
    editor.AddField(1, Kind::FilePath, "a .ts or .m2ts file; a relative path starts at the definitions file's folder")
        .m_fileTypes = "Transport streams (*.ts *.m2ts)";
    editor.AddChoice(2, {"pcr", "fast"}, true, "pcr: in real time; fast: as fast as it is read; or a rate in Mbit/s such as 8.5");
    editor.AddChoice(3, {"off", "on"}, false, "on: played again from the start at its end");
    return editor.Run();
}

CDVBMultiplexDefinition* CFileInputPlugin::CreateMultiplexDefinition()
{
    return new CFileMultiplexDefinition;
}

bool CFileInputPlugin::ScanForMultiplexDefinitions()
{
    // absolute, since relative paths in definitions start at the definitions file's folder
    char absolute[PATH_MAX];
    if (::realpath(m_scanFolder.IsEmpty() ? "." : static_cast<const char*>(m_scanFolder), absolute) == nullptr)
        return false;
    const CString folder(absolute);
    DIR* directory = ::opendir(folder);
    if (directory == nullptr)
        return false;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(directory))
        if (EndsWith(entry->d_name, ".ts") || EndsWith(entry->d_name, ".m2ts"))
            names.emplace_back(entry->d_name);
    ::closedir(directory);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        CString path = folder;
        if (path.Right(1) != "/")
            path += "/";
        path += name.c_str();
        if (path.Find(',') >= 0)
            continue;   // a comma would split the definition's line: such a file cannot be named
        bool known = false;
        for (CDVBMultiplexDefinition* existing : m_definitions) {
            auto* file = dynamic_cast<CFileMultiplexDefinition*>(existing);
            known = known || (file && ResolvePath(file->m_path) == ResolvePath(path));
        }
        if (known)
            continue;
        auto* definition = new CFileMultiplexDefinition;
        const std::size_t dot = name.rfind('.');
        // commas would split the definition's line
        std::string stem = name.substr(0, dot);
        std::replace(stem.begin(), stem.end(), ',', ' ');
        definition->m_name = stem.c_str();
        definition->m_path = path;
        AddMultiplexDefinition(definition);
    }
    return true;
}
