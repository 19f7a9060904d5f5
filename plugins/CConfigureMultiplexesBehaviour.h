#pragma once
// What the Configure Multiplexes dialog does, without a user interface: it edits a copy
// of an input plug-in's definitions as rows of field texts (one column per field) and
// turns the rows into the plug-in's list on OK. A view shows the columns and rows, tells
// the selection, and calls the button handlers.
#include "platform/CString.h"

#include <functional>
#include <vector>

class CDVBMultiplexDefinition;
class CLUMInputPlugin;

class CConfigureMultiplexesBehaviour
{
public:
    static constexpr int MaxCellLength = 255;   // what a definition is read from a cell

    struct Column
    {
        CString m_heading;
        int m_width = 0;
    };
    using Row = std::vector<CString>;

    explicit CConfigureMultiplexesBehaviour(CLUMInputPlugin* plugin) : m_plugin(plugin) {}

    // Columns named after the fields, each as wide as `measure` says its heading is drawn
    // plus an equal share of what is left of `insideWidth`; rows from the plug-in's list.
    void Open(const std::function<int(const CString&)>& measure, int insideWidth);
    const std::vector<Column>& GetColumns() const { return m_columns; }
    const std::vector<Row>& GetRows() const { return m_rows; }

    // The rows selected, by index; Edit, Remove and Test are enabled with any selection.
    void SetSelection(std::vector<int> rows);
    const std::vector<int>& GetSelection() const { return m_selection; }
    bool IsSelectionActionEnabled() const { return !m_selection.empty(); }

    void Add();
    void Edit();     // exactly one row selected
    void Remove();   // every selected row
    void Test();     // exactly one row selected, with its current texts
    void Scan();     // on success the rows become the plug-in's list
    void Ok();       // the plug-in's list becomes the rows

private:
    void FillRows();
    // The plug-in's editor on `definition`, the names of the rows but `row` taken.
    bool Configure(CDVBMultiplexDefinition* definition, int row);
    static Row WriteRow(CDVBMultiplexDefinition* definition);
    CDVBMultiplexDefinition* ReadRow(const Row& row);   // owned by the caller; null when none can be made

    CLUMInputPlugin* m_plugin;
    std::vector<Column> m_columns;
    std::vector<Row> m_rows;
    std::vector<int> m_selection;
};
