// Helpers of the setup dialogs' tests: a button of a dialog pressed as a person presses it.
#pragma once

#include "kvclick.h"

namespace OsTest {

using KvTest::Click;

} // namespace OsTest
