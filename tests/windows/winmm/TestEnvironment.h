// The test program's own environment, as the double reads it (an empty value
// is a value on Windows; the runtime's _putenv would remove the variable).
#pragma once

// Value null removes the variable.
void SetTestEnvironment(const char* Name, const char* Value);
