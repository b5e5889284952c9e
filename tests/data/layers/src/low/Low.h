#pragma once
#include "high/High.h"  // points up
