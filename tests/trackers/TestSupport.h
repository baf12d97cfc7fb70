#pragma once
// Shared helpers of the tracker tests: a temporary folder and scripted dialogs.

#include <gtest/gtest.h>

#include "../support/ScriptedDialogs.h"
#include "../support/TempDir.h"
