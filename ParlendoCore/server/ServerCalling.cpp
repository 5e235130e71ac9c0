#include "server/ServerCalling.h"

namespace parlendo {

void ServerCalling::call(std::string path, std::string method, std::optional<Json> json,
                         double timeout, Completion<void(CallResult)> completion) {
    call(std::move(path), std::move(method), std::move(json), HttpHeaders{}, timeout,
         std::move(completion));
}

void ServerCalling::rows(std::string path, double timeout,
                         Completion<void(RowsResult)> completion) {
    call(std::move(path), "GET", std::nullopt, HttpHeaders{}, timeout,
         [completion = std::move(completion)](CallResult result) mutable {
             if (!result) {
                 completion(fail(std::move(result.error())));
                 return;
             }
             completion(parseRows(*result));
         });
}

RowsResult ServerCalling::parseRows(std::string_view body) {
    auto parsed = json::parse(body);
    if (!parsed || !parsed->is_array()) {
        return fail(CallFailure::badShape());
    }
    std::vector<Json> rows;
    rows.reserve(parsed->size());
    for (auto& element : *parsed) {
        if (!element.is_object()) {
            return fail(CallFailure::badShape());
        }
        rows.push_back(std::move(element));
    }
    return rows;
}

}  // namespace parlendo
