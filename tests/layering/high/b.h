// Points down: fine.
#pragma once
#include "low/a.h"
