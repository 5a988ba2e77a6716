// Unit-private helpers of the socket unit, shared by its implementation files.
#pragma once

#include <cstdint>
#include <string>

// Counts a socket object in (+1) or out (-1); returns the count afterwards.
int32_t WSocketCountObject(int32_t Delta);

// The address of a text that IsDottedAddress accepts, its four parts read as
// decimal numbers, in network byte order; INADDR_NONE for any other text (and
// for 255.255.255.255 itself).
uint32_t WSocketDottedAddress(const std::string& S);
