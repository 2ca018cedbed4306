// SPDX-License-Identifier: MIT
#include "status_bits.h"
