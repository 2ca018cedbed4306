// SPDX-License-Identifier: MIT
#include "harmonics.h"
