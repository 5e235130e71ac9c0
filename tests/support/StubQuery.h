#pragma once

#include "foundation/Json.h"

#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// One PostgREST read or write target as an in-memory table understands it: the select list
// (columns, "*", and embedded relations such as "sources(title)"), filters ("eq.", "is.null",
// "not.is.null", "in.(...)", "ilike." with "*" wildcards), one "or=(...)" group of such filters,
// the order ("col.asc,col.desc"), "limit" and "offset". Filter values are percent-decoded after
// the target is split, as the server does.
struct StubQuery {
    struct Filter {
        std::string column;
        std::string op;  // "eq", "is.null", "not.is.null", "in", "ilike"
        std::vector<std::string> values;
    };
    struct Order {
        std::string column;
        bool ascending = true;
    };
    struct Embed {
        std::string relation;
        std::vector<std::string> columns;
    };

    std::string path;                  // without the query
    std::vector<std::string> columns;  // empty or "*" for every column
    std::vector<Embed> embeds;
    std::vector<Filter> filters;
    std::vector<Filter> anyOf;  // the "or" group; empty when there is none
    std::vector<Order> order;
    std::optional<size_t> limit;
    size_t offset = 0;

    // None when the target does not parse (a bad escape, an unknown operator).
    static std::optional<StubQuery> parse(const std::string& target);

    bool matches(const Json& row) const;
    // Whether `a` sorts before `b` (Postgres: nulls last when ascending, first when descending).
    bool before(const Json& a, const Json& b) const;
    // The selected columns of the row (embeds are the caller's).
    Json project(const Json& row) const;

    // The value of an "eq." or single-value filter on `column`, if there is one.
    std::optional<std::string> equal(const std::string& column) const;
    static bool matches(const Json& row, const Filter& filter);
    // `text` matches an ilike pattern ("*" and "%": any run, "_": one character), ignoring case.
    static bool like(const std::string& text, const std::string& pattern);
};

}  // namespace parlendo::testing
