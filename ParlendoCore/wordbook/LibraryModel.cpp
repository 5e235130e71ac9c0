#include "wordbook/LibraryModel.h"

namespace parlendo::LibraryModel {

const Json& contentTypes() {
    static const Json table = Json::array({
        {{"id", "definition"}, {"label", "영어 정의"}, {"input", "word"}},
        {{"id", "example"}, {"label", "예문"}, {"input", "word"}},
        {{"id", "phonetic"}, {"label", "발음기호"}, {"input", "word"}},
        {{"id", "korean"}, {"label", "한글 뜻"}, {"input", "word"}},
        {{"id", "translation"}, {"label", "문장 번역"}, {"input", "raw_text"}},
    });
    return table;
}

const Json& options() {
    static const Json table = [] {
        Json duration = Json::object();
        duration["id"] = "duration";
        duration["label"] = "팝업 지속시간(초)";
        duration["default"] = 3.0;
        duration["min"] = 1.0;
        duration["max"] = 30.0;
        duration["choices"] = nullptr;

        Json width = Json::object();
        width["id"] = "width";
        width["label"] = "팝업 폭";
        width["default"] = "normal";
        width["min"] = nullptr;
        width["max"] = nullptr;
        width["choices"] = Json::array({"narrow", "normal", "wide"});

        Json opacity = Json::object();
        opacity["id"] = "opacity";
        opacity["label"] = "팝업 불투명도(%)";
        opacity["default"] = 94;
        opacity["min"] = 40;
        opacity["max"] = 100;
        opacity["choices"] = nullptr;

        return Json::array({duration, width, opacity});
    }();
    return table;
}

Json assistants(const std::vector<Json>& rows) {
    Json out = Json::array();
    for (const auto& row : rows) {
        const Json* specMember = json::object(row, "spec");
        const Json spec = specMember ? *specMember : Json::object();
        const Json* contents = json::array(spec, "contents");
        const Json* options = json::object(spec, "options");

        Json item = Json::object();
        item["id"] = row.is_object() && row.contains("id") ? row["id"] : Json("");
        item["name"] = row.is_object() && row.contains("name") ? row["name"] : Json("");
        item["enabled"] = json::boolean(row, "enabled").value_or(true);
        item["save"] = json::boolean(row, "save").value_or(true);
        item["contents"] = contents ? *contents : Json::array();
        item["options"] = options ? *options : Json::object();
        const Json* position =
            row.is_object() && row.contains("position") ? &row["position"] : nullptr;
        item["position"] = position && position->is_number_integer() ? *position : Json(0);
        out.push_back(std::move(item));
    }
    return out;
}

}  // namespace parlendo::LibraryModel
