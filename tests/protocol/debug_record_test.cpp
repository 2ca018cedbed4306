// SPDX-License-Identifier: MIT
#include "debug_record.h"
