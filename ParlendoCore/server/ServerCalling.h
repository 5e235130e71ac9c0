#pragma once

#include "foundation/Completion.h"
#include "foundation/Json.h"
#include "foundation/Result.h"
#include "server/CallFailure.h"
#include "server/ServerTransport.h"

#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The body bytes of a 2xx answer, or why there are none.
using CallResult = Result<std::string, CallFailure>;
using DetailedCallResult = Result<std::string, CallFailureDetail>;
using RowsResult = Result<std::vector<Json>, CallFailure>;

// Sends one authorised request to the backend. `path` is relative to the project URL and carries
// its own query (filter values escaped with PostgRESTFilter::value); `json`, when present, is the
// body; `headers` are the caller's own, set before the client's standard headers (which win).
// The completion is called exactly once, on the implementation's delivery queue.
// May be called from any thread.
class ServerCalling {
  public:
    virtual ~ServerCalling() = default;

    virtual void call(std::string path, std::string method, std::optional<Json> json,
                      HttpHeaders headers, double timeout,
                      Completion<void(CallResult)> completion) = 0;

    // The call without caller headers.
    void call(std::string path, std::string method, std::optional<Json> json, double timeout,
              Completion<void(CallResult)> completion);

    // GET of `path`: the answer must be a JSON array of objects, else badShape. Failures of the
    // call itself pass on unchanged.
    void rows(std::string path, double timeout, Completion<void(RowsResult)> completion);

    // The rows of an answer body; badShape for anything but a JSON array of objects.
    static RowsResult parseRows(std::string_view body);
};

// The same request, failing with the whole CallFailureDetail.
class DetailedServerCalling : public ServerCalling {
  public:
    using ServerCalling::call;

    virtual void callDetailed(std::string path, std::string method, std::optional<Json> json,
                              HttpHeaders headers, double timeout,
                              Completion<void(DetailedCallResult)> completion) = 0;
};

}  // namespace parlendo
