#pragma once

#include "foundation/WorkerQueue.h"
#include "popups/PopupDraftService.h"

#include <optional>
#include <string>

namespace parlendo {

// The draft request over libcurl: one POST, never retried, no cookies or cache kept between
// requests, failing at once when there is no network. Each request runs on one of the
// transport's own two threads, where its completion is called. Destruction waits for requests
// already running.
class CurlDraftTransport final : public DraftTransport {
  public:
    // `trustedCAFile` replaces the system's trust store; only tests set it.
    explicit CurlDraftTransport(std::optional<std::string> trustedCAFile = std::nullopt);

    void post(std::string url, HttpHeaders headers, std::string body, double timeout,
              Completion<void(DraftResponse)> completion) override;

    // The most answer bytes read; a longer answer counts as unreachable.
    static constexpr size_t maxAnswerBytes = 16 * 1024 * 1024;

  private:
    DraftResponse perform(const std::string& url, const HttpHeaders& headers,
                          const std::string& body, double timeout) const;

    std::optional<std::string> trustedCAFile_;
    WorkerQueue queue_;
};

}  // namespace parlendo
