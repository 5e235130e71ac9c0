#include "Screenshot.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <tuple>

namespace parlendo::testing {

int saveScreenshot(const GdkRectangle& area, const std::string& path) {
    GdkWindow* root = gdk_get_default_root_window();
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(root, area.x, area.y, area.width, area.height);
    if (shot == nullptr) {
        return -1;
    }
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    const bool saved = gdk_pixbuf_save(shot, path.c_str(), "png", nullptr, nullptr) != FALSE;

    const int w = gdk_pixbuf_get_width(shot);
    const int h = gdk_pixbuf_get_height(shot);
    const int stride = gdk_pixbuf_get_rowstride(shot);
    const int channels = gdk_pixbuf_get_n_channels(shot);
    const guchar* pixels = gdk_pixbuf_get_pixels(shot);
    using Colour = std::tuple<int, int, int>;
    auto at = [&](int x, int y) {
        const guchar* p = pixels + y * stride + x * channels;
        return Colour{p[0], p[1], p[2]};
    };
    std::map<Colour, int> counts;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            ++counts[at(x, y)];
        }
    }
    Colour common{};
    int most = -1;
    for (const auto& [colour, n] : counts) {
        if (n > most) {
            most = n;
            common = colour;
        }
    }
    int ink = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            auto [r, g, b] = at(x, y);
            auto [cr, cg, cb] = common;
            if (std::abs(r - cr) + std::abs(g - cg) + std::abs(b - cb) > 120) {
                ++ink;
            }
        }
    }
    g_object_unref(shot);
    return saved ? ink : -1;
}

}  // namespace parlendo::testing
