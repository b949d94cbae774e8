// The lengths the schema allows the text columns that received documents fill (varchar(n) on the
// server, CHECK (length(x) <= n) in the file), in characters as both databases count them. One table
// for every check of a received text.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

struct CTextLimit {
    const char* table;
    const char* column;
    int length;
};

// Grouped by table, names in lower case.
inline constexpr CTextLimit kTextLimits[] = {
    {"tclsmeasurement", "name", 255},
    {"tclsmeasurement", "code", 255},
    {"tclsmeasurement", "oboznachenie", 255},
    {"tclsproduct", "name", 255},
    {"tclsproduct", "comment", 255},
    {"tclsproduct", "balancetitle", 255},
    {"tclsproduct", "code", 255},
    {"tclsreceiver", "name", 255},
    {"tclsreceiver", "email", 255},
    {"tfctdocumentation", "name", 255},
    {"tfctdocumentation", "filename", 255},
    {"tfctprognoz", "name", 255},
    {"tfctprognoz", "ownername", 255},
    {"tfctprognozdata", "comment", 255},
    {"tfctprognozdata", "base", 255},
    {"tfcttotalprognoz", "comment", 255},
    {"tfcttotalprognoz", "base", 255},
};

// The limits of one table (its name in any case); empty for a table without any, or none.
std::span<const CTextLimit> TextLimitsOf(const char* table);
// The column's limit (its name in any case); 0 for a column without one.
int TextLimitOf(const char* table, const char* column);
// The same among the limits of one table.
int TextLimitIn(std::span<const CTextLimit> limits, const char* column);

// The characters of UTF-8 text as the databases count them (a character outside the BMP is one).
std::size_t Utf8TextLength(std::string_view bytes);
