#include "app/insert_context.h"

InsertContext g_app;
int32_t sysTray;
int32_t showOnRun;
int32_t showOnTop;
