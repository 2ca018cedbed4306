// SPDX-License-Identifier: MIT
#include "identification.h"
