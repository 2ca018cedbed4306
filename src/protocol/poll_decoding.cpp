// SPDX-License-Identifier: MIT
#include "poll_decoding.h"
