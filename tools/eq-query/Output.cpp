#include "Output.h"

#include <algorithm>
#include <iostream>
#include <nlohmann/json.hpp>

namespace eqquery {

void COutput::Row(const Item& item) {
    if (m_format == "jsonl" || m_format == "json") {
        nlohmann::ordered_json row;
        row["result-id"] = item.first;
        for (const auto& [name, value] : item.second) row[name] = value;
        const std::string text = row.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        if (m_format == "jsonl") {
            std::cout << text << '\n';
        } else {
            std::cout << (m_uRows == 0 ? "[\n  " : ",\n  ") << text;
        }
    } else if (m_format == "csv") {
        if (m_uRows == 0) {
            Columns(item);
            PrintCsv(m_columns);
        }
        PrintCsv(Values(item));
    } else {
        if (m_uRows == 0) Columns(item);
        m_table.push_back(Values(item));
    }
    ++m_uRows;
}

void COutput::Finish() {
    if (m_format == "json") std::cout << (m_uRows == 0 ? "[]\n" : "\n]\n");
    if (m_format == "table") PrintTable();
    std::cout.flush();
}

void COutput::Columns(const Item& item) {
    m_columns = {"result-id"};
    if (!m_fields.empty()) {
        m_columns.insert(m_columns.end(), m_fields.begin(), m_fields.end());
    } else {
        for (const auto& pair : item.second) m_columns.push_back(pair.first);
    }
}
std::vector<std::string> COutput::Values(const Item& item) const {
    std::vector<std::string> values;
    for (const std::string& column : m_columns) {
        std::string value;
        if (column == "result-id") value = item.first;
        for (const auto& [name, v] : item.second) {
            if (name == column) {
                value = v;
                break;
            }
        }
        values.push_back(value);
    }
    return values;
}
void COutput::PrintCsv(const std::vector<std::string>& values) {
    for (size_t i = 0; i < values.size(); ++i) {
        const std::string& v = values[i];
        if (i > 0) std::cout << ',';
        if (v.find_first_of(",\"\r\n") == std::string::npos) {
            std::cout << v;
            continue;
        }
        std::cout << '"';
        for (char c : v) std::cout << (c == '"' ? "\"\"" : std::string(1, c));
        std::cout << '"';
    }
    std::cout << "\r\n";
}
void COutput::PrintTable() const {
    if (m_table.empty()) {
        std::cout << "(no results)\n";
        return;
    }
    std::vector<size_t> widths;
    widths.reserve(m_columns.size());
    for (const auto& c : m_columns) widths.push_back(c.size());
    for (const auto& row : m_table) {
        for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    }
    auto line = [&](const std::vector<std::string>& values) {
        std::string text;
        for (size_t i = 0; i < values.size(); ++i) {
            text += values[i];
            if (i + 1 < values.size()) text += std::string(widths[i] - values[i].size() + 2, ' ');
        }
        std::cout << text << '\n';
    };
    line(m_columns);
    std::vector<std::string> rule;
    rule.reserve(widths.size());
    for (size_t w : widths) rule.push_back(std::string(w, '-'));
    line(rule);
    for (const auto& row : m_table) line(row);
    std::cout << "(" << m_table.size() << (m_table.size() == 1 ? " row)\n" : " rows)\n");
}

}  // namespace eqquery
