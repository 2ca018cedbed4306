// SPDX-License-Identifier: MIT
#include "self_calibration.h"
