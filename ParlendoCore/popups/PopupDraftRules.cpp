#include "popups/PopupDraftRules.h"

#include "foundation/Text.h"
#include "manage/ManageContract.h"
#include "wordbook/LibraryModel.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>
#include <unordered_set>

namespace parlendo::PopupDraftRules {
namespace {

const char* const instruction =
    "너는 영어 단어 학습 앱의 '커스텀 팝업' 설정 도우미다. 사용자가 한국어 자유서술로 원하는 "
    "팝업을 말하면, 반드시 create_custom_popup 함수를 호출해 그 요청을 앱 기능의 조합으로 옮겨라. "
    "규칙: (1) 콘텐츠(contents)는 함수 스키마의 enum 안에서만 고른다. (2) 사용자가 명시적으로 "
    "말한 것만 채우고, 언급하지 않은 옵션(duration/width/opacity/save)은 아예 넣지 마라(앱이 "
    "기본값으로 처리한다). (3) 저장(save)은 사용자가 '저장' 또는 '저장하지 마'라고 분명히 말했을 "
    "때만 넣어라. (4) 이름(name)은 고른 콘텐츠를 요약한 짧은 한글로.";

const char* const noContentReason = "보여줄 콘텐츠를 하나도 못 골랐어요(다시 설명해 주세요).";
constexpr size_t nameMax = 40;

const Json* member(const Json& object, std::string_view key) {
    if (!object.is_object()) {
        return nullptr;
    }
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

// The first option whose "id" is `id`, else an empty object.
const Json& option(std::string_view id) {
    static const Json empty = Json::object();
    for (const auto& entry : LibraryModel::options()) {
        if (json::string(entry, "id") == id) {
            return entry;
        }
    }
    return empty;
}

bool isWord(std::string_view id) {
    for (const auto& entry : LibraryModel::contentTypes()) {
        if (json::string(entry, "id") == id) {
            return json::string(entry, "input") == "word";
        }
    }
    return false;
}

// A bound in its own form: a double with its fraction, an integer without; missing: "".
std::string bound(const Json* value) {
    if (!value) {
        return "";
    }
    if (value->is_number_float()) {
        return formatDouble(value->get<double>());
    }
    if (value->is_number()) {
        return value->dump();
    }
    return "";
}

std::string range(std::string_view id) {
    const Json& entry = option(id);
    return bound(member(entry, "min")) + "~" + bound(member(entry, "max"));
}

Json widthChoices() {
    const Json* choices = member(option("width"), "choices");
    return choices && choices->is_array() ? *choices : Json::array();
}

std::string contentsText() {
    std::string list;
    for (const auto& entry : LibraryModel::contentTypes()) {
        if (!list.empty()) {
            list += ", ";
        }
        list += json::string(entry, "id").value_or("") + "=" +
                json::string(entry, "label").value_or("");
    }
    return "팝업에 보여줄 콘텐츠 id 목록. 반드시 이 중에서만 고른다: " + list +
           ". 예) '한글 뜻만' -> [\"korean\"], '정의랑 예문' -> [\"definition\",\"example\"].";
}

}  // namespace

std::string endpoint(std::string_view base) {
    return std::string(base) + "/v1beta/models/" + model + ":generateContent";
}

const std::vector<std::string>& contentIDs() {
    static const std::vector<std::string> ids = [] {
        std::vector<std::string> out;
        for (const auto& entry : LibraryModel::contentTypes()) {
            if (auto id = json::string(entry, "id")) {
                out.push_back(*id);
            }
        }
        return out;
    }();
    return ids;
}

Json functionDeclaration() {
    Json properties = Json::object();
    properties["name"] = {
        {"type", "STRING"},
        {"description",
         "이 커스텀의 짧은 한글 표시 이름. 사용자가 이름을 말하지 않았으면 고른 콘텐츠를 요약한 "
         "짧은 이름을 지어라(예: '한글뜻만')."}};
    properties["contents"] = {{"type", "ARRAY"},
                              {"items", {{"type", "STRING"}, {"enum", contentIDs()}}},
                              {"description", contentsText()}};
    properties["save"] = {
        {"type", "BOOLEAN"},
        {"description",
         "이 커스텀으로 잡은 단어를 단어장(서버)에 저장할지. 사용자가 저장/저장하지 말라고 "
         "명시했을 때만 채워라."}};
    properties["duration"] = {
        {"type", "NUMBER"},
        {"description", "팝업이 떠 있는 시간(초). " + range("duration") +
                            " 범위. 사용자가 '오래/잠깐' 등 지속시간을 말했을 때만."}};
    properties["width"] = {{"type", "STRING"},
                           {"enum", widthChoices()},
                           {"description", "팝업 폭 단계. 사용자가 '넓게/좁게'를 말했을 때만."}};
    properties["opacity"] = {{"type", "INTEGER"},
                             {"description", "팝업 불투명도(%). " + range("opacity") +
                                                 ". 사용자가 '연하게/진하게'를 말했을 때만."}};

    Json declaration = Json::object();
    declaration["name"] = functionName;
    declaration["description"] =
        "사용자가 자연어로 서술한 '단어/문장 캡처 시 뜰 팝업 커스텀'을, 앱이 가진 콘텐츠와 옵션의 "
        "조합으로 번역한다. 사용자가 명시적으로 말한 것만 채우고, 언급 없는 옵션은 비워 둔다(앱이 "
        "기본값으로 처리한다).";
    declaration["parameters"] = {{"type", "OBJECT"},
                                 {"properties", properties},
                                 {"required", Json::array({"name", "contents"})}};
    return declaration;
}

Json requestBody(const std::string& description) {
    Json body = Json::object();
    body["systemInstruction"] = {{"parts", Json::array({{{"text", instruction}}})}};
    body["contents"] =
        Json::array({{{"role", "user"}, {"parts", Json::array({{{"text", description}}})}}});
    body["tools"] = Json::array({{{"functionDeclarations", Json::array({functionDeclaration()})}}});
    body["toolConfig"] = {{"functionCallingConfig", {{"mode", "ANY"}}}};
    body["generationConfig"] = {{"temperature", 0}};
    return body;
}

Call functionCall(std::string_view body) {
    auto parsed = json::parse(body);
    if (!parsed || !parsed->is_object()) {
        return Call::malformed();
    }
    const Json* candidates = json::array(*parsed, "candidates");
    if (!candidates || candidates->empty() ||
        !std::all_of(candidates->begin(), candidates->end(),
                     [](const Json& c) { return c.is_object(); })) {
        return Call::noCall();
    }
    const Json* content = json::object(candidates->front(), "content");
    const Json* parts = content ? json::array(*content, "parts") : nullptr;
    if (!parts ||
        !std::all_of(parts->begin(), parts->end(), [](const Json& p) { return p.is_object(); })) {
        return Call::noCall();
    }
    std::vector<const Json*> calls;
    for (const auto& part : *parts) {
        if (const Json* call = json::object(part, "functionCall")) {
            calls.push_back(call);
        }
    }
    if (calls.empty()) {
        return Call::noCall();
    }
    if (calls.size() > 1 || json::string(*calls.front(), "name") != functionName) {
        return Call::malformed();
    }
    const Json* args = member(*calls.front(), "args");
    return Call::found(args ? std::optional<Json>(*args) : std::nullopt);
}

std::optional<Json> validate(const Json* args) {
    static const std::set<std::string, std::less<>> allowed{"name",    "contents", "duration",
                                                            "opacity", "width",    "save"};
    if (!args || !args->is_object()) {
        return std::nullopt;
    }
    for (const auto& [key, value] : args->items()) {
        if (!allowed.count(key)) {
            return std::nullopt;
        }
    }
    if (args->empty()) {
        return std::nullopt;
    }
    const Json* contents = member(*args, "contents");
    if (!contents || !contents->is_array() ||
        !std::all_of(contents->begin(), contents->end(),
                     [](const Json& c) { return c.is_string(); })) {
        return std::nullopt;
    }
    const auto& known = contentIDs();
    if (contents->size() > known.size()) {
        return std::nullopt;
    }
    for (const auto& entry : *contents) {
        if (std::find(known.begin(), known.end(), entry.get<std::string>()) == known.end()) {
            return std::nullopt;
        }
    }
    const Json* name = member(*args, "name");
    if (name && !name->is_string()) {
        return std::nullopt;
    }
    const Json* save = member(*args, "save");
    if (save && !ManageContract::boolean(save)) {
        return std::nullopt;
    }
    for (const char* key : {"duration", "opacity"}) {
        const Json* value = member(*args, key);
        if (value && !ManageContract::number(value)) {
            return std::nullopt;
        }
    }
    const Json* width = member(*args, "width");
    if (width) {
        Json choices = widthChoices();
        if (!width->is_string() ||
            std::find(choices.begin(), choices.end(), *width) == choices.end()) {
            return std::nullopt;
        }
    }

    std::string proposedName;
    if (name) {
        proposedName = text::characterPrefix(
            text::trimWhitespaceAndNewlines(name->get_ref<const std::string&>()), nameMax);
    }

    Json chosen = Json::array();
    std::unordered_set<std::string> seen;
    for (const auto& entry : *contents) {
        const auto& id = entry.get_ref<const std::string&>();
        if (seen.insert(id).second) {
            chosen.push_back(id);
        }
    }

    Json options = Json::object();
    Json warnings = Json::array();
    for (const char* key : {"duration", "opacity"}) {
        auto v = ManageContract::number(member(*args, key));
        if (!v) {
            continue;
        }
        const Json& opt = option(key);
        double lo = ManageContract::number(member(opt, "min")).value_or(*v);
        double hi = ManageContract::number(member(opt, "max")).value_or(*v);
        double c = *v < hi ? *v : hi;
        if (lo > c) {
            c = lo;
        }
        std::string stored;
        if (std::string_view(key) == "duration") {
            options[key] = c;
            stored = formatDouble(c);
        } else {
            auto whole = static_cast<std::int64_t>(std::trunc(c));
            options[key] = whole;
            stored = std::to_string(whole);
        }
        if (c != *v) {
            std::string label = json::string(opt, "label").value_or(key);
            warnings.push_back("'" + label + "' " + formatDouble(*v) + " \u2192 " + stored +
                               "(으)로 범위 조정");
        }
    }
    if (width) {
        options["width"] = *width;
    }

    bool hasWord = std::any_of(chosen.begin(), chosen.end(), [](const Json& id) {
        return isWord(id.get_ref<const std::string&>());
    });
    bool proposedSave = save ? save->get<bool>() : hasWord;
    bool ok = !chosen.empty();

    Json proposal = Json::object();
    proposal["ok"] = ok;
    proposal["reason"] = ok ? "" : noContentReason;
    proposal["name"] = proposedName;
    proposal["needs_name"] = proposedName.empty();
    proposal["contents"] = std::move(chosen);
    proposal["options"] = std::move(options);
    proposal["proposed_save"] = proposedSave;
    proposal["needs_save_confirm"] = hasWord && !proposedSave;
    proposal["warnings"] = std::move(warnings);
    proposal["dropped_contents"] = Json::array();
    return proposal;
}

std::string formatDouble(double value) {
    if (value == 0) {
        return std::signbit(value) ? "-0.0" : "0.0";
    }
    if (!std::isfinite(value)) {
        return std::isnan(value) ? "nan" : (value < 0 ? "-inf" : "inf");
    }
    // Shortest round-trip digits and their exponent: value = d.ddd × 10^exponent.
    char buffer[64];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                             std::chars_format::scientific)
                   .ptr;
    std::string scientific(buffer, end);
    auto e = scientific.find('e');
    std::string digits;
    for (char ch : scientific.substr(0, e)) {
        if (ch != '.') {
            digits += ch;
        }
    }
    int exponent = std::stoi(scientific.substr(e + 1));
    std::string sign = value < 0 ? "-" : "";

    constexpr double exponentAbove = 18014398509481984.0;  // 2^54
    if (exponent < -4 || std::fabs(value) > exponentAbove) {
        std::string mantissa = digits.substr(0, 1);
        if (digits.size() > 1) {
            mantissa += "." + digits.substr(1);
        }
        std::string power = std::to_string(std::abs(exponent));
        if (power.size() < 2) {
            power = "0" + power;
        }
        return sign + mantissa + "e" + (exponent < 0 ? "-" : "+") + power;
    }
    if (exponent < 0) {
        return sign + "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    }
    auto whole = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= whole) {
        return sign + digits + std::string(whole - digits.size(), '0') + ".0";
    }
    return sign + digits.substr(0, whole) + "." + digits.substr(whole);
}

}  // namespace parlendo::PopupDraftRules
