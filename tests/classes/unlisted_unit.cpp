#include "unlisted_unit.h"

namespace UnlistedTest {

FW_UNIT_BEGIN(UnlistedUnit)
    .Classes<TListedThing>()
FW_UNIT_END

FW_PUBLISH(TListedThing)
FW_END_PUBLISH

FW_PUBLISH(TForgottenThing)
FW_END_PUBLISH

}  // namespace UnlistedTest
