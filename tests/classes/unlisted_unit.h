// A unit whose Classes list forgets one of the two classes it publishes, as
// a unit's hand-kept list can: the check must find it.
#pragma once

#include "framework/Component.h"

namespace UnlistedTest {

class TListedThing : public Fw::TComponent {
public:
    FW_CLASS(TListedThing, Fw::TComponent)
    using TComponent::TComponent;
};

class TForgottenThing : public Fw::TComponent {
public:
    FW_CLASS(TForgottenThing, Fw::TComponent)
    using TComponent::TComponent;
};

FW_UNIT(UnlistedUnit)

}  // namespace UnlistedTest
