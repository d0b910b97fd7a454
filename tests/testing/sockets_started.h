#pragma once
// Windows refuses every socket call until the sockets layer is started
// (WSANOTINITIALISED); a test program that uses sockets without net_start
// includes this to start it once for the whole program.

#include <gtest/gtest.h>

#include "net/sockets.h"

class sockets_started : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_EQ(ws_startup(), 0); }
  void TearDown() override { ws_cleanup(); }
};

inline ::testing::Environment* const sockets_started_env =
    ::testing::AddGlobalTestEnvironment(new sockets_started);
