// SPDX-License-Identifier: MIT
#include "dial_geometry.h"
