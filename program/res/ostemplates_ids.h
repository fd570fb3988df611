// Resource ids of the new-model setup: the setup dialog, the choice of the Windows task's kind and
// the choice of installed programs.
#pragma once

#define IDD_PREPARE_CONTROL 7015
#define IDD_MS_WINDOWS      199
#define IDD_ADDON_TASK      192

#define IDC_PREPARE_ADD_WINDOWS   1199 // check box: the task "MS Windows"
#define IDC_PREPARE_ADD_PRODUCTS  1195 // check box: tasks of installed programs
#define IDC_PREPARE_CHOSEN        1203 // button "%d выбрано": the choice of programs
#define IDC_PREPARE_WINDOWS_SETUP 1204 // button "Настройка...": the kind of the Windows task
#define IDC_PREPARE_CLEAR         1193 // check box: clear the model first
#define IDC_PREPARE_DEFAULTS      1201 // button "По умолчанию"
#define IDC_MSWINDOWS_DEFAULT     1250 // radio button "По умолчанию"
#define IDC_MSWINDOWS_STARTUP     1251 // radio button "Запуск MS Windows"
#define IDC_ADDON_LIST            1085 // list of installed programs

#define IDC_PREPARE_FRAME          28000
#define IDC_MSWINDOWS_DEFAULT_TEXT 28001
#define IDC_MSWINDOWS_STARTUP_TEXT 28002
#define IDC_ADDON_LABEL            28003
