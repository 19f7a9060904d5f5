#include "CLiveBlock.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

void CLiveBlock::Draw(std::vector<std::string> lines)
{
    int columns = 80, rows = 24;
    TerminalSize(columns, rows);
    const std::size_t room = std::size_t(std::max(rows - 2, 2));   // the caption stays above it
    if (lines.size() > room) {
        const std::size_t more = lines.size() - room + 1;
        lines.resize(room - 1);
        lines.push_back("... " + std::to_string(more) + " more services");
    }
    if (m_drawn > 0)
        m_out << "\033[" << m_drawn << "F";
    for (const std::string& line : lines)
        m_out << Cut(line, columns - 1) << "\033[K\n";
    for (std::size_t i = lines.size(); i < m_drawn; ++i)
        m_out << "\033[K\n";
    m_drawn = std::max(m_drawn, lines.size());
    m_out << std::flush;
}

void CLiveBlock::TerminalSize(int& columns, int& rows)
{
    winsize size{};
    const char* c = std::getenv("COLUMNS");
    const char* r = std::getenv("LINES");
    const bool window = ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0;
    columns = window ? size.ws_col : c && std::atoi(c) > 0 ? std::atoi(c) : 80;
    rows = window ? size.ws_row : r && std::atoi(r) > 0 ? std::atoi(r) : 24;
}

std::string CLiveBlock::Cut(const std::string& text, int columns)
{
    int seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == columns)
            return text.substr(0, i);
    return text;
}
