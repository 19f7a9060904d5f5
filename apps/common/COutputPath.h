#pragma once
// Where a command writes: a file, or standard output for "-" (as dvbv5-zap's "-o -").
// Nothing a command reads is written over: a file this process has open for reading (the
// multiplex's own file, reached by any name, link or definition) is refused.
#include <iosfwd>
#include <utility>
#include <string>

class COutputPath
{
public:
    explicit COutputPath(std::string path) : m_path(std::move(path)) {}

    bool IsStandardOutput() const { return m_path == "-"; }
    const std::string& GetPath() const { return m_path; }
    // How messages name it.
    std::string GetName() const { return IsStandardOutput() ? "standard output" : m_path; }
    // Whether the path is a file this process reads: asked once the input is open.
    bool IsBeingRead() const;
    // Whether the path names nothing yet, so that a failed command can take away what it made.
    bool IsNew() const;
    // Where a command says what it did: standard error while standard output carries the data.
    std::ostream& Report() const;

private:
    std::string m_path;
};
