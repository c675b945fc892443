#include <gtest/gtest.h>

#include "platform/OsVersion.h"

using namespace Zento::Lithcore;

TEST(OsClass, SmokeOnThisSystem) { EXPECT_EQ(GetOsVersionInfo().platformId, 2u); }
