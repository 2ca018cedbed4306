// SPDX-License-Identifier: MIT
#include "recording.h"
