#include "manage/ManageScreenLink.h"

#include "foundation/Log.h"
#include "foundation/Text.h"
#include "manage/PdfPicker.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

namespace parlendo {

ManageScreenLink::ManageScreenLink(std::shared_ptr<ManageScreenPort> port,
                                   std::shared_ptr<SystemOpening> opener)
    : port_(std::move(port)), opener_(std::move(opener)) {}

ManageScreenLink::Dropped ManageScreenLink::describe(const std::vector<std::string>& fileURIs) {
    Dropped dropped;
    for (const auto& uri : fileURIs) {
        gchar* path = g_filename_from_uri(uri.c_str(), nullptr, nullptr);
        if (path == nullptr) {
            continue;  // not a local file
        }
        gchar* base = g_path_get_basename(path);
        if (g_utf8_validate(path, -1, nullptr)) {
            const std::string name = base;
            const size_t dot = name.rfind('.');
            if (dot != std::string::npos && text::asciiLower(name.substr(dot + 1)) == "pdf") {
                ++dropped.pdf;
            }
            dropped.files.push_back(Json{{"name", name}, {"path", std::string(path)}});
        } else {
            gchar* shown = g_filename_display_name(base);
            dropped.refused.emplace_back(shown);
            g_free(shown);
        }
        g_free(base);
        g_free(path);
    }
    return dropped;
}

std::string ManageScreenLink::dropScript(const std::string& filesJSON) {
    return "typeof driveDropped==='function'?(driveDropped(" + filesJSON + "),true):false";
}

std::string ManageScreenLink::progressScript(int done, int total, int index, int count) {
    return "typeof driveUploadProgress==='function'&&driveUploadProgress({done:" +
           std::to_string(done) + ",total:" + std::to_string(total) +
           ",index:" + std::to_string(index) + ",count:" + std::to_string(count) + "})";
}

void ManageScreenLink::listenForDrops() {
    std::weak_ptr<ManageScreenPort> weak = port_;
    port_->dropHandlers.push_back([weak](const std::vector<std::string>& fileURIs) {
        auto port = weak.lock();
        if (!port) {
            return;
        }
        const Dropped dropped = describe(fileURIs);
        if (!dropped.refused.empty()) {
            Log::write("drive", "🔴 놓인 파일 중 이름을 글자로 읽을 수 없는 파일을 뺌 files=" +
                                    std::to_string(dropped.refused.size()));
            showRefusedFileNames(static_cast<GtkWindow*>(port->window()), dropped.refused);
        }
        if (dropped.files.empty()) {
            return;
        }
        const std::optional<std::string> text = json::dump(dropped.files);
        if (!text) {
            return;
        }
        Log::write("drive", "놓인 파일 files=" + std::to_string(dropped.files.size()) +
                                " pdf=" + std::to_string(dropped.pdf));
        port->run(dropScript(*text), [](std::optional<Json> result) {
            if (result != Json(true)) {
                Log::write("drive", "놓인 파일을 화면이 받지 않음 (프로젝트 화면이 아직 없다)");
            }
        });
    });
}

void ManageScreenLink::pickPDFs(bool multiple,
                                Completion<void(std::optional<std::vector<std::string>>)> done) {
    std::weak_ptr<ManageScreenPort> weak = port_;
    PdfPicker::pick(static_cast<GtkWindow*>(port_->window()), multiple,
                    [weak, done = std::move(done)](PdfPicker::Picked picked) mutable {
                        if (!picked.refused.empty()) {
                            Log::write("drive",
                                       "🔴 고른 파일 중 이름을 글자로 읽을 수 없는 파일을 뺌 "
                                       "files=" +
                                           std::to_string(picked.refused.size()));
                            auto port = weak.lock();
                            showRefusedFileNames(
                                port ? static_cast<GtkWindow*>(port->window()) : nullptr,
                                picked.refused);
                        }
                        done(std::move(picked.paths));
                    });
}

void ManageScreenLink::uploadProgress(int done, int total, int index, int count) {
    port_->run(progressScript(done, total, index, count), [](std::optional<Json>) {});
}

void ManageScreenLink::open(const std::string& path, std::function<void(bool)> done) {
    opener_->openPath(path, std::move(done));
}

}  // namespace parlendo
