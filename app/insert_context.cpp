#include "app/insert_context.h"

InsertContext g_app;
