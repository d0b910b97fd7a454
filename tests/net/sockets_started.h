#pragma once
// Windows refuses every socket call until the sockets layer is started
// (WSANOTINITIALISED); each net test program starts it once, as net_start does.

#include <gtest/gtest.h>

#include "net/sockets.h"

class sockets_started : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_EQ(ws_startup(), 0); }
  void TearDown() override { ws_cleanup(); }
};

inline ::testing::Environment* const sockets_started_env =
    ::testing::AddGlobalTestEnvironment(new sockets_started);
