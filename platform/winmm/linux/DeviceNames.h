// Device names as the capabilities record carries them (32 bytes): long names
// shortened so that they stay readable and distinct, and never two alike.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace winmm {

// One name per full name, in the same order: the full name when it fits in
// MaxBytes, otherwise its start and end around a marker; a name that another
// device already shows gets " (2)", " (3)", ... at its end.
std::vector<std::string> DistinctShortNames(const std::vector<std::string>& Full,
                                            size_t MaxBytes);

}  // namespace winmm
