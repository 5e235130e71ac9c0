#include "manage/UIFonts.h"

#include "foundation/Base64.h"
#include "foundation/FileIO.h"
#include "foundation/Text.h"

#include <utility>

namespace parlendo {

UIFonts::UIFonts(std::optional<std::filesystem::path> resources)
    : resources_(std::move(resources)) {}

std::optional<std::vector<std::string>> UIFonts::vendorParts(const Json* value) {
    if (!value || !value->is_string()) {
        return std::nullopt;
    }
    const std::string& text = value->get_ref<const std::string&>();
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t slash = text.find('/', start);
        parts.push_back(text.substr(start, slash == std::string::npos ? slash : slash - start));
        if (slash == std::string::npos) {
            break;
        }
        start = slash + 1;
    }
    if (parts.front() != "vendor") {
        return std::nullopt;
    }
    for (const auto& part : parts) {
        if (part.empty() || part == "." || part == ".." ||
            part.find_first_of("\\:") != std::string::npos ||
            part.find('\0') != std::string::npos) {
            return std::nullopt;
        }
    }
    return parts;
}

UIFonts::Loaded UIFonts::load() const {
    Loaded loaded;
    if (!resources_) {
        return loaded;
    }
    const std::optional<std::string> listText = fileio::readFile(*resources_ / listPath);
    const std::optional<Json> list = listText ? json::parse(*listText) : std::nullopt;
    if (!list || !list->is_array()) {
        return loaded;
    }
    for (const Json& entry : *list) {
        if (!entry.is_object()) {
            continue;
        }
        auto path = entry.find("path");
        const auto parts = vendorParts(path == entry.end() ? nullptr : &*path);
        const std::optional<std::string> family = json::string(entry, "family");
        const std::optional<std::string> weight = json::string(entry, "weight");
        if (!parts || !family || !weight) {
            continue;
        }
        std::filesystem::path file = *resources_;
        for (const auto& part : *parts) {
            file /= part;
        }
        const std::optional<std::string> bytes = fileio::readFile(file);
        if (!bytes) {
            continue;
        }
        auto style = entry.find("style");
        const bool ttf = text::endsWith(text::asciiLower(parts->back()), ".ttf");
        loaded.bytes += bytes->size();
        loaded.fonts.push_back(Json{
            {"family", *family},
            {"weight", *weight},
            {"style", style == entry.end() ? Json("normal") : *style},
            {"format", ttf ? "truetype" : "woff2"},
            {"data", Base64::encode(*bytes)},
        });
    }
    return loaded;
}

SharedUIFonts::SharedUIFonts(std::shared_ptr<const UIFonts> fonts, ExecutorPtr work,
                             ExecutorPtr main)
    : fonts_(std::move(fonts)), work_(std::move(work)), main_(std::move(main)) {}

void SharedUIFonts::read(Completion<void(Read)> done) {
    if (loaded_) {
        done(loaded_);
        return;
    }
    waiting_.push_back(std::move(done));
    if (waiting_.size() > 1) {
        return;
    }
    work_->post([self = shared_from_this()] {
        auto loaded = std::make_shared<const UIFonts::Loaded>(self->fonts_->load());
        self->main_->post([self, loaded = std::move(loaded)]() mutable {
            self->loaded_ = std::move(loaded);
            for (auto& waiter : std::exchange(self->waiting_, {})) {
                waiter(self->loaded_);
            }
        });
    });
}

}  // namespace parlendo
