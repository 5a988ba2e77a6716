// answers.dll: the real library the library tests load on Windows.
extern "C" __declspec(dllexport) int Answer() { return 42; }
