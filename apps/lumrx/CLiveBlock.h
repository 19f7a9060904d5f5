#pragma once
// A block of lines redrawn in place on a terminal: never wider than the window, never
// taller, so that it stays put however much it holds; what does not fit is counted.
#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

class CLiveBlock
{
public:
    explicit CLiveBlock(std::ostream& out) : m_out(out) {}

    void Draw(std::vector<std::string> lines);

    // The terminal's size: its window, else COLUMNS and LINES, else 80 by 24.
    static void TerminalSize(int& columns, int& rows);
    // At most `columns` characters of UTF-8 text, cut between characters.
    static std::string Cut(const std::string& text, int columns);

private:
    std::ostream& m_out;
    std::size_t m_drawn = 0;   // lines of the block on the terminal
};
