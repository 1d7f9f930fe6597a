#include "SignData.h"

struct_GLOBALSSIGNDATA g_SignData;
