#include "settings/AppSetting.h"

// Alone in its file so only the program, which uses it, makes the folder
// beside itself at start-up; tests build their own settings objects.
CAppSetting g_appSetting;
