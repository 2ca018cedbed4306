// SPDX-License-Identifier: MIT
#include "main_form.h"

void TMainForm::btnDebugUnlockClick()
{
    // Opening the debug mode arrives with the diagnostics.
}

void TMainForm::btnDebugReadClick()
{
    // Reading the debug record arrives with the diagnostics.
}
