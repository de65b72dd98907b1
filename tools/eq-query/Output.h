// The four output formats of eq-query: table (on a terminal), json, jsonl and csv.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace eqquery {

// A result item: its id and its name/value pairs in the order they came.
using Item = std::pair<std::string, std::vector<std::pair<std::string, std::string>>>;

class COutput {
public:
    COutput(std::string format, std::vector<std::string> fields)
        : m_format(std::move(format)), m_fields(std::move(fields)) {}

    void Row(const Item& item);
    // Closes the JSON array, prints the table.
    void Finish();
    size_t Rows() const { return m_uRows; }

private:
    void Columns(const Item& item);
    std::vector<std::string> Values(const Item& item) const;
    static void PrintCsv(const std::vector<std::string>& values);
    void PrintTable() const;

    std::string m_format;
    std::vector<std::string> m_fields;
    std::vector<std::string> m_columns;
    std::vector<std::vector<std::string>> m_table;
    size_t m_uRows = 0;
};

}  // namespace eqquery
