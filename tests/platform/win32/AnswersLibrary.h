// The library the library tests load: "answers.dll", exporting Answer() (42).
// Registered in-process on Linux; a real DLL beside the test program on Windows.
#pragma once

void ProvideAnswersLibrary();
