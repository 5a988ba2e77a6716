// The real wsock32.dll, loaded by name once and never unloaded here (the
// socket component loads and frees it on its own; the system counts both).
#pragma once

namespace winsock::mapping {

// The procedure's entry point, or null (the last error then says why: the
// system's code when the library cannot be loaded, WSASYSNOTREADY when the
// procedure is missing).
void* Proc(const char* name);

}  // namespace winsock::mapping
