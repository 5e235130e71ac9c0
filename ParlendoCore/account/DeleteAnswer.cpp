#include "account/DeleteAnswer.h"

#include <array>
#include <utility>

namespace parlendo {

namespace {

constexpr std::array<std::pair<DeleteAnswer, const char*>, 6> names = {{
    {DeleteAnswer::deleted, "deleted"},
    {DeleteAnswer::wrongPassword, "wrong_password"},
    {DeleteAnswer::rateLimited, "rate_limited"},
    {DeleteAnswer::unauthorized, "unauthorized"},
    {DeleteAnswer::network, "network"},
    {DeleteAnswer::failed, "failed"},
}};

}  // namespace

const char* toString(DeleteAnswer answer) {
    switch (answer) {
        case DeleteAnswer::deleted:
            return "deleted";
        case DeleteAnswer::wrongPassword:
            return "wrong_password";
        case DeleteAnswer::rateLimited:
            return "rate_limited";
        case DeleteAnswer::unauthorized:
            return "unauthorized";
        case DeleteAnswer::network:
            return "network";
        case DeleteAnswer::failed:
            return "failed";
    }
    return "failed";
}

std::optional<DeleteAnswer> deleteAnswerFromString(std::string_view text) {
    for (const auto& [answer, name] : names) {
        if (text == name) {
            return answer;
        }
    }
    return std::nullopt;
}

}  // namespace parlendo
