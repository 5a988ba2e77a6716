#include "tests/platform/win32/AnswersLibrary.h"

// The system loader finds answers.dll beside the program (windows/answers.cpp).
void ProvideAnswersLibrary() {}
