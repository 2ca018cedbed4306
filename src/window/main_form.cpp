// SPDX-License-Identifier: MIT
#include "main_form.h"

TMainForm::TMainForm(QWidget *parent) : QMainWindow(parent) {}
