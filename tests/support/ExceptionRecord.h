// What the application's exception handling reported, for the tests that
// make code raise behind a boundary: set as Application->OnException.
#pragma once

#include <string>
#include <vector>

#include "framework/Object.h"

namespace TestSupport {

struct TExceptionRecord {
    std::vector<std::string> Messages;
    std::vector<Fw::TObject*> Senders;
    void Record(Fw::TObject* sender, Fw::Exception* e) {
        Senders.push_back(sender);
        Messages.push_back(e->Message());
    }
};

}  // namespace TestSupport
