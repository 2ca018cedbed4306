// SPDX-License-Identifier: MIT
#include "main_form.h"
