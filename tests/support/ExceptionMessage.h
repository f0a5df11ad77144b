// The message of the Exception a piece of code raises, for tests that check
// the exact text of a refusal.
#pragma once

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "framework/SysUtils.h"

namespace TestSupport {

// The message of the Fw::Exception that f raises; "" and a failure of the
// test when it raises none.
inline std::string MessageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (Fw::Exception& e) {
        return e.Message();
    }
    ADD_FAILURE() << "no exception";
    return "";
}

}  // namespace TestSupport
