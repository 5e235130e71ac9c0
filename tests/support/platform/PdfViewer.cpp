#include "PdfViewer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <string>

namespace parlendo::testing {

PdfViewer::PdfViewer(const std::filesystem::path& pdf) {
    // The tests keep their own windows off the accessibility bus; the viewer must be on it.
    gchar** envp = g_environ_unsetenv(g_get_environ(), "NO_AT_BRIDGE");
    std::string name = program;
    std::string file = pdf.string();
    char* argv[] = {name.data(), file.data(), nullptr};
    GError* error = nullptr;
    if (!g_spawn_async(nullptr, argv, envp,
                       static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD),
                       nullptr, nullptr, &pid_, &error)) {
        ADD_FAILURE() << program << " did not start: " << error->message;
        g_error_free(error);
    }
    g_strfreev(envp);
}

PdfViewer::~PdfViewer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool PdfViewer::installed() {
    gchar* path = g_find_program_in_path(program);
    const bool found = path != nullptr;
    g_free(path);
    return found;
}

}  // namespace parlendo::testing
