// Unit-private helpers of the socket unit, shared by its implementation files.
#pragma once

#include <cstdint>

// Counts a socket object in (+1) or out (-1); returns the count afterwards.
int32_t WSocketCountObject(int32_t Delta);
