// Points up: a fault.
#pragma once
#include "high/b.h"
