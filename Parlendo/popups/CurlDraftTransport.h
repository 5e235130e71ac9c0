#pragma once

#include "popups/PopupDraftService.h"
#include "server/CurlSession.h"

#include <memory>
#include <string>

namespace parlendo {

// The draft request over the program's one curl session: one POST, never retried, with the
// session's settings (no cookies or cache, TLS, no waiting for a network). A request whose headers
// could change its framing is never sent, and an answer past the API limit is cut off; both count
// as unreachable. Thread-safe; the completion runs on the session thread.
class CurlDraftTransport final : public DraftTransport {
  public:
    explicit CurlDraftTransport(std::shared_ptr<CurlSession> session);

    void post(std::string url, HttpHeaders headers, std::string body, double timeout,
              Completion<void(DraftResponse)> completion) override;

  private:
    struct Transfer;
    std::shared_ptr<CurlSession> session_;
};

}  // namespace parlendo
