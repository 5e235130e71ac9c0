#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

#include "foundation/LibsecretKeychain.h"

namespace parlendo::testing {

// The platform tests run inside scripts/with-session.sh, whose session provides a Secret Service
// (an unlocked gnome-keyring on a private bus). A test of the real Secret Service therefore fails
// when none answers: a session that was meant to provide it and does not is a fault to see, not
// a reason to skip. Only PARLENDO_TEST_NO_SECRET_SERVICE=1 says that the session runs without
// one on purpose (a machine without gnome-keyring); then these tests are skipped.
inline bool secretServiceAbsentOnPurpose() {
    const char* value = std::getenv("PARLENDO_TEST_NO_SECRET_SERVICE");
    return value != nullptr && std::string_view(value) == "1";
}

}  // namespace parlendo::testing

// Skips the calling test when the Secret Service is absent on purpose; otherwise fails it when
// none answers within five seconds.
#define PARLENDO_REQUIRE_SECRET_SERVICE()                                                      \
    do {                                                                                       \
        if (::parlendo::testing::secretServiceAbsentOnPurpose()) {                             \
            GTEST_SKIP() << "PARLENDO_TEST_NO_SECRET_SERVICE=1: no Secret Service on purpose"; \
        }                                                                                      \
        if (const auto why = ::parlendo::LibsecretKeychain::unavailableReason(5.0)) {          \
            FAIL() << "no usable Secret Service (" << *why                                     \
                   << "); run the platform tests through scripts/with-session.sh, or set "     \
                      "PARLENDO_TEST_NO_SECRET_SERVICE=1 when this machine has none";          \
        }                                                                                      \
    } while (false)
