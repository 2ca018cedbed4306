// SPDX-License-Identifier: MIT
#include "test_form.h"
