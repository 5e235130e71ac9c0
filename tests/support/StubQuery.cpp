#include "StubQuery.h"

#include "foundation/PyText.h"
#include "foundation/Text.h"
#include "foundation/Url.h"

#include <algorithm>

namespace parlendo::testing {
namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

std::optional<std::string> decoded(const std::string& text) {
    return Url::percentDecode(text);
}

// "op.value" of a filter on `column`; the values are decoded.
std::optional<StubQuery::Filter> filter(const std::string& column, const std::string& raw) {
    StubQuery::Filter out{column, "", {}};
    if (raw == "is.null") {
        out.op = "is.null";
        return out;
    }
    if (raw == "not.is.null") {
        out.op = "not.is.null";
        return out;
    }
    auto value = [&](size_t skip) {
        return decoded(raw.substr(skip));
    };
    if (raw.rfind("eq.", 0) == 0 || raw.rfind("ilike.", 0) == 0) {
        out.op = raw.substr(0, raw.find('.'));
        auto v = value(out.op.size() + 1);
        if (!v) {
            return std::nullopt;
        }
        out.values.push_back(*v);
        return out;
    }
    if (raw.rfind("in.(", 0) == 0 && raw.back() == ')') {
        out.op = "in";
        for (const auto& item : split(raw.substr(4, raw.size() - 5), ',')) {
            auto v = decoded(item);
            if (!v) {
                return std::nullopt;
            }
            out.values.push_back(*v);
        }
        return out;
    }
    return std::nullopt;
}

// A JSON value as the text a filter compares with.
std::optional<std::string> shownText(const Json& value) {
    if (value.is_string()) {
        return value.get<std::string>();
    }
    if (value.is_number() || value.is_boolean()) {
        return value.dump();
    }
    return std::nullopt;
}

const Json* field(const Json& row, const std::string& column) {
    auto it = row.find(column);
    return it == row.end() ? nullptr : &*it;
}

// Matches code points of `text` from `t` against `pattern` from `p`.
bool likeFrom(const std::u32string& text, size_t t, const std::u32string& pattern, size_t p) {
    while (p < pattern.size()) {
        char32_t c = pattern[p];
        if (c == U'*' || c == U'%') {
            for (size_t k = t; k <= text.size(); ++k) {
                if (likeFrom(text, k, pattern, p + 1)) {
                    return true;
                }
            }
            return false;
        }
        if (t >= text.size() || (c != U'_' && c != text[t])) {
            return false;
        }
        ++t;
        ++p;
    }
    return t == text.size();
}

}  // namespace

std::optional<StubQuery> StubQuery::parse(const std::string& target) {
    StubQuery query;
    auto question = target.find('?');
    query.path = target.substr(0, question);
    if (question == std::string::npos) {
        return query;
    }
    for (const auto& pair : split(target.substr(question + 1), '&')) {
        auto equals = pair.find('=');
        if (equals == std::string::npos) {
            return std::nullopt;
        }
        std::string key = pair.substr(0, equals);
        std::string raw = pair.substr(equals + 1);
        if (key == "select") {
            // Top-level commas only: "a,b,sources(title)".
            int depth = 0;
            std::string item;
            auto flush = [&] {
                auto open = item.find('(');
                if (open == std::string::npos) {
                    query.columns.push_back(item);
                } else {
                    query.embeds.push_back(
                        Embed{item.substr(0, open),
                              split(item.substr(open + 1, item.size() - open - 2), ',')});
                }
                item.clear();
            };
            for (char c : raw) {
                depth += c == '(' ? 1 : c == ')' ? -1 : 0;
                if (c == ',' && depth == 0) {
                    flush();
                } else {
                    item += c;
                }
            }
            flush();
        } else if (key == "order") {
            for (const auto& part : split(raw, ',')) {
                auto dot = part.rfind('.');
                query.order.push_back(Order{
                    part.substr(0, dot), dot == std::string::npos || part.substr(dot) != ".desc"});
            }
        } else if (key == "limit") {
            query.limit = std::stoul(raw);
        } else if (key == "offset") {
            query.offset = std::stoul(raw);
        } else if (key == "or") {
            if (raw.size() < 2 || raw.front() != '(' || raw.back() != ')') {
                return std::nullopt;
            }
            for (const auto& part : split(raw.substr(1, raw.size() - 2), ',')) {
                auto dot = part.find('.');
                if (dot == std::string::npos) {
                    return std::nullopt;
                }
                auto f = filter(part.substr(0, dot), part.substr(dot + 1));
                if (!f) {
                    return std::nullopt;
                }
                query.anyOf.push_back(std::move(*f));
            }
        } else {
            auto f = filter(key, raw);
            if (!f) {
                return std::nullopt;
            }
            query.filters.push_back(std::move(*f));
        }
    }
    return query;
}

bool StubQuery::matches(const Json& row, const Filter& filter) {
    const Json* value = field(row, filter.column);
    const bool isNull = !value || value->is_null();
    if (filter.op == "is.null") {
        return isNull;
    }
    if (filter.op == "not.is.null") {
        return !isNull;
    }
    auto shown = value ? shownText(*value) : std::nullopt;
    if (!shown) {
        return false;
    }
    if (filter.op == "eq") {
        return *shown == filter.values.front();
    }
    if (filter.op == "in") {
        return std::find(filter.values.begin(), filter.values.end(), *shown) != filter.values.end();
    }
    return filter.op == "ilike" && like(*shown, filter.values.front());
}

bool StubQuery::matches(const Json& row) const {
    for (const auto& f : filters) {
        if (!matches(row, f)) {
            return false;
        }
    }
    if (anyOf.empty()) {
        return true;
    }
    return std::any_of(anyOf.begin(), anyOf.end(),
                       [&](const Filter& f) { return matches(row, f); });
}

bool StubQuery::before(const Json& a, const Json& b) const {
    for (const auto& o : order) {
        const Json* x = field(a, o.column);
        const Json* y = field(b, o.column);
        const bool xNull = !x || x->is_null();
        const bool yNull = !y || y->is_null();
        if (xNull || yNull) {
            if (xNull == yNull) {
                continue;
            }
            // Nulls come last going up and first going down.
            return o.ascending ? yNull : xNull;
        }
        if (*x == *y) {
            continue;
        }
        return o.ascending ? *x < *y : *y < *x;
    }
    return false;
}

Json StubQuery::project(const Json& row) const {
    if (columns.empty() || (columns.size() == 1 && columns.front() == "*")) {
        return row;
    }
    Json out = Json::object();
    for (const auto& column : columns) {
        if (column == "*") {
            out.update(row);
        } else if (const Json* value = field(row, column)) {
            out[column] = *value;
        } else {
            out[column] = nullptr;
        }
    }
    return out;
}

std::optional<std::string> StubQuery::equal(const std::string& column) const {
    for (const auto& f : filters) {
        if (f.column == column && f.op == "eq") {
            return f.values.front();
        }
    }
    return std::nullopt;
}

bool StubQuery::like(const std::string& text, const std::string& pattern) {
    auto lower = [](const std::string& s) {
        return text::toCodePoints(PyText::lower(s));
    };
    return likeFrom(lower(text), 0, lower(pattern), 0);
}

}  // namespace parlendo::testing
