// A name service for fuzz targets: getaddrinfo and freeaddrinfo of this
// program, linked in place of the C library's, so that no query ever leaves the
// process. It answers names of even length with one address.
#pragma once

#include <string>

namespace fakens {
extern int Queries;        // getaddrinfo calls so far
extern std::string Asked;  // the last name asked
}  // namespace fakens
